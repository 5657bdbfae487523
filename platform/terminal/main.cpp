// Test_rireruv for Linux: the verifier on the Win32 model, in a terminal, in real time, with
// the stand-in library (librireruv.so) as its board.
#include "afxwin.h"
#include "curses_io.h"
#include "driver.h"

#include <clocale>
#include <cstdio>
#include <string>

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    model::Desktop& d = model::desktop();
    d.resources = model::ResourceSet::parse(kProgramResources, kProgramResourcesSize);
    d.modulePath = argv[0]; // the title is the executable's base name
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);

    int code = 0;
    {
        terminal::CursesIo io;
        terminal::FrontEnd frontEnd(io);
        d.idle = [&frontEnd] { frontEnd.idle(); };
        code = AfxWinMain(model::moduleHandle(), nullptr, commandLine.data(), 1);
        d.idle = nullptr;
    }
    return code;
}
