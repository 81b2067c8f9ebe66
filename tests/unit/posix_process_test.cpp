#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "common/sjis_text.h"
#include "platform/platform.h"
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

TEST_F(PosixProcessTest, ProgramPathUsesBackslashes) {
    char path[1024];
    ASSERT_EQ(OsGetProgramPath(path, sizeof path), 1);
    EXPECT_EQ(path[0], '\\');
    EXPECT_EQ(std::strchr(path, '/'), nullptr);
    EXPECT_STREQ(BaseNameOf(path), "posix_process_test");
    EXPECT_EQ(OsGetProgramPath(path, 4), 0) << "a path that does not fit";
}

TEST_F(PosixProcessTest, CurrentFolderTakesProgramPaths) {
    // The folder's native name is UTF-8; the program names it in Shift_JIS,
    // where 表 ends in a '\' byte.
    ASSERT_TRUE(fs::create_directories(fs::path(folder_) / fs::path(u8"表示") / "sub"));
    std::string folder = folder_;
    for (char& c : folder) {
        if (c == '/') c = '\\';
    }
    folder += "\\表示\\sub\\";
    ASSERT_EQ(OsSetCurrentFolder(folder.c_str()), 1);
    EXPECT_EQ(fs::current_path().filename(), "sub");
    EXPECT_EQ(OsSetCurrentFolder("\\no\\such\\folder"), 0);
}
