// The verifier without a person: the same library calls as the dialog makes (ZELK_HWInit, a
// ZELK_GetRemoteData every 200 ms, ZELK_Free), with every press written as a JSON line on
// standard output and a verdict line last, for a test bench that checks cards from a script.
//
// Exit statuses: 0 the board gave the presses asked for (a key held is one press); 1 the time
// ran out first; 2 the library's initialisation failed (status 8, a refused setting among its
// causes) or standard output could not be written; 128 + the signal after SIGINT, SIGTERM,
// SIGHUP, SIGQUIT or SIGPIPE (a reader that left), with the library freed. Never a pass that
// was not read.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct CheckOptions {
    unsigned presses = 1;
    unsigned timeoutMs = 30000;           // from the first poll
    std::string program = "test-rireruv"; // as the user called it, for messages
    std::string version;                  // the program's, from its version resource
};

// Reads "--presses N" and "--timeout S" from args; an empty string, or why they are wrong.
std::string parseCheckOptions(const std::vector<std::string>& args, CheckOptions& options);

int runCheck(const CheckOptions& options, std::FILE* out);

// A JSON string literal of text: quotes, backslashes and control characters escaped, and bytes
// that are not UTF-8 replaced, so that any JSON reader takes every line.
std::string jsonString(const std::string& text);

} // namespace terminal
