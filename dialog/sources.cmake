# dialog/: the verifier's dialog and its About box.
code_sources(DIALOG_SOURCES VerifierDlg.cpp AboutBoxDlg.cpp)
