// The end-to-end driver's view of a running verifier: a process started with its own
// settings of the simulated board, and its windows seen from outside, through the window
// system only, as a user or a UI-automation tool sees them.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

std::string utf8(const std::wstring& s);
std::wstring exeDir(); // where this driver, the verifier and its library are
std::wstring wide(const std::string& s);

// Waits, handling nothing: the driver has no windows of its own.
void pause(DWORD ms);

using Settings = std::map<std::string, std::string>;

class Verifier {
  public:
    // Starts Test_rireruv.EXE (beside this driver) with the RIRERUV_* settings given, a fresh
    // trace file, and the command-line arguments given.
    explicit Verifier(const Settings& settings, const std::string& args = "",
                      const std::wstring& program = L"Test_rireruv.EXE");
    ~Verifier(); // ends the process if it still runs
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    bool started() const { return m_process != nullptr; }
    // The first visible top-level window of the process with this caption, within timeoutMs.
    HWND waitWindow(const std::wstring& caption, DWORD timeoutMs = 5000) const;
    HWND findWindow(const std::wstring& caption) const;
    bool waitExit(DWORD timeoutMs);
    DWORD exitCode() const;
    std::vector<std::string> trace() const;
    int count(const std::string& traceLine) const;

    // What the probe DLL sees inside the process (see probe.cpp): "key value" lines.
    std::vector<std::string> probe(HWND dialog);

    DWORD threadId() const { return m_threadId; }
    HANDLE process() const { return m_process; }

  private:
    HANDLE m_process = nullptr;
    DWORD m_processId = 0, m_threadId = 0;
    std::wstring m_trace, m_probeOut;
};

std::wstring textOf(HWND h);
HWND item(HWND dialog, int id);
std::wstring itemText(HWND dialog, int id);
HWND focusOf(DWORD threadId);
void click(HWND button);             // BM_CLICK, posted as input would be
void pressKey(HWND target, UINT vk); // WM_KEYDOWN and WM_KEYUP, posted
void sysCommand(HWND window, WPARAM id);
bool waitFor(DWORD timeoutMs, bool (*condition)(void*), void* context);

// A screenshot, as a .bmp file, of the part of the desktop that holds these windows, with
// the first of them brought to the front.
bool screenshot(const std::wstring& path, std::initializer_list<HWND> windows);
