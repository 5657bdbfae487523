// The floor for start-up under Wine: a program with nothing but the verifier's template, run
// modally, built like the verifier. The benchmark compares the verifier with it.
#include <windows.h>

namespace {
INT_PTR CALLBACK dialogProc(HWND h, UINT msg, WPARAM wp, LPARAM /*lp*/) {
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        EndDialog(h, IDCANCEL);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(102), nullptr, dialogProc, 0));
}
