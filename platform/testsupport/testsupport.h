// Support for the project's GoogleTest executables.
//
// Every test runs in a fresh temporary folder that is also its HOME, with its own
// XDG folders below it and the current directory set to it, so no test touches the
// user's files or sees another test's.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace adtest {

// The current test's own folder (HOME). Removed after the test unless
// AD_KEEP_TEST_DIRS is set in the environment.
std::filesystem::path testDir();

// A folder in the build tree where tests leave files worth looking at afterwards
// (screenshots, rendered pages). Kept between runs.
std::filesystem::path artefactDir();

// True when the named program is on PATH (or is an existing absolute path).
bool haveTool(const std::string& name);

// Runs a program with an argument vector (no shell). Returns its exit code, or -1
// when it could not be started or was killed. Standard output goes to *out when given;
// standard error to *err when given (otherwise it is discarded).
int runProgram(const std::vector<std::string>& argv, std::string* out = nullptr,
               std::string* err = nullptr);

// Reads and writes whole files as bytes.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// The exit code of a test executable that skips all its tests (CTest's SKIP_RETURN_CODE).
constexpr int kSkipCode = 77;

// Whether a missing outside tool fails the test (CI) or skips it (elsewhere).
bool peersRequired();

}  // namespace adtest

// Skips the test (with the reason printed) when an outside tool is missing, or
// fails it when ALBUMDESK_CI_PEERS is set, as in CI.
#define AD_REQUIRE_TOOL(name)                                                          \
  do {                                                                                 \
    if (!adtest::haveTool(name)) {                                                     \
      if (adtest::peersRequired()) {                                                   \
        FAIL() << "outside tool missing: " << (name);                                  \
      } else {                                                                         \
        GTEST_SKIP() << "outside tool missing: " << (name);                            \
      }                                                                                \
    }                                                                                  \
  } while (0)
