// Shared test support.
#include "tests/support/verifier.h"

#include "platform/afx/afxwin.h"

#include <gtest/gtest.h>

extern const unsigned char kProgramResources[];
extern const std::size_t kProgramResourcesSize;

model::ResourceSet programResources() {
    return model::ResourceSet::parse(kProgramResources, kProgramResourcesSize);
}

std::unique_ptr<model::Program> startVerifier(model::ProgramOptions options,
                                              model::ResourceSet resources) {
    static char commandLine[] = "";
    return std::make_unique<model::Program>(
        std::move(resources),
        [] { return AfxWinMain(model::moduleHandle(), nullptr, commandLine, 1); }, options);
}

void expectCalls(const char* file, int line, const std::vector<std::string>& expected,
                 const std::vector<std::string>& actual) {
    const size_t n = std::max(expected.size(), actual.size());
    std::string diff;
    for (size_t i = 0; i < n; ++i) {
        const std::string e = i < expected.size() ? expected[i] : "(nothing)";
        const std::string a = i < actual.size() ? actual[i] : "(nothing)";
        if (e != a)
            diff += "  " + std::to_string(i) + ": expected \"" + e + "\", got \"" + a + "\"\n";
    }
    if (!diff.empty()) {
        std::string all;
        for (const auto& s : actual)
            all += "    " + s + "\n";
        ADD_FAILURE_AT(file, line) << "calls differ:\n" << diff << "  the record was:\n" << all;
    }
}
