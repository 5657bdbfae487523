// Files as the tests read them: whole, or line by line. A file that cannot be read reads as
// empty, so that a test's own assertion says what was missing.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string textOf(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

inline std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}
