// The keys in the bytes a terminal sends: UTF-8 text, control keys, mouse reports and escape
// sequences. Sequences are read by ECMA-48's grammar (ESC [ parameters intermediates final,
// and ESC O final), so one the table does not know is swallowed whole: read as Esc and text,
// its Esc would close the dialog and its rest would land in the shell.
//
// Bytes may come split anywhere (a UTF-8 character or a sequence over two reads): what is
// unfinished waits for the next bytes. Only a sequence's start needs the clock: it waits for its
// rest for the escape delay (ESCDELAY, as ncurses reads it; half a second without it, as tmux's
// escape-time long was, since over SSH the rest of a key may come hundreds of ms late). Then a
// lone Esc is the Esc key and an unfinished sequence is dropped, and for a second after, what
// can only be its late rest is dropped too, never typed: after an Esc, a [ or O and the grammar
// up to a final byte; after a sequence, its grammar's rest (a mouse report's numbers). A person
// types no such rest after Esc: arrows, clicks, F10 and Alt start with an Esc of their own, and
// Space, Enter and Tab begin no sequence.
//
// A click is the left button's press then its release, as a Windows button acts on a release
// only after its press: a report lost to a split never makes half a click into a whole one.
#pragma once

#include "terminal/io.h"

#include <string>
#include <vector>

namespace terminal {

const int kDefaultEscapeDelayMs = 500;
// The escape delay in ms that ESCDELAY sets, read as ncurses reads it (a number strtol takes
// whole, decimal, octal or hex, 0 or more, that fits an int); the default when unset or not so.
int escapeDelayMs(const char* setting);

class KeyDecoder {
  public:
    // Appends the keys in bytes, those left unfinished by the last call first.
    void feed(const std::string& bytes, std::vector<Key>& out);
    // How long to wait for the rest of what is unfinished before expire(), in ms, given the
    // escape delay; -1 when nothing is waiting that the clock decides.
    int patienceMs(int escapeDelayMs) const;
    // How long after expire() gave something up its late rest is still dropped, in ms, before
    // expire() ends that watch; -1 when nothing is watched for. No key waits for it.
    int lateRestMs() const;
    // The wait is over: a lone Esc is the Esc key; an unfinished sequence or paste is dropped.
    // With nothing waiting, the watch for a late rest is over.
    void expire(std::vector<Key>& out);

  private:
    // Each takes what it can from the front of m_pending: the bytes used, 0 when unfinished.
    size_t decodeOne(std::vector<Key>& out);
    size_t escapeSequence(std::vector<Key>& out);
    size_t skipPaste();
    bool dropLateRest(); // false while it is unfinished
    bool click(const std::string& seq, Key& key);
    std::string m_pending;
    std::string m_givenUp;   // what expire() gave up, while its late rest is watched for
    bool m_inPaste = false;  // between a bracketed paste's start and end marks
    bool m_leftDown = false; // the left button's press was read, its release not yet
};

} // namespace terminal
