// Every text the updater shell shows: captions, messages and the run-time
// texts of the confirmation dialog. Formatted texts are cut at a character
// boundary when a long AppTitle would overflow them.
#pragma once

#include <cstddef>

#include "common/failure_note.h"
#include "common/version.h"
#include "shell/install_state.h"

constexpr size_t kMessageSize = 260;               // a caption or message holds at most 259 bytes
constexpr size_t kInstalledVersionTextSize = 16;   // "4294967.295" and a zero fit
constexpr size_t kCauseLineSize = 384;             // a cause line's words and a 259-byte path fit

inline constexpr char kUpdaterCaption[] = "アップデータ";
inline constexpr char kApplyAgainQuestion[] = "既にこのパッチは適用済みです。\n更に上書きで適用しますか？";
inline constexpr char kRegistryErrorMessage[] = "レジストリエラー";
// Shown when a file of the update cannot be written; the version stays.
inline constexpr char kWriteFailedMessage[] =
    "更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。";
inline constexpr char kSaveRemovalNote[] =
    "※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータは削除されます。";
inline constexpr char kSaveCarryOverNote[] =
    "※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータの引き継ぎが可能です。";

// "『AppTitle』アップデート": the caption once the script is loaded.
void FormatTitledCaption(char (&caption)[kMessageSize], const char* appTitle);

// The message shown when the registry names no install folder.
void FormatNotInstalledMessage(char (&message)[kMessageSize], const char* appTitle);

// The message shown when the registry names an install folder whose path has
// characters Shift_JIS lacks and no short form: folder as the registry names
// it, '?' standing for those characters.
void FormatUnusableFolderMessage(char (&message)[kMessageSize], const char* folder);

// The version an update installs, as the dialog names it: "Ver.1.02" for
// 1020, "Ver.1.025" for 1025 (three digits when the last one is not 0).
void FormatTargetVersionText(char (&text)[kVersionTextFieldSize], VersionNumber version);

// The refusal for an install below supportVersion. The version is always
// shown with two digits: 1015 reads Ver.1.01.
void FormatTooOldMessage(char (&message)[kMessageSize], VersionNumber supportVersion);

// The installed version as dialog control 1000 shows it: the major version
// in decimal, a dot and three digits ("1.020", "10.000").
void FormatInstalledVersionText(char (&text)[kInstalledVersionTextSize], VersionNumber version);

// "『AppTitle』 を Ver.1.02 にアップデートします。" for dialog control 1002.
void FormatUpdateSentence(char (&sentence)[kMessageSize], const char* appTitle,
                          const char* targetVersionText);

// The save-data note of dialog control 1003: the removal note when the update
// resets the save data, else the carry-over note.
const char* SaveDataNote(VersionNumber installed, VersionNumber saveVersion);

// The one line that tells the player why the update did not go through,
// from what was noted: the disk is full (with what the update needs and the
// volume has free, when known), another program uses a file, access is
// denied, the update data is damaged, the install folder does not exist; the
// file, member or folder named after it. Returns 0 with line empty for a
// cause without words.
int FormatCauseLine(char (&line)[kCauseLineSize], const FailureNote& note);
