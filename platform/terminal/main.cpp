// Test_rireruv for Linux: the verifier on the Win32 model, in a terminal, in real time, with
// our library (librireruv.so) as its board. The program is started as the tests start it;
// the front end is its user and its clock.
#include "afxwin.h"
#include "capture.h"
#include "curses_io.h"
#include "model.h"

#include <clocale>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

namespace {

const int kExitNoTerminal = 2;
const int kExitInterrupted = 130; // as a shell reports a program ended by Ctrl-C

std::string joinArguments(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    return commandLine;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "Test_rireruv: standard input and output must be a terminal: the "
                             "verifier draws its dialog there and reads the keyboard.\n"
                             "Run it in a terminal (or under tmux or ssh -t); for a window, "
                             "use scripts/run --wine.\n");
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
    std::string commandLine = joinArguments(argc, argv);
    model::ProgramOptions options;
    options.modulePath = argv[0]; // the title is the executable's base name
    bool interrupted = false;
    int code = 0;
    {
        model::Program program(
            model::ResourceSet::parse(kProgramResources, kProgramResourcesSize),
            [&commandLine] {
                return AfxWinMain(model::moduleHandle(), nullptr, commandLine.data(), 1);
            },
            options);
        terminal::FrontEnd frontEnd(*io, program, [&capture] { return capture->take(); });
        frontEnd.run();
        interrupted = program.running();
        code = program.exitCode();
    }                // an interrupted program is closed here, as by its close box
    io.reset();      // the terminal is the shell's again...
    capture.reset(); // ...and the library's messages are written out once more
    return interrupted ? kExitInterrupted : code;
}
