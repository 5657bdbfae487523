// Test_rireruv for Linux: the verifier on the Win32 model, in a terminal, in real time, with
// our library (librireruv.so) as its board. The program is started as the tests start it;
// the front end is its user and its clock. With --check it runs without the dialog and without
// a terminal, for scripts (check.h).
#include "platform/afx/afxwin.h"
#include "terminal/capture.h"
#include "terminal/check.h"
#include "terminal/curses_io.h"
#include "platform/model/model.h"
#include "terminal/library_log.h"
#include "rireruv/notes.h"

#include <clocale>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

namespace {

const int kExitInitFailed = 2;
const int kExitNoTerminal = 2;
const int kExitUsage = 2;
const int kExitSignalled = 128; // plus the signal, as a shell reports a program it ended

const char kUsage[] =
    "usage: Test_rireruv                 the verifier's dialog in this terminal\n"
    "       Test_rireruv --version       the program's version and its library's\n"
    "       Test_rireruv --check [--presses N] [--timeout S]\n"
    "                                    no dialog: poll the board every 200 ms, one JSON line\n"
    "                                    per press and a verdict line; exit 0 after N presses\n"
    "                                    (default 1), 1 after S seconds (default 30), 2 when\n"
    "                                    the library's initialisation fails\n"
    "The board is chosen and set up through the environment (RIRERUV_DEVICE, RIRERUV_DATA, ...).\n";

// The program's version as its version resource gives it (the numbers Windows shows in the
// EXE's properties), and the library's.
int printVersion() {
    const auto resources = model::ResourceSet::parse(kProgramResources, kProgramResourcesSize);
    const model::Resource* res = resources.find(model::kRtVersion, 1);
    uint32_t v[4] = {};
    if (res != nullptr) {
        model::ByteReader r(res->data);
        r.u16(), r.u16(), r.u16(), r.sz(), r.align(4); // length, value length, type, key
        if (r.u32() == 0xFEEF04BDu) {
            r.u32(); // the structure's version
            for (uint32_t& part : v)
                part = r.u32();
        }
    }
    std::printf("Test_rireruv %u.%u.%u.%u (product %u.%u.%u.%u)\nlibrireruv %s\n", v[0] >> 16,
                v[0] & 0xFFFF, v[1] >> 16, v[1] & 0xFFFF, v[2] >> 16, v[2] & 0xFFFF, v[3] >> 16,
                v[3] & 0xFFFF, rireruv_version());
    return 0;
}

// The program on the model in the terminal, until it ends or a signal asks it to: its exit
// status. A program still running is closed on the way out, as by its close box.
int runProgram(terminal::Io& io, terminal::StderrCapture& capture, const terminal::PressLog& log,
               const char* modulePath) {
    const auto resources = model::ResourceSet::parse(kProgramResources, kProgramResourcesSize);
    model::ProgramOptions options;
    options.modulePath = modulePath; // the title is the executable's base name
    model::Program program(
        resources,
        [] {
            static char noArguments[] = "";
            return AfxWinMain(model::moduleHandle(), nullptr, noArguments, 1);
        },
        options);
    terminal::FrontEnd frontEnd(
        io, program, [&capture] { return capture.take(); }, &log);
    frontEnd.alsoFit(terminal::dialogClientSizes(resources));
    frontEnd.run();
    if (program.running()) // Ctrl-C, SIGTERM, SIGHUP or SIGQUIT
        return kExitSignalled + terminal::CursesIo::endedBy();
    return frontEnd.initFailed() ? kExitInitFailed : program.exitCode();
}

int runDialog(const char* modulePath) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "Test_rireruv: standard input and output must be a terminal: the "
                             "verifier draws its dialog there and reads the keyboard.\n"
                             "Run it in a terminal (or under tmux or ssh -t); for a window, "
                             "use scripts/run --wine; for a script, Test_rireruv --check.\n");
        return kExitNoTerminal;
    }
    std::optional<terminal::CursesIo> io;
    try {
        io.emplace(&terminal::StderrCapture::flushRaw);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr,
                     "Test_rireruv: %s.\nRun it with TERM set to the terminal you "
                     "use, e.g. TERM=xterm-256color.\n",
                     e.what());
        return kExitNoTerminal;
    }
    std::optional<terminal::StderrCapture> capture(std::in_place);
    terminal::PressLog log;
    terminal::listenToLibrary(&log);
    const int status = runProgram(*io, *capture, log, modulePath);
    terminal::listenToLibrary(nullptr);
    capture->take(); // the summary ZELK_Free said, in its place after the others
    io.reset();      // the terminal is the shell's again...
    capture.reset(); // ...and the library's messages are written out once more
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return runDialog(argv[0]);
    if (args.size() == 1 && args[0] == "--version")
        return printVersion();
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    terminal::CheckOptions options;
    const std::string error =
        args[0] == "--check" ? terminal::parseCheckOptions({args.begin() + 1, args.end()}, options)
                             : "\"" + args[0] + "\" is not an option";
    if (!error.empty()) {
        std::fprintf(stderr, "Test_rireruv: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    return terminal::runCheck(options, stdout);
}
