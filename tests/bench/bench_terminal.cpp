// bench_terminal SECONDS COLS ROWS PROGRAM [ARGS...]: runs PROGRAM (the native verifier) on a
// pseudo-terminal of COLS x ROWS that this program owns, presses Enter once the dialog shows
// ">Start<" and, from when it shows ">Stop<", counts for SECONDS the bytes the program writes
// to its terminal, the presses its press log counts and its CPU time (/proc/PID/stat, user and
// kernel). Prints one line:
//   window_s 20.00 bytes 11610 presses 100 cpu_ms 40
// presses is -1 when no press log is on the screen. The board is whatever the environment sets
// up (RIRERUV_DATA). Figures only: it exits 1 only when the dialog never showed what it waits
// for, with the screen it saw on standard error.
//
// Why a terminal of its own rather than tmux: the bytes are counted where the program writes
// them, with no emulator's pipe and its timing in between, and the terminal is fixed
// (TERM=xterm-256color, UTF-8, the size given), so the figures do not depend on where the
// benchmark runs. Knowing when Start took effect needs the screen, and ncurses sends only the
// cells that changed ("op<" turns Start into Stop), so the bytes also go to a terminal
// emulator's screen (libvterm) to read the dialog's rows from.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <vterm.h>

namespace {

using Clock = std::chrono::steady_clock;

// The terminal's screen as libvterm (Debian's libvterm, a terminal emulator's core) keeps it
// from the bytes an xterm gets, the alternate screen ncurses draws on included.
class Screen {
  public:
    Screen(int cols, int rows) : m_vt(vterm_new(rows, cols)), m_cols(cols), m_rows(rows) {
        vterm_set_utf8(m_vt, 1);
        m_screen = vterm_obtain_screen(m_vt);
        vterm_screen_enable_altscreen(m_screen, 1);
        vterm_screen_reset(m_screen, 1);
    }
    ~Screen() { vterm_free(m_vt); }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    void feed(const char* data, size_t n) { vterm_input_write(m_vt, data, n); }

    std::string row(int y) const {
        const VTermRect line{y, y + 1, 0, m_cols};
        std::string out(static_cast<size_t>(m_cols) * 4 + 1, '\0');
        out.resize(vterm_screen_get_text(m_screen, &out[0], out.size(), line));
        return out;
    }

    bool shows(const std::string& text) const {
        for (int y = 0; y < m_rows; ++y)
            if (row(y).find(text) != std::string::npos)
                return true;
        return false;
    }

    // From the log's title, " Press log: 5 presses ": -1 when there is none.
    long presses() const {
        const std::string title = " Press log: ";
        for (int y = 0; y < m_rows; ++y) {
            const std::string r = row(y);
            const size_t at = r.find(title);
            if (at != std::string::npos)
                return std::strtol(r.c_str() + at + title.size(), nullptr, 10);
        }
        return -1;
    }

    std::string dump() const {
        std::string out;
        for (int y = 0; y < m_rows; ++y)
            out += row(y) + "\n";
        return out;
    }

  private:
    VTerm* m_vt;
    VTermScreen* m_screen;
    int m_cols, m_rows;
};

// The program on its terminal: what it wrote, counted and drawn.
class Session {
  public:
    Session(int fd, pid_t pid, int cols, int rows) : m_fd(fd), m_pid(pid), m_screen(cols, rows) {}

    // Reads the program's output until done() holds or the deadline passes; false when the
    // deadline came first or the program ended.
    template <typename Done> bool readUntil(Clock::time_point deadline, Done done) {
        char buffer[65536];
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0)
                return false;
            pollfd p{m_fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                m_closed = true; // EIO: no one has the terminal open any more
                return false;
            }
            if (n > 0) {
                m_bytes += static_cast<unsigned long long>(n);
                m_screen.feed(buffer, static_cast<size_t>(n));
            }
        }
        return true;
    }

    bool waitToShow(const std::string& text, double seconds) {
        return readUntil(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(seconds)),
                         [&] { return m_screen.shows(text); });
    }

    void type(const char* keys) {
        const ssize_t n = write(m_fd, keys, std::strlen(keys));
        (void)n;
    }

    // User and kernel time of the program so far, in ms.
    double cpuMs() const {
        std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')'); // the name in parentheses may hold spaces
        if (close == std::string::npos)
            return -1;
        std::vector<std::string> fields; // from field 3, the state
        size_t at = close + 2;
        while (at < text.size() && fields.size() < 13) {
            const size_t end = text.find(' ', at);
            fields.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        if (fields.size() < 13)
            return -1;
        const double ticks = std::strtod(fields[11].c_str(), nullptr) + // utime, field 14
                             std::strtod(fields[12].c_str(), nullptr);  // stime, field 15
        return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    unsigned long long bytes() const { return m_bytes; }
    bool closed() const { return m_closed; }
    const Screen& screen() const { return m_screen; }

    // As the window system's end of session would: the program restores its terminal and goes.
    void end() {
        kill(m_pid, SIGTERM);
        readUntil(Clock::now() + std::chrono::seconds(2), [] { return false; });
        for (int i = 0; i < 20; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                return;
            usleep(100000);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }

  private:
    int m_fd;
    pid_t m_pid;
    Screen m_screen;
    unsigned long long m_bytes = 0;
    bool m_closed = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_terminal SECONDS COLS ROWS PROGRAM [ARGS...]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const int cols = std::atoi(argv[2]), rows = std::atoi(argv[3]);
    if (seconds <= 0 || cols < 20 || rows < 10) {
        std::fprintf(stderr, "bench_terminal: SECONDS > 0, COLS >= 20 and ROWS >= 10\n");
        return 2;
    }
    std::setlocale(LC_CTYPE, "C.UTF-8"); // for wcwidth: the program writes UTF-8

    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    int fd = -1;
    const pid_t pid = forkpty(&fd, nullptr, nullptr, &size);
    if (pid < 0) {
        std::perror("bench_terminal: forkpty");
        return 2;
    }
    if (pid == 0) {
        setenv("TERM", "xterm-256color", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        execvp(argv[4], argv + 4);
        std::perror("bench_terminal: exec");
        _exit(127);
    }

    Session session(fd, pid, cols, rows);
    const char* missing = nullptr;
    if (!session.waitToShow(">Start<", 10)) {
        missing = ">Start<";
    } else {
        session.type("\r"); // Enter: the focused button, Start
        if (!session.waitToShow(">Stop<", 10))
            missing = ">Stop<";
    }
    if (missing != nullptr) {
        std::fprintf(stderr, "bench_terminal: the screen did not show %s within 10 s:\n%s", missing,
                     session.screen().dump().c_str());
        session.end();
        return 1;
    }

    const auto start = Clock::now();
    const unsigned long long bytesBefore = session.bytes();
    const long pressesBefore = session.screen().presses();
    const double cpuBefore = session.cpuMs();
    session.readUntil(
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
        [] { return false; });
    const double cpu = session.cpuMs() - cpuBefore;
    const double window = std::chrono::duration<double>(Clock::now() - start).count();
    const unsigned long long bytes = session.bytes() - bytesBefore;
    const long pressesAfter = session.screen().presses();
    if (session.closed()) {
        std::fprintf(stderr, "bench_terminal: the program ended while being measured:\n%s",
                     session.screen().dump().c_str());
        session.end();
        return 1;
    }
    session.end();
    std::printf("window_s %.2f bytes %llu presses %ld cpu_ms %.0f\n", window, bytes,
                pressesBefore < 0 || pressesAfter < 0 ? -1L : pressesAfter - pressesBefore, cpu);
    return 0;
}
