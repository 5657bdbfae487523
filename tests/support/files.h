// Files as the tests read them: whole, or line by line. A file that cannot be read reads as
// empty, so that a test's own assertion says what was missing. And where the tests write them.
#pragma once

#include <fstream>
#include <istream>
#include <sstream>
#include <string>
#include <vector>

inline std::string textOf(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// For a stream the caller opened: a file named otherwise than by a std::string, or one whose
// failing to open means more than "empty".
inline std::vector<std::string> linesIn(std::istream& in) {
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

inline std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    return linesIn(in);
}

// Text already in hand, such as what a test captured from standard error.
inline std::vector<std::string> linesOfText(const std::string& text) {
    std::istringstream in(text);
    return linesIn(in);
}

#ifdef BUILD_SCRATCH
// Where a test writes its files: its program's scratch folder under build/ (BUILD_SCRATCH, which
// the program's CMakeLists.txt defines), whatever the working directory it runs in.
inline std::string scratch(const std::string& name) {
    return std::string(BUILD_SCRATCH) + "/" + name;
}
#endif
