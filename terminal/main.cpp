// Test_rireruv for Linux: the verifier on the Win32 model, in a terminal, in real time, with
// our library (librireruv.so) as its board. The program is started as the tests start it;
// the front end is its user and its clock. With --check it runs without the dialog and without
// a terminal, for scripts (check.h).
#include "platform/afx/afxwin.h"
#include "platform/model/model.h"
#include "rireruv/notes.h"
#include "terminal/boot_plan.h"
#include "terminal/capture.h"
#include "terminal/check.h"
#include "terminal/curses_io.h"
#include "terminal/find_protocol.h"
#include "terminal/identify.h"
#include "terminal/learn.h"
#include "terminal/library_log.h"
#include "terminal/watch_gpio.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The usage, with the name the program was called by (test-rireruv when installed).
void printUsage(std::FILE* to, const std::string& me) {
    std::fprintf(
        to,
        "usage: %1$s [--device DEVICE | --simulated]\n"
        "                        the verifier's dialog in this terminal\n"
        "       %1$s --check [--presses N] [--timeout S] [--device DEVICE | --simulated]\n"
        "                        no dialog: poll the board every 200 ms, one JSON line per\n"
        "                        press and a verdict line; exit 0 after N presses (default 1;\n"
        "                        a key held is one press), 1 after S seconds (default 30), 2\n"
        "                        when the set-up fails or the output cannot be written\n"
        "       %1$s --find-protocol [--presses N] [--timeout S] [--device DEVICE]\n"
        "                        which protocol the remote speaks, on a receiver that decodes\n"
        "                        raw light: every protocol on for N presses (default 3), then\n"
        "                        the saved ones back, on every way out (needs root)\n"
        "       %1$s --identify [--presses N] [--timeout S] [--device DEVICE] [--keymaps DIR]\n"
        "                        which shipped keymap matches the remote in your hand: N\n"
        "                        presses (default 5) ranked over /etc/rc_keymaps and\n"
        "                        /lib/udev/rc_keymaps; changes nothing\n"
        "       %1$s --watch-gpio [--seconds S] [--device DEVICE]\n"
        "                        a saa7134 GPIO receiver's own debug lines for S seconds\n"
        "                        (default 8): deaf, or a wrong card= (needs root)\n"
        "       %1$s --learn [--out FILE] [--keys K1,K2,...] [--timeout S] [--try S [--keep]]\n"
        "                        a keymap for the remote in your hand: one press of each key\n"
        "                        asked (the receiver's keymap's, those listed, or free),\n"
        "                        written as ir-keytable -w reads it (default learnt.toml); --try\n"
        "                        loads it for S seconds, then puts the receiver's table back\n"
        "       %1$s --boot-plan [--config FILE] [--keymap FILE] [--device DEVICE]\n"
        "                        what the next boot loads into the receiver's keymap, by\n"
        "                        ir-keytable -a's rules; each line of rc_maps.cfg that can\n"
        "                        never load; the line to add for FILE; changes nothing\n"
        "       %1$s --version   the program's version and its library's\n"
        "\n"
        "The board is a card's remote receiver unless the simulated board is asked for. Settings\n"
        "(environment variables; --device sets the first):\n"
        "  RIRERUV_DEVICE       auto (the default: the first receiver on a SAA713x or Bt878\n"
        "                       card), rcN, /dev/lircK, /dev/input/eventK, or simulated\n"
        "                         e.g. RIRERUV_DEVICE=rc1 %1$s --check\n"
        "  RIRERUV_TRACE        a file that gets a line for each library call\n"
        "                         e.g. RIRERUV_TRACE=/tmp/trace.txt %1$s\n"
        "and the simulated board's own, each of which asks for it:\n"
        "  RIRERUV_DATA         hex bytes given in turn, - for nothing\n"
        "                         e.g. RIRERUV_DATA=\"05 0A -\" %1$s --check --presses 2\n"
        "  RIRERUV_INIT_STATUS  the status ZELK_HWInit returns (8 fails)\n"
        "                         e.g. RIRERUV_INIT_STATUS=8 %1$s\n"
        "  RIRERUV_DELAY_MS     how long each ZELK_GetRemoteData takes\n"
        "                         e.g. RIRERUV_DELAY_MS=300 %1$s --simulated\n"
        "The manual: man %1$s (the man command is Debian's man-db package).\n",
        me.c_str());
}

// The program's version as its version resource gives it (the numbers Windows shows in the
// EXE's properties): the file version, and the product version.
std::pair<std::string, std::string> programVersion() {
    const auto resources = model::ResourceSet::parse(kProgramResources, kProgramResourcesSize);
    const model::Resource* res = resources.find(model::kRtVersion, 1);
    const model::VersionNumbers v =
        res != nullptr ? model::parseVersionNumbers(res->data) : model::VersionNumbers{};
    return {v.file.empty() ? "0.0.0.0" : v.file, v.product.empty() ? "0.0.0.0" : v.product};
}

