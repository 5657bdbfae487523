// A listener to the library's notes (rireruv/notes.h) for as long as the guard lives: however the
// test leaves the scope, by its end or by a failed ASSERT, the library stops calling into what
// the test declared there.
#pragma once

#include "rireruv/notes.h"

struct Listening {
    Listening(RireruvListener listener, void* context) { rireruv_listen(listener, context); }
    ~Listening() { rireruv_listen(nullptr, nullptr); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;
};
