// The scripted double of our library (scripted_library.h).
#include "tests/terminal/scripted_library.h"

#include "platform/zelk.h"

#include <utility>

namespace scripted {

namespace {

Script g_script;
size_t g_polls = 0;
unsigned g_freed = 0;
RireruvListener g_listener = nullptr;
void* g_context = nullptr;

void tell(const std::vector<Note>& notes) {
    for (const Note& n : notes)
        if (g_listener != nullptr)
            g_listener(g_context, n.kind, n.press, n.text.c_str());
}

} // namespace

void play(Script script) {
    g_script = std::move(script);
    g_polls = 0;
    g_freed = 0;
}

unsigned freed() {
    return g_freed;
}

} // namespace scripted

using scripted::g_script;

extern "C" int ZELK_HWInit(void) {
    scripted::tell(g_script.atInit);
    return g_script.init;
}

extern "C" int ZELK_GetRemoteData(unsigned char* /*pbyData*/) {
    if (scripted::g_polls < g_script.polls.size())
        scripted::tell(g_script.polls[scripted::g_polls]);
    ++scripted::g_polls;
    return 0;
}

extern "C" int ZELK_Free(void) {
    ++scripted::g_freed;
    scripted::tell(g_script.atFree);
    return 0;
}

extern "C" void rireruv_listen(RireruvListener listener, void* context) {
    scripted::g_listener = listener;
    scripted::g_context = context;
}

extern "C" const RireruvBoard* rireruv_board(void) {
    return g_script.board;
}

// Nothing said so far: no script needs a summary before ZELK_Free.
extern "C" const char* rireruv_summary_so_far(void) {
    return "";
}

extern "C" const char* rireruv_version(void) {
    return "9.8.7";
}