int printVersion(const std::string& me) {
    const auto [file, product] = programVersion();
    std::printf("%s %s (product %s)\nlibrireruv %s\n", me.c_str(), file.c_str(), product.c_str(),
                rireruv_version());
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

// A second signal while a slow call holds the library ends the process at once, without
// ZELK_Free: the library's messages so far (its board line first) and the summary it would have
// said are written from the handler, so that the person still reads what the session found.
void writeMessagesWhenKilled() {
    terminal::StderrCapture::flushAll();
    const char* summary = rireruv_summary_so_far();
    if (*summary == 0)
        return;
    for (const char* part : {"rireruv: ", summary, "\n"})
        terminal::StderrCapture::writeRaw(part);
}

int runDialog(const char* modulePath, const std::string& me) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "%1$s: standard input and output must be a terminal: the verifier draws "
                     "its dialog there and reads the keyboard.\nRun it in a terminal (or under "
                     "tmux or ssh -t); for a script, %1$s --check.\n",
                     me.c_str());
        return kExitNoTerminal;
    }
    std::optional<terminal::CursesIo> io;
    try {
        io.emplace(&terminal::StderrCapture::flushRaw, &writeMessagesWhenKilled);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr,
                     "%s: %s.\nRun it with TERM set to the terminal you use, e.g. "
                     "TERM=xterm-256color.\n",
                     me.c_str(), e.what());
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

// --device DEVICE and --simulated, wherever they stand: they set RIRERUV_DEVICE before the
// library reads its settings, as the option a person typed last. An empty string, or why not.
std::string takeDevice(std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size();) {
        std::string device;
        if (args[i] == "--simulated") {
            device = "simulated";
            args.erase(args.begin() + static_cast<long>(i));
        } else if (args[i] == "--device") {
            if (i + 1 == args.size())
                return "--device needs a receiver after it (auto, rcN, a node) or simulated";
            device = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
        } else {
            ++i;
            continue;
        }
        setenv("RIRERUV_DEVICE", device.c_str(), 1);
    }
    return "";
}

// A mode's usage error: the reason and the usage on standard error.
int usageError(const std::string& me, const std::string& error) {
    std::fprintf(stderr, "%s: %s\n", me.c_str(), error.c_str());
    printUsage(stderr, me);
    return kExitUsage;
}

// The receiver a mode acts on: what RIRERUV_DEVICE (or --device) names, auto without one; the
// simulated board has nothing a mode could look at (error says so).
std::string modeDevice(const std::string& what, std::string& error) {
    const char* device = std::getenv("RIRERUV_DEVICE");
    if (error.empty() && device != nullptr && std::string(device) == "simulated")
        error = "the simulated board has no " + what + ": name a card's receiver";
    return device != nullptr ? device : "auto";
}

// A mode of the verifier: its options read, the receiver it acts on (what it looks at names it
// in the error for the simulated board), then run with JSON lines on standard output.
template <typename Options>
int runMode(const std::vector<std::string>& args, const std::string& me, const char* what,
            std::string (*parse)(const std::vector<std::string>&, Options&),
            int (*run)(const Options&, std::FILE*)) {
    Options options;
    options.program = me;
    options.version = programVersion().first;
    std::string error = parse(args, options);
    options.device = modeDevice(what, error);
    return error.empty() ? run(options, stdout) : usageError(me, error);
}

// The mode args[0] names, or -1 when it names none.
int runNamedMode(const std::vector<std::string>& args, const std::string& me) {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "--find-protocol")
        return runMode(rest, me, "protocols to find", &terminal::parseFindOptions,
                       &terminal::runFindProtocol);
    if (args[0] == "--watch-gpio")
        return runMode(rest, me, "GPIO lines to watch", &terminal::parseWatchOptions,
                       &terminal::runWatchGpio);
    if (args[0] == "--identify")
        return runMode(rest, me, "remote to identify", &terminal::parseIdentifyOptions,
                       &terminal::runIdentify);
    if (args[0] == "--boot-plan")
        return runMode(rest, me, "keymap to plan", &terminal::parseBootPlanOptions,
                       &terminal::runBootPlan);
    if (args[0] == "--learn")
        return runMode(rest, me, "keys to learn", &terminal::parseLearnOptions,
                       &terminal::runLearn);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const char* slash = std::strrchr(argv[0], '/');
    const std::string me = slash != nullptr ? slash + 1 : argv[0];
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version")
        return printVersion(me);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        printUsage(stdout, me);
        return 0;
    }
    std::string error = takeDevice(args);
    if (error.empty() && args.empty())
        return runDialog(argv[0], me);
    const int mode = error.empty() ? runNamedMode(args, me) : -1;
    if (mode >= 0)
        return mode;
    terminal::CheckOptions options;
    options.program = me;
    options.version = programVersion().first;
    if (error.empty())
        error = args[0] == "--check"
                    ? terminal::parseCheckOptions({args.begin() + 1, args.end()}, options)
                    : "\"" + args[0] + "\" is not an option";
    return error.empty() ? terminal::runCheck(options, stdout) : usageError(me, error);
}
