#include "shell/shell_texts.h"

#include "common/sjis_text.h"
#include "shell/version_gate.h"

namespace {

constexpr uint64_t kBytesPerMegabyte = uint64_t{1} << 20;

// bytes in megabytes with one decimal, as "12.1 MB": rounded up, or down.
void FormatMegabytes(char (&text)[32], uint64_t bytes, bool roundUp) {
    const uint64_t tenths = (bytes * 10 + (roundUp ? kBytesPerMegabyte - 1 : 0)) / kBytesPerMegabyte;
    FormatText(text, sizeof text, "%llu.%llu MB", static_cast<unsigned long long>(tenths / 10),
               static_cast<unsigned long long>(tenths % 10));
}

// The words for cause; nullptr for a cause without words.
const char* CauseWords(int cause) {
    switch (cause) {
    case kCauseDiskFull: return "ディスクの空き容量が足りません。";
    case kCauseInUse: return "他のプログラムがファイルを使用しています。";
    case kCauseDenied: return "ファイルへのアクセスが拒否されました。";
    case kCauseDamaged: return "更新データが破損しています。";
    case kCauseFolderMissing: return "インストール先のフォルダが見つかりません。";
    default: return nullptr;
    }
}

}  // namespace

void FormatTitledCaption(char (&caption)[kMessageSize], const char* appTitle) {
    FormatText(caption, sizeof caption, "『%s』アップデート", appTitle);
}

void FormatNotInstalledMessage(char (&message)[kMessageSize], const char* appTitle) {
    FormatText(message, sizeof message,
               "『%s』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。",
               appTitle);
}

void FormatUnusableFolderMessage(char (&message)[kMessageSize], const char* folder) {
    FormatText(message, sizeof message,
               "インストール先のフォルダ名に使用できない文字が含まれています。処理を中断します。[%s]", folder);
}

void FormatTargetVersionText(char (&text)[kVersionTextFieldSize], VersionNumber version) {
    const VersionNumber major = version / 1000;
    const VersionNumber thousandths = version % 1000;
    if (version % 10 != 0) {
        FormatText(text, sizeof text, "Ver.%u.%03u", major, thousandths);
    } else {
        FormatText(text, sizeof text, "Ver.%u.%02u", major, thousandths / 10);
    }
}

void FormatTooOldMessage(char (&message)[kMessageSize], VersionNumber supportVersion) {
    FormatText(message, sizeof message,
               "このパッチを適用する前に Ver.%u.%02u 以降にアップデートを行って下さい。",
               supportVersion / 1000, supportVersion % 1000 / 10);
}

void FormatInstalledVersionText(char (&text)[kInstalledVersionTextSize], VersionNumber version) {
    FormatText(text, sizeof text, "%u.%03u", version / 1000, version % 1000);
}

void FormatUpdateSentence(char (&sentence)[kMessageSize], const char* appTitle,
                          const char* targetVersionText) {
    FormatText(sentence, sizeof sentence, "『%s』 を %s にアップデートします。", appTitle,
               targetVersionText);
}

const char* SaveDataNote(VersionNumber installed, VersionNumber saveVersion) {
    return KeepsSaveData(installed, saveVersion) ? kSaveCarryOverNote : kSaveRemovalNote;
}

int FormatCauseLine(char (&line)[kCauseLineSize], const FailureNote& note) {
    line[0] = '\0';
    const char* words = CauseWords(note.cause);
    if (words == nullptr) return 0;
    if (note.cause == kCauseDiskFull && note.neededBytes != 0) {
        // Needed rounded up and free down: the two never read alike.
        char needed[32];
        char free[32];
        FormatMegabytes(needed, note.neededBytes, true);
        FormatMegabytes(free, note.freeBytes, false);
        FormatText(line, sizeof line, "%s[必要 %s、空き %s]", words, needed, free);
    } else if (note.cause == kCauseDiskFull || note.name[0] == '\0') {
        CopyText(line, words);
    } else {
        FormatText(line, sizeof line, "%s[%s]", words, note.name);
    }
    return 1;
}
