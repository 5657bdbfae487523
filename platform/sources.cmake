# platform/: the framework in MFC's style (afx/), the Win32 model it runs on natively (model/),
# and what only the Windows build has (win32/).
code_sources(FRAMEWORK_SOURCES afx/afxapp.cpp afx/afxdlg.cpp afx/afxwnd.cpp)
# The reader of compiled resources stands alone: the end-to-end driver reads the EXE's template
# with it under Wine.
code_sources(MODEL_RESOURCES_SOURCES model/resources.cpp)
# The model's codecs need neither windows nor Boost: the fuzz targets take them alone.
code_sources(MODEL_CODEC_SOURCES model/text.cpp)
list(APPEND MODEL_CODEC_SOURCES ${MODEL_RESOURCES_SOURCES})
code_sources(MODEL_SOURCES model/window.cpp model/dialog.cpp model/system.cpp model/view.cpp
             model/driver.cpp)
list(APPEND MODEL_SOURCES ${MODEL_CODEC_SOURCES})
# The program's entry and the seam's guard, in Test_rireruv.EXE (the seam's test takes the
# guard too); the run-time stand-ins that keep the shipped files lean (cmake/lean-win32.cmake).
code_sources(WIN32_SEAM_GUARD_SOURCES win32/zelk_crash.cpp)
code_sources(WIN32_PROGRAM_SOURCES win32/winmain.cpp)
list(APPEND WIN32_PROGRAM_SOURCES ${WIN32_SEAM_GUARD_SOURCES})
code_sources(WIN32_LEAN_RUNTIME_SOURCES win32/lean_runtime.cpp)
