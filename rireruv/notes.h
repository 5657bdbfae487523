// What our library tells a front end beside the three entries' answers: each press it took,
// with everything the board knows of it, and why nothing arrives when nothing does.
//
// Why a side door rather than more from ZELK_GetRemoteData: the program being verified must see
// exactly what a vendor's library would give it (one byte, or nothing), while the person at the
// card wants the whole scancode, the key's name, a count and a time. The Linux build of our
// library exports rireruv_listen; a vendor's library does not, and the Windows program never
// asks.
//
// What a listener relies on: it is called on the thread that called the entry, from inside
// ZELK_HWInit, ZELK_GetRemoteData or ZELK_Free, before that call returns; the pointers it gets
// live only for the call. Presses come oldest first, numbered from 1 since ZELK_HWInit; a
// poll that follows no poll for a second starts a run (Start pressed), and a press's time
// counts from its run's first poll. A hint comes once per run, when a run has given no press
// for a while, and is withdrawn by the next press or the next run.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum RireruvNoteKind {
    RIRERUV_NOTE_PRESS = 1,          // press is set
    RIRERUV_NOTE_MESSAGE = 2,        // text: a message the library also wrote on standard error
    RIRERUV_NOTE_HINT = 3,           // text: why nothing arrives, and what to check
    RIRERUV_NOTE_HINT_WITHDRAWN = 4, // the hint no longer holds
};

struct RireruvPress {
    unsigned number;               // 1, 2, ... since ZELK_HWInit
    unsigned long long msSinceRun; // since the first poll of this run, to the poll that took it
    unsigned long long scancode;   // as the receiver gave it; the simulated board's byte
    const char* protocol;          // the kernel's name ("nec", "rc-5"), or "-" when not known
    int repeat;                    // 1 a repeat of a held key, 0 not, -1 not known
    int toggle;                    // the toggle bit (RC-5, RC-6): 0 or 1, -1 not known
    const char* key;               // the keymap's name for it ("KEY_POWER"), or null
    const char* keymap;            // the receiver's keymap ("rc-pinnacle-color"), or ""
    int byte;                      // the low byte, the one a poll writes
    int shown;                     // 1 when its poll wrote this byte: 0 when a later press in
                                   // the same poll took its place
};

typedef void (*RireruvListener)(void* context, int kind, const struct RireruvPress* press,
                                const char* text);

// One listener at a time; a null listener stops the notes.
__attribute__((visibility("default"))) void rireruv_listen(RireruvListener listener, void* context);

// "1.1.0": this library's version, for --version.
__attribute__((visibility("default"))) const char* rireruv_version(void);

#ifdef __cplusplus
}
#endif
