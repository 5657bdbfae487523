// Measurements of the real verifier under Wine, for the soak test and the benchmark.
#include "tests/e2e/measure.h"

#include "res/resource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <psapi.h>

namespace {

const std::wstring kCaption = templateCaption(IDD_VERIFIER); // the template's, as the window's
const int kButton = IDC_START_STOP, kData = IDC_REMOTE_DATA;

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double cpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

// Wine reports no CPU times for other processes, so they are read where Linux keeps them:
// /proc/PID/stat of the Wine process whose command line names the program (Wine shows the
// Linux file system as drive Z:). Clock ticks are 1/100 s on Linux.
double linuxCpuMs(const std::wstring& program) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    double best = -1;
    long newest = -1;
    do {
        const long pid = wcstol(entry.cFileName, nullptr, 10);
        if (pid <= 0 || pid < newest)
            continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + entry.cFileName;
        FILE* f = _wfopen((dir + L"\\cmdline").c_str(), L"rb");
        if (f == nullptr)
            continue;
        char cmd[1024] = {0};
        const size_t n = std::fread(cmd, 1, sizeof cmd - 1, f);
        std::fclose(f);
        for (size_t i = 0; i < n; ++i)
            cmd[i] = cmd[i] ? cmd[i] : ' ';
        if (std::string(cmd).find(utf8(program)) == std::string::npos)
            continue;
        f = _wfopen((dir + L"\\stat").c_str(), L"rb");
        if (f == nullptr)
            continue;
        char stat[1024] = {0};
        std::fread(stat, 1, sizeof stat - 1, f);
        std::fclose(f);
        const char* p = std::strrchr(stat, ')'); // the name may hold spaces
        unsigned long utime = 0, stime = 0;
        if (p != nullptr &&
            std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                        &stime) == 2) {
            newest = pid;
            best = 10.0 * static_cast<double>(utime + stime);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return best;
}

// Wine's own figure for another process does not move, so Linux's comes first; on Windows
// there is no /proc, and GetProcessTimes is right.
double processCpuMs(HANDLE process) {
    const double fromLinux = linuxCpuMs(L"Test_rireruv.EXE");
    return fromLinux >= 0 ? fromLinux : cpuMs(process);
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// From CreateProcess to the dialog on the screen, for one program.
double startToVisible(const std::wstring& program) {
    const double start = nowMs();
    Verifier v(Settings{}, "", program);
    HWND d = v.waitWindow(kCaption, 10000);
    const double took = nowMs() - start;
    if (d != nullptr)
        PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    v.waitExit(5000);
    return d != nullptr ? took : -1;
}

long long fileSize(const std::wstring& name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW((exeDir() + name).c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

namespace {
struct WindowCount {
    DWORD pid;
    int n;
};
BOOL CALLBACK countChild(HWND, LPARAM lp) {
    ++reinterpret_cast<WindowCount*>(lp)->n;
    return TRUE;
}
BOOL CALLBACK countTop(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<WindowCount*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == c->pid) {
        ++c->n;
        EnumChildWindows(h, countChild, lp);
    }
    return TRUE;
}
} // namespace

Resources resourcesOf(HANDLE process, DWORD processId) {
    Resources r;
    WindowCount count{processId, 0};
    EnumWindows(countTop, reinterpret_cast<LPARAM>(&count));
    r.windows = count.n;
    r.user = GetGuiResources(process, GR_USEROBJECTS);
    r.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
        // Wine leaves PrivateUsage at 0 and gives the private commit as PagefileUsage, which
        // is what it is on Windows too.
        r.privateBytes = pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
    return r;
}

bool soak(unsigned seconds, const std::function<void(const std::string&)>& say) {
    Verifier v(Settings{});
    HWND d = v.waitWindow(kCaption);
    if (d == nullptr) {
        say("FAIL soak: the verifier did not open");
        return false;
    }
    click(GetDlgItem(d, kButton));
    pause(10000); // measured: the level after ten seconds' polling is the soak's baseline
    const Resources early = resourcesOf(v.process(), GetProcessId(v.process()));
    const int pollsEarly = v.count("ZELK_GetRemoteData");
    pause((seconds - 10) * 1000); // measured: the rest of the soak's polling
    const Resources late = resourcesOf(v.process(), GetProcessId(v.process()));
    const int polls = v.count("ZELK_GetRemoteData") - pollsEarly;
    char line[320];
    std::snprintf(
        line, sizeof line,
        "after 10 s: USER %lu, GDI %lu, windows %d, private %zu KiB; after %u s: USER %lu, "
        "GDI %lu, windows %d, private %zu KiB; %d polls between",
        early.user, early.gdi, early.windows, early.privateBytes / 1024, seconds, late.user,
        late.gdi, late.windows, late.privateBytes / 1024, polls);
    // Allocator pages come and go a little; a leak of one object or a few bytes per poll
    // would be several hundred KiB over the run.
    const bool same = late.user == early.user && late.gdi == early.gdi &&
                      late.windows == early.windows &&
                      late.privateBytes <= early.privateBytes + 64 * 1024;
    say(std::string(same ? "PASS" : "FAIL") + " soak of " + std::to_string(seconds) +
        " s polling: " + line);
    if (early.user == 0 && early.gdi == 0)
        say("     (this Wine does not count USER and GDI objects: GetGuiResources gives 0; the "
            "process's windows are counted instead)");
    PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    v.waitExit(5000);
    return same && polls > static_cast<int>(seconds - 10) * 4;
}

void benchmark(unsigned cpuSeconds, const std::function<void(const std::string&)>& say) {
    char line[256];
    // Start-up: each program in turn, several times, to share the machine's noise.
    std::vector<double> verifier, bare;
    for (int i = 0; i < 7; ++i) {
        verifier.push_back(startToVisible(L"Test_rireruv.EXE"));
        bare.push_back(startToVisible(L"bare_dialog.exe"));
    }
    std::snprintf(
        line, sizeof line,
        "| start to visible dialog (median of 7) | %.0f ms | %.0f ms (bare dialog) | %.2f |",
        median(verifier), median(bare), median(verifier) / median(bare));
    say(line);

    // CPU of the verifier's process: idle, then polling.
    {
        Verifier v(Settings{});
        HWND d = v.waitWindow(kCaption);
        waitDrawn({d}); // the start-up's work is not idling
        double c0 = processCpuMs(v.process());
        pause(cpuSeconds * 1000); // the span the idle figure is measured over
        const double idle = processCpuMs(v.process()) - c0;
        click(GetDlgItem(d, kButton));
        v.waitTraced("ZELK_GetRemoteData", 0, 3000);
        c0 = processCpuMs(v.process());
        pause(cpuSeconds * 1000); // the span the polling figure is measured over
        const double polling = processCpuMs(v.process()) - c0;
        std::snprintf(line, sizeof line,
                      "| CPU time over %u s idle | %.0f ms | %u s of wall time | %.4f |",
                      cpuSeconds, idle, cpuSeconds, idle / (cpuSeconds * 1000.0));
        say(line);
        std::snprintf(line, sizeof line,
                      "| CPU time over %u s polling | %.0f ms | %u s of wall time | %.4f |",
                      cpuSeconds, polling, cpuSeconds, polling / (cpuSeconds * 1000.0));
        say(line);
        PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        v.waitExit(5000);
    }

    // Intervals between polls, seen as changes of the field; each byte differs from the last.
    {
        Verifier v(Settings{{"RIRERUV_DATA", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"}});
        HWND d = v.waitWindow(kCaption);
        click(GetDlgItem(d, kButton));
        std::vector<double> changes;
        std::wstring last;
        const double end = nowMs() + 20000;
        while (nowMs() < end) {
            const std::wstring now = itemText(d, kData);
            if (now != last && !now.empty()) {
                changes.push_back(nowMs());
                last = now;
            }
            Sleep(1); // a span of the twenty seconds watched, not a wait
        }
        std::vector<double> intervals;
        for (size_t i = 2; i < changes.size(); ++i) // the first change has no interval before it
            intervals.push_back(changes[i] - changes[i - 1]);
        std::snprintf(
            line, sizeof line,
            "| interval between polls, median (%zu intervals) | %.1f ms | 200 ms | %.3f |",
            intervals.size(), median(intervals), median(intervals) / 200.0);
        say(line);
        std::snprintf(line, sizeof line,
                      "| interval between polls, 99th percentile | %.1f ms | 200 ms | %.3f |",
                      percentile(intervals, 0.99), percentile(intervals, 0.99) / 200.0);
        say(line);
        PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        v.waitExit(5000);
    }

    const double bareSize = static_cast<double>(fileSize(L"bare_dialog.exe"));
    for (const wchar_t* name : {L"Test_rireruv.EXE", L"rireruv.dll"}) {
        const long long size = fileSize(name);
        std::snprintf(
            line, sizeof line, "| size of %s | %lld KiB | %.0f KiB (bare dialog) | %.2f |",
            utf8(name).c_str(), size / 1024, bareSize / 1024, static_cast<double>(size) / bareSize);
        say(line);
    }
}
