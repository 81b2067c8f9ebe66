// Helpers shared by the unit tests: a throw-away working folder and small
// file utilities that go through the platform layer, so that names with
// Shift_JIS characters are written the same way the program reads them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// The file-system path of a program path (Shift_JIS, '\' separators), for
// checks through std::filesystem. Converted as the platform layer converts
// it, so 表示.txt is found whatever the system's code page is. Empty when
// the text cannot be converted.
std::filesystem::path NativeTestPath(const char* path);

// One directory entry of a package built by hand.
struct RawEntry {
    std::string name;  // the name field's bytes; padded with zeros to the width
    uint32_t offset;   // from the start of the data area
    uint32_t size;     // bytes
};

// Package bytes built by hand, independently of the package writer, so that a
// fault shared by writer and reader cannot hide. marker is header byte 11
// ('2' for long names); count is the member count the header claims, by
// default the number of entries.
std::string RawPackage(char marker, const std::vector<RawEntry>& entries, const std::string& data,
                       std::optional<uint32_t> count = std::nullopt);

// Package bytes as updpack create writes them, with their digest list: the
// members (name, content) in order, long names. Empty when the writer fails.
std::string DigestedPackage(const std::vector<std::pair<std::string, std::string>>& members);

// The largest single allocation made since the previous call, in bytes, and
// starts counting anew. Only a sanitized build can tell; elsewhere it is
// always 0.
size_t TakeLargestAllocation();

#ifndef _WIN32
// Sets an environment variable (removes it for nullptr) for one test and puts
// the old value back when destroyed.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedEnvironment() { Set(old_ ? old_->c_str() : nullptr); }

private:
    void Set(const char* value) { value != nullptr ? setenv(name_, value, 1) : unsetenv(name_); }

    const char* name_;
    std::optional<std::string> old_;
};
#endif

// Appends one record of texts to its plan table, as a script line would.
// Returns true when every text fits its field and the table had room.
bool AddCopyEntry(const char* standardSource, const char* addContentsSource, const char* destination);
bool AddDeleteEntry(const char* fileName);
bool AddRenameEntry(const char* oldName, const char* newName);
bool AddCreateFolderEntry(const char* folderName);
bool AddShortcutEntry(const char* linkName, const char* target, const char* arguments, const char* description,
                      const char* iconFile, const char* subfolder);
