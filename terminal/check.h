// The verifier without a person: the same library calls as the dialog makes (ZELK_HWInit, a
// ZELK_GetRemoteData every 200 ms, ZELK_Free), with every press written as a JSON line on
// standard output and a verdict line last, for a test bench that checks cards from a script.
//
// Exit statuses: 0 the board gave the presses asked for; 1 the time ran out first; 2 the
// library's initialisation failed (status 8, a refused setting among its causes); 130 Ctrl-C
// or SIGTERM, after ZELK_Free.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {

struct CheckOptions {
    unsigned presses = 1;
    unsigned timeoutMs = 30000; // from the first poll
};

// Reads "--presses N" and "--timeout S" from args; an empty string, or why they are wrong.
std::string parseCheckOptions(const std::vector<std::string>& args, CheckOptions& options);

int runCheck(const CheckOptions& options, std::FILE* out);

// A JSON string literal of text: quotes, backslashes and control characters escaped, and bytes
// that are not UTF-8 replaced, so that any JSON reader takes every line.
std::string jsonString(const std::string& text);

} // namespace terminal
