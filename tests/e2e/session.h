// The end-to-end driver's view of a running verifier: a process started with its own
// settings of the simulated board, and its windows seen from outside, through the window
// system only, as a user or a UI-automation tool sees them.
#pragma once

#include "platform/model/resources.h"

#include <windows.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

std::string utf8(const std::wstring& s);
std::wstring exeDir(); // where this driver, the verifier and its library are
std::wstring wide(const std::string& s);

// Lets time pass, handling nothing (the driver has no windows of its own): only for a span
// that is measured, never to wait for something to happen.
void pause(DWORD ms);

// The dialog template with this id in a program's own resources, in the language they are
// compiled in (Traditional Chinese, Taiwan), as the window system reads it to make the window.
// Throws std::runtime_error, saying what is missing, when there is no such template.
model::DialogTemplate dialogTemplate(const std::wstring& program, int id);
// The caption of one of the verifier's dialogs as its template in Test_rireruv.EXE, beside this
// driver, gives it: the window shows that text unless the program changes it. When the template
// cannot be read, a text no window has, so that every wait for the window fails ("dialog at
// open" says why).
std::wstring templateCaption(int dialogId);

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
    // Any window of the process with this caption, shown or not yet shown (a modal dialog is
    // shown only once its loop finds nothing in the queue).
    HWND findAnyWindow(const std::wstring& caption) const;
    bool waitExit(DWORD timeoutMs);
    DWORD exitCode() const;
    std::vector<std::string> trace() const;
    int count(const std::string& traceLine) const;
    // Until the trace has more than `moreThan` lines beginning with traceLine.
    bool waitTraced(const std::string& traceLine, int moreThan, DWORD timeoutMs) const;

    // What the probe DLL sees inside the process (see probe.cpp): "key value" lines.
    std::vector<std::string> probe(HWND dialog);
    // Until the verifier's thread has taken every message posted to it before this call: the
    // probe's message, posted after them, comes back. (A sent message, WM_NULL, would not do:
    // a thread takes the messages sent to it before any posted one.)
    bool caughtUp(HWND dialog);

    DWORD threadId() const { return m_threadId; }
    HANDLE process() const { return m_process; }

  private:
    std::vector<std::string> askProbe(HWND dialog, WPARAM question);
    HWND windowCaptioned(const std::wstring& caption, bool shownOnly) const;

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
// Until these windows are painted and what they painted is on the screen: none of them (nor
// their controls) waits for a WM_PAINT, each has answered a message sent after it painted, and
// the screen over them shows the same pixels twice in a row.
bool waitDrawn(std::initializer_list<HWND> windows, DWORD timeoutMs = 3000);

// The screen's pixels over an area, as a DIB of bitCount bits a pixel holds them: rows padded to
// four bytes, the top row first when topDown, else the bottom row first (as a .bmp file).
std::vector<char> screenBytes(const RECT& area, WORD bitCount, bool topDown);

// A screenshot, as a .bmp file, of the part of the desktop that holds these windows, with
// the first of them brought to the front.
bool screenshot(const std::wstring& path, std::initializer_list<HWND> windows);
