# app/: the application object.
code_sources(APP_SOURCES VerifierApp.cpp)
