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
// poll that follows no poll for three seconds starts a run (Start pressed), and a press's poll
// time counts from its run's first poll. A key held down is one press: its repeat frames come as
// HELD notes of that press (at most one a poll), and its release, where the receiver tells it,
// as a RELEASED note; a press is never told twice as new. A hint comes once per run, when a run
// has given no press for a while, and is withdrawn by the next press or the next run.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum RireruvNoteKind {
    RIRERUV_NOTE_PRESS = 1,          // press is set
    RIRERUV_NOTE_MESSAGE = 2,        // text: a message the library also wrote on standard error
    RIRERUV_NOTE_HINT = 3,           // text: why nothing arrives, and what to check
    RIRERUV_NOTE_HINT_WITHDRAWN = 4, // the hint no longer holds
    RIRERUV_NOTE_HELD = 5,           // press: one already told, with more frames of its hold
    RIRERUV_NOTE_RELEASED = 6,       // press: one already told, whose key is now up
    RIRERUV_NOTE_LOST = 7,           // text: where an attempt that became no key died; press:
                                     // its layer, and its scancode and protocol where known
    RIRERUV_NOTE_GONE = 8,           // text: the receiver went away; no press will come again
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
    unsigned frames;               // 1, then each repeat frame of the key held
    int timed;                     // 1 when kernelUs is the kernel's time of its first frame
    unsigned long long kernelUs;   // the kernel's timestamp (CLOCK_MONOTONIC), microseconds
    unsigned long long heldUs;     // first frame to release (or to its last frame so far)
    const char* releasedBy;        // "" while down; "key_up" (the event device said so),
                                   // "next_press" or "silence" (its frames stopped)
    const char* layer;             // LOST: "no_decoder", "not_delivered", "keymap",
                                   // "unknown_protocol", "cut", "noise"; "" otherwise
    int coded;                     // LOST: 1 when scancode and protocol are known
};

// The board ZELK_HWInit set up, for a front end to name: every string is set ("" when the board
// has no such thing).
struct RireruvBoard {
    const char* board;     // "simulated", or the receiver's name "rc0"
    const char* asked;     // what chose it: "RIRERUV_DEVICE=auto", "RIRERUV_DEVICE unset", ...
    const char* driver;    // "saa7134"
    const char* card;      // "saa7134 IR (Pinnacle PCTV 110i)"
    const char* node;      // the node read: "/dev/input/event5"
    const char* keymap;    // "rc-pinnacle-color"
    const char* protocols; // the enabled protocols, space-separated: "nec rc-5"
    const char* decoder;   // "raw" (the kernel decodes raw light in software: protocols can be
                           // chosen), "hardware" (the receiver gives codes), or ""
    const char* available; // the protocols it could decode, space-separated
    int repeatDelayMs;     // the event device's autorepeat (EVIOCGREP), or -1 when unknown
    int repeatPeriodMs;
};

typedef void (*RireruvListener)(void* context, int kind, const struct RireruvPress* press,
                                const char* text);

// One listener at a time; a null listener stops the notes.
__attribute__((visibility("default"))) void rireruv_listen(RireruvListener listener, void* context);

// The board of the last successful ZELK_HWInit, or null before one and after a failed one.
__attribute__((visibility("default"))) const struct RireruvBoard* rireruv_board(void);

// The summary ZELK_Free would say ("summary: 5 presses ..."), as of the last poll; "" before a
// board and once ZELK_Free has said it. For a front end that must end while a slow call holds
// the library (a second Ctrl-C): it may be read in a signal handler, being replaced whole
// between polls and never written in place.
__attribute__((visibility("default"))) const char* rireruv_summary_so_far(void);

// "1.2.0": this library's version, for --version.
__attribute__((visibility("default"))) const char* rireruv_version(void);

#ifdef __cplusplus
}
#endif
