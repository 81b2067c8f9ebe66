#include "common/plain_dialog.h"

std::string PlainMessage(const char* caption, const char* text) {
    return std::string("[") + caption + "]\n" + text + "\n";
}

std::string PlainDialog(const char* caption, const char* const texts[kPlainDialogTextCount]) {
    return std::string("[") + caption + "]\n" + "現在のバージョン: " + texts[0] + "\n" + "インストール先: " +
           texts[1] + "\n" + texts[2] + "\n" + texts[3] + "\n";
}

std::string PlainAnswered(const char* question, bool yes) {
    return std::string(question) + (yes ? " yes\n" : " no\n");
}
