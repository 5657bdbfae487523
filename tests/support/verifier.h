// What the unit tests share: the program's compiled resources, the verifier started on the
// model, the hardware-library double, and a record comparison that prints where it differs.
#pragma once

#include "platform/model/model.h"

#include <memory>
#include <string>
#include <vector>

namespace fake_zelk {
// What the double does; reset() before each program run.
extern int status;            // ZELK_HWInit's result
extern std::vector<int> data; // bytes given in turn, cycling; -1 writes nothing
extern int uncleared;         // calls that found the byte not set to 0
extern unsigned delayMs;      // virtual time each ZELK_GetRemoteData takes
extern int last;              // what the last call wrote, -1 for nothing, -2 before any call
void reset();
} // namespace fake_zelk

model::ResourceSet programResources();

// Runs the application, as the process would, with fresh double settings.
std::unique_ptr<model::Program> startVerifier(model::ProgramOptions options = {},
                                              model::ResourceSet resources = programResources());

// Compares the record with the expected calls, index by index, at the caller's line.
void expectCalls(const char* file, int line, const std::vector<std::string>& expected,
                 const std::vector<std::string>& actual);
#define EXPECT_CALLS(expected, actual) expectCalls(__FILE__, __LINE__, expected, actual)

#include "tests/support/record.h"

#include <gtest/gtest.h>

// Each test starts with the double's defaults: status 0, a library that writes nothing.
class VerifierTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_zelk::reset(); }
};
