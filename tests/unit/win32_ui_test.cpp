#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform_dialog.h"

namespace {

int NeverApplied(PlatformWindow*) {
    ADD_FAILURE() << "a dialog that cannot open applies nothing";
    return kDialogApplied;
}

}  // namespace

// The test program holds no dialog 101: the dialog cannot open, which is its
// own result, not an answer of the player's.
TEST(Win32Ui, DialogThatCannotOpenIsNotShown) {
    const char* const texts[kDialogTextCount] = {"1.000", "C:\\Game", "", ""};
    EXPECT_EQ(OsRunUpdateDialog(reinterpret_cast<PlatformModule*>(::GetModuleHandleW(nullptr)), "caption", texts,
                                NeverApplied),
              kDialogNotShown);
}
