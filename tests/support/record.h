// The entries of a record of calls that begin with one of the given prefixes: what a test
// compares when only part of the record is its concern. Shared by the unit tests on the model
// and the Win32 fidelity tests, which also build for Windows.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

inline std::vector<std::string> only(const std::vector<std::string>& record,
                                     std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const auto& line : record)
        for (const char* p : prefixes)
            if (line.rfind(p, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}
