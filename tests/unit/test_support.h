// Helpers shared by the unit tests: a throw-away working folder and small
// file utilities that go through the platform layer, so that names with
// Shift_JIS characters are written the same way the program reads them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// A test fixture that runs each test in a fresh empty folder made the current
// directory, and removes it afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string folder_;    // the folder, as a native path
    std::string previous_;  // the current directory before the test
};

// Writes bytes to a file named by a program path (Shift_JIS, '\' separators).
// Returns true on success.
bool WriteTestFile(const char* path, const std::string& bytes);

// Reads a whole file named by a program path; false when it cannot be read.
bool ReadTestFile(const char* path, std::string* bytes);

// Creates a folder named by a program path.
bool MakeTestFolder(const char* path);

// Package bytes in the long-name layout holding the given (name, content)
// members in order, built by hand rather than by the package writer.
std::string TestPackage(const std::vector<std::pair<std::string, std::string>>& members);
