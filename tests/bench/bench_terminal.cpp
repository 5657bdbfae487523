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
// cells that changed ("op<" turns Start into Stop), so this keeps a small screen of its own:
// the control sequences ncurses sends an xterm, enough to read the dialog's rows.
#include "platform/model/model.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A character cell grid driven by an xterm's control sequences: cursor moves, erasing,
// inserting and deleting, scroll regions, autowrap. Colours and modes other than autowrap do
// not change the text, so they are read and dropped.
class Screen {
  public:
    Screen(int cols, int rows)
        : m_cols(cols), m_rows(rows), m_bottom(rows - 1),
          m_cells(static_cast<size_t>(rows), blankRow()) {}

    void feed(const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i)
            step(static_cast<unsigned char>(data[i]));
    }

    std::string row(int y) const {
        std::string out;
        for (char32_t c : m_cells[static_cast<size_t>(y)])
            if (c != kContinuation)
                model::appendUtf8(out, c);
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
    static constexpr char32_t kContinuation = 0; // the right half of a wide character
    enum class State { Ground, Escape, EscapeSkipOne, Csi, String, StringEscape };

    std::u32string blankRow() const { return std::u32string(static_cast<size_t>(m_cols), U' '); }

    void step(unsigned char b) {
        switch (m_state) {
        case State::Ground:
            if (m_utf8Left > 0 && (b & 0xC0) == 0x80) {
                m_utf8 = (m_utf8 << 6) | (b & 0x3F);
                if (--m_utf8Left == 0)
                    print(m_utf8);
            } else if (b >= 0xC0 && b < 0xF8) {
                m_utf8Left = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
                m_utf8 = b & (0x3F >> m_utf8Left);
            } else if (b < 0x20 || b == 0x7F) {
                m_utf8Left = 0;
                control(b);
            } else if (b < 0x80) {
                m_utf8Left = 0;
                print(b);
            }
            break;
        case State::Escape:
            escape(b);
            break;
        case State::EscapeSkipOne: // the character set chosen by ESC ( and its kin
            m_state = State::Ground;
            break;
        case State::Csi:
            if (b >= 0x30 && b <= 0x3F)
                m_params += static_cast<char>(b);
            else if (b >= 0x40 && b <= 0x7E) {
                m_state = State::Ground;
                csi(static_cast<char>(b));
            } else if (b < 0x20)
                control(b); // a control inside a sequence acts at once, as on an xterm
            break;
        case State::String: // OSC, DCS and their kin: to BEL or ESC backslash, read and dropped
            if (b == 0x07)
                m_state = State::Ground;
            else if (b == 0x1B)
                m_state = State::StringEscape;
            break;
        case State::StringEscape:
            m_state = b == '\\' ? State::Ground : State::String;
            break;
        }
    }

    void control(unsigned char b) {
        switch (b) {
        case 0x08:
            moveTo(m_x - 1, m_y);
            break;
        case 0x09:
            moveTo(std::min(m_cols - 1, (m_x / 8 + 1) * 8), m_y);
            break;
        case 0x0A:
        case 0x0B:
        case 0x0C:
            lineFeed();
            break;
        case 0x0D:
            moveTo(0, m_y);
            break;
        case 0x1B:
            m_state = State::Escape;
            break;
        default:
            break;
        }
    }

    void escape(unsigned char b) {
        m_state = State::Ground;
        switch (b) {
        case '[':
            m_state = State::Csi;
            m_params.clear();
            break;
        case ']':
        case 'P':
        case '_':
        case '^':
            m_state = State::String;
            break;
        case '(':
        case ')':
        case '*':
        case '+':
        case '#':
        case '%':
        case ' ':
            m_state = State::EscapeSkipOne;
            break;
        case '7':
            m_savedX = m_x;
            m_savedY = m_y;
            break;
        case '8':
            moveTo(m_savedX, m_savedY);
            break;
        case 'D':
            lineFeed();
            break;
        case 'E':
            moveTo(0, m_y);
            lineFeed();
            break;
        case 'M':
            reverseLineFeed();
            break;
        case 'c':
            *this = Screen(m_cols, m_rows);
            break;
        default: // ESC = and ESC > (keypad modes), and the rest: no change to the text
            break;
        }
    }

    int param(size_t i, int fallback) const {
        size_t start = 0;
        for (size_t k = 0; k < i; ++k) {
            start = m_params.find(';', start);
            if (start == std::string::npos)
                return fallback;
            ++start;
        }
        const int v = std::atoi(m_params.c_str() + start);
        return v > 0 ? v : fallback;
    }

    void csi(char final) {
        if (!m_params.empty() && (m_params[0] == '?' || m_params[0] == '>' || m_params[0] == '=')) {
            if (m_params[0] == '?' && (final == 'h' || final == 'l'))
                for (size_t at = 1; at != std::string::npos && at <= m_params.size();) {
                    if (std::atoi(m_params.c_str() + at) == 7)
                        m_autowrap = final == 'h';
                    at = m_params.find(';', at);
                    if (at != std::string::npos)
                        ++at;
                }
            return;
        }
        const int n = param(0, 1);
        switch (final) {
        case 'A':
            moveTo(m_x, std::max(m_y - n, m_y >= m_top ? m_top : 0));
            break;
        case 'B':
        case 'e':
            moveTo(m_x, std::min(m_y + n, m_y <= m_bottom ? m_bottom : m_rows - 1));
            break;
        case 'C':
        case 'a':
            moveTo(m_x + n, m_y);
            break;
        case 'D':
            moveTo(m_x - n, m_y);
            break;
        case 'E':
            moveTo(0, m_y + n);
            break;
        case 'F':
            moveTo(0, m_y - n);
            break;
        case 'G':
        case '`':
            moveTo(n - 1, m_y);
            break;
        case 'd':
            moveTo(m_x, n - 1);
            break;
        case 'H':
        case 'f':
            moveTo(param(1, 1) - 1, n - 1);
            break;
        case 'J':
            eraseDisplay(param(0, 0));
            break;
        case 'K':
            eraseLine(param(0, 0));
            break;
        case 'X':
            fillRow(m_y, m_x, std::min(m_cols, m_x + n));
            m_pendingWrap = false;
            break;
        case '@': {
            auto& r = m_cells[static_cast<size_t>(m_y)];
            r.insert(static_cast<size_t>(m_x), static_cast<size_t>(std::min(n, m_cols - m_x)),
                     U' ');
            r.resize(static_cast<size_t>(m_cols));
            m_pendingWrap = false;
            break;
        }
        case 'P': {
            auto& r = m_cells[static_cast<size_t>(m_y)];
            r.erase(static_cast<size_t>(m_x), static_cast<size_t>(std::min(n, m_cols - m_x)));
            r.resize(static_cast<size_t>(m_cols), U' ');
            m_pendingWrap = false;
            break;
        }
        case 'L':
            if (m_y >= m_top && m_y <= m_bottom) {
                scrollDown(m_y, n);
                moveTo(0, m_y);
            }
            break;
        case 'M':
            if (m_y >= m_top && m_y <= m_bottom) {
                scrollUp(m_y, n);
                moveTo(0, m_y);
            }
            break;
        case 'S':
            scrollUp(m_top, n);
            break;
        case 'T':
            scrollDown(m_top, n);
            break;
        case 'b': // REP: the last character printed, n more times
            for (int i = 0; i < n && m_last != 0; ++i)
                print(m_last);
            break;
        case 'r': {
            const int top = param(0, 1) - 1, bottom = param(1, m_rows) - 1;
            if (top < bottom && bottom < m_rows) {
                m_top = top;
                m_bottom = bottom;
            }
            moveTo(0, 0);
            break;
        }
        case 's':
            m_savedX = m_x;
            m_savedY = m_y;
            break;
        case 'u':
            moveTo(m_savedX, m_savedY);
            break;
        default: // m (attributes), h and l (modes), t (window reports), n, c: no text
            break;
        }
    }

    void moveTo(int x, int y) {
        m_x = std::clamp(x, 0, m_cols - 1);
        m_y = std::clamp(y, 0, m_rows - 1);
        m_pendingWrap = false;
    }

    void fillRow(int y, int from, int to) {
        auto& r = m_cells[static_cast<size_t>(y)];
        for (int x = std::max(0, from); x < std::min(to, m_cols); ++x)
            r[static_cast<size_t>(x)] = U' ';
    }

    void eraseLine(int how) {
        if (how == 0)
            fillRow(m_y, m_x, m_cols);
        else if (how == 1)
            fillRow(m_y, 0, m_x + 1);
        else
            fillRow(m_y, 0, m_cols);
        m_pendingWrap = false;
    }

    void eraseDisplay(int how) {
        if (how == 0) {
            eraseLine(0);
            for (int y = m_y + 1; y < m_rows; ++y)
                fillRow(y, 0, m_cols);
        } else if (how == 1) {
            eraseLine(1);
            for (int y = 0; y < m_y; ++y)
                fillRow(y, 0, m_cols);
        } else {
            for (int y = 0; y < m_rows; ++y)
                fillRow(y, 0, m_cols);
        }
        m_pendingWrap = false;
    }

    // Rows from..bottom of the scroll region move up n; blank rows come in at the bottom.
    void scrollUp(int from, int n) {
        for (int i = 0; i < n; ++i) {
            m_cells.erase(m_cells.begin() + from);
            m_cells.insert(m_cells.begin() + m_bottom, blankRow());
        }
    }
    void scrollDown(int from, int n) {
        for (int i = 0; i < n; ++i) {
            m_cells.erase(m_cells.begin() + m_bottom);
            m_cells.insert(m_cells.begin() + from, blankRow());
        }
    }

    void lineFeed() {
        if (m_y == m_bottom)
            scrollUp(m_top, 1);
        else if (m_y < m_rows - 1)
            ++m_y;
        m_pendingWrap = false;
    }

    void reverseLineFeed() {
        if (m_y == m_top)
            scrollDown(m_top, 1);
        else if (m_y > 0)
            --m_y;
        m_pendingWrap = false;
    }

    void print(char32_t c) {
        const int w = wcwidth(static_cast<wchar_t>(c));
        if (w <= 0)
            return; // combining marks do not move the cursor; the text is read without them
        m_last = c;
        if (m_pendingWrap && m_autowrap) {
            m_x = 0;
            lineFeed();
        }
        if (w == 2 && m_x == m_cols - 1 && m_autowrap) {
            m_x = 0;
            lineFeed();
        }
        auto& r = m_cells[static_cast<size_t>(m_y)];
        r[static_cast<size_t>(m_x)] = c;
        if (w == 2 && m_x + 1 < m_cols)
            r[static_cast<size_t>(m_x) + 1] = kContinuation;
        const int next = m_x + w;
        m_pendingWrap = next >= m_cols;
        m_x = std::min(next, m_cols - 1);
    }

    int m_cols, m_rows;
    int m_top = 0, m_bottom;
    std::vector<std::u32string> m_cells;
    int m_x = 0, m_y = 0, m_savedX = 0, m_savedY = 0;
    bool m_pendingWrap = false, m_autowrap = true;
    char32_t m_last = 0;
    State m_state = State::Ground;
    std::string m_params;
    char32_t m_utf8 = 0;
    int m_utf8Left = 0;
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
