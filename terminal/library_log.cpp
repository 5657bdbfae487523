// The library's listener of the front end.
#include "terminal/library_log.h"

#include "rireruv/notes.h"

#include <string>

namespace terminal {

namespace {

void onNote(void* context, int kind, const RireruvPress* press, const char* text) {
    auto* log = static_cast<PressLog*>(context);
    if (kind == RIRERUV_NOTE_HINT)
        log->setHint(text != nullptr ? text : "");
    else if (kind == RIRERUV_NOTE_HINT_WITHDRAWN)
        log->setHint("");
    else if (kind == RIRERUV_NOTE_PRESS && press != nullptr)
        log->add(rowOf(*press));
    else if ((kind == RIRERUV_NOTE_HELD || kind == RIRERUV_NOTE_RELEASED) && press != nullptr)
        log->update(rowOf(*press));
    else if (kind == RIRERUV_NOTE_LOST && press != nullptr && text != nullptr &&
             std::string(press->layer) != "keymap") { // its press's row says "not in rc-..."
        LogRow row;
        row.lost = text;
        log->add(row);
    }
}

} // namespace

void listenToLibrary(PressLog* log) {
    rireruv_listen(log != nullptr ? &onNote : nullptr, log);
}

LogRow rowOf(const RireruvPress& p) {
    LogRow row;
    row.number = p.number;
    row.ms = p.msSinceRun;
    row.scancode = p.scancode;
    row.protocol = p.protocol;
    row.repeat = p.repeat;
    row.toggle = p.toggle;
    row.key = p.key != nullptr ? p.key : *p.keymap != 0 ? std::string("not in ") + p.keymap : "-";
    row.byte = p.byte;
    row.shown = p.shown != 0;
    row.frames = p.frames;
    row.timed = p.timed != 0;
    row.kernelUs = p.kernelUs;
    row.heldUs = p.heldUs;
    row.released = p.releasedBy != nullptr && *p.releasedBy != 0;
    return row;
}

} // namespace terminal
