// The keys in the bytes a terminal sends: UTF-8 text, control keys, mouse reports and escape
// sequences. Sequences are read by ECMA-48's grammar (ESC [ parameters intermediates final,
// and ESC O final), so one the table does not know is swallowed whole: read as Esc and text,
// its Esc would close the dialog and its rest would land in the shell.
//
// Bytes may come split anywhere (a UTF-8 character or a sequence over two reads): what is
// unfinished waits for the next bytes. Only an Esc needs the clock: alone for the terminal's
// escape delay, it is the Esc key.
#pragma once

#include "terminal/frontend.h"

#include <string>
#include <vector>

namespace terminal {

class KeyDecoder {
  public:
    // Appends the keys in bytes, those left unfinished by the last call first.
    void feed(const std::string& bytes, std::vector<Key>& out);
    // How long to wait for the rest of what is unfinished before expire(), in ms, given the
    // terminal's escape delay; -1 when nothing is waiting that the clock decides.
    int patienceMs(int escapeDelayMs) const;
    // The wait is over: a lone Esc is the Esc key; an unfinished sequence or paste is dropped.
    void expire(std::vector<Key>& out);

  private:
    // Each takes what it can from the front of m_pending: the bytes used, 0 when unfinished.
    size_t decodeOne(std::vector<Key>& out);
    size_t escapeSequence(std::vector<Key>& out);
    size_t skipPaste();
    std::string m_pending;
    bool m_inPaste = false; // between a bracketed paste's start and end marks
};

} // namespace terminal
