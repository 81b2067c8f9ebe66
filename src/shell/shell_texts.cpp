#include "shell/shell_texts.h"

#include "common/sjis_text.h"
#include "shell/version_gate.h"

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
