// The message boxes, questions and the confirmation dialog as plain lines of
// text, for the runs that show no window: on a terminal, and unattended
// (--yes). Both programs print exactly these lines, so one script can read
// either. Texts are Shift_JIS; each line ends with '\n'.
#pragma once

#include <string>

constexpr int kPlainDialogTextCount = 4;  // installed version, install folder, update sentence, save note

// The question of a message box with OK and Cancel.
inline constexpr char kPlainOkQuestion[] = "OK?";
// The question of the confirmation dialog.
inline constexpr char kPlainApplyQuestion[] = "適用しますか？ (y: 適用 / n: 終了)";

// "[caption]" and the text.
std::string PlainMessage(const char* caption, const char* text);

// "[caption]", "現在のバージョン: ...", "インストール先: ...", the update
// sentence and the save-data note.
std::string PlainDialog(const char* caption, const char* const texts[kPlainDialogTextCount]);

// question and the answer given without asking: "OK? yes".
std::string PlainAnswered(const char* question, bool yes);
