#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "common/sjis_text.h"
#include "platform/platform_journal.h"
#include "platform/platform_process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

class PosixProcessTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        runtime_ = std::make_unique<ScopedEnvironment>("XDG_RUNTIME_DIR", folder_.c_str());
    }

    std::unique_ptr<ScopedEnvironment> runtime_;
};

}  // namespace

// A lock on a file description is refused to any other description, even in
// the same process, so a second take fails while the first is held.
TEST_F(PosixProcessTest, SecondTakeOfTheMutexFailsUntilReleased) {
    PlatformMutex* first = nullptr;
    ASSERT_EQ(OsTakeInstanceMutex("VELDOROUPDATE Ver1.10", &first), 1);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(fs::exists(folder_ + "/VELDOROUPDATE Ver1.10.lock"));

    PlatformMutex* second = nullptr;
    EXPECT_EQ(OsTakeInstanceMutex("VELDOROUPDATE Ver1.10", &second), 0);
    EXPECT_EQ(second, nullptr);
    PlatformMutex* other = nullptr;
    EXPECT_EQ(OsTakeInstanceMutex("another name", &other), 1);
    OsReleaseInstanceMutex(other);

    OsReleaseInstanceMutex(first);
    EXPECT_EQ(OsTakeInstanceMutex("VELDOROUPDATE Ver1.10", &second), 1);
    OsReleaseInstanceMutex(second);
}

TEST_F(PosixProcessTest, EnterProgramFolderMakesItCurrentAndNamesIt) {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    char folder[1024];
    ASSERT_EQ(OsEnterProgramFolder(folder, sizeof folder), 1);
    EXPECT_EQ(fs::current_path(), program.parent_path());
    std::string expected = program.parent_path().string() + "/";
    for (char& c : expected) {
        if (c == '/') c = '\\';
    }
    EXPECT_EQ(std::string(folder), expected);
    // A path that does not fit is left to relative names; the folder is
    // still entered.
    fs::current_path(folder_);
    EXPECT_EQ(OsEnterProgramFolder(folder, 4), 1);
    EXPECT_STREQ(folder, "");
    EXPECT_EQ(fs::current_path(), program.parent_path());
}
