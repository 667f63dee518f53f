// The message catalogue and message boxes.
//
// Every user-visible text is a numbered message addressed by a four-digit
// string ("0031"); a caller may append its own default after a blank
// ("0031 Process not defined"). Texts come from the language file
// VK_LANG_<language>.MSJ when one is loaded, else from the caller's default,
// else from the compiled-in English texts.
//
// Language file: one message per line, columns 1-4 the number, column 5 a
// blank, the text from column 6; backslash-n stands for CR LF. Lines not
// starting with four digits are ignored, numbers must ascend, numbers missing
// between two lines are empty texts. Only files of 1-255 lines are used, and
// only the 256 numbers from the first one are kept. The file is looked for
// once, at the first lookup, in the data folders (environment string 5, the
// current folder when empty), named with the language code (environment
// string 4; when none is set, the first VK_LANG_*.MSJ in name order).
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

// The text of a message (pushed). Within a loaded file's numbers the file's
// text is used, "" for a number without a line; outside them, and without a
// file, the caller's default (from the sixth character of `code`) or the
// compiled-in text ("" when there is none).
StrDesc MsgText(StrDesc code);

// Catalogue load state: 0 not tried, 1 tried without result, 2 loaded.
std::uint16_t MsgCatalogState();
// Forgets the catalogue, so the next lookup loads it again (the runtime core
// calls this when it is initialised).
void MsgCatalogReset();

// Message box kinds.
constexpr int MSGBOX_INFO = 0;          // OK, information
constexpr int MSGBOX_WARNING = 1;       // OK, exclamation
constexpr int MSGBOX_OKCANCEL = 2;      // OK/Cancel, information
constexpr int MSGBOX_ERROR = 3;         // OK, error
constexpr int MSGBOX_RETRYCANCEL = 4;   // Retry/Cancel, error
constexpr int MSGBOX_YESNO = 5;         // Yes/No, information
constexpr int MSGBOX_YESNOCANCEL = 6;   // Yes/No/Cancel, information

// The Win32 style and the default title message of a kind (other kinds: OK, "0014").
struct MsgBoxKind {
    unsigned style;
    const char* title;
};
MsgBoxKind MsgBoxKindOf(int kind);

// Shows a message box (owned by the main window; without one, pending window
// events are discarded first) with the kind's default title when title is
// empty. Returns the first character of item 1 of message 0011 ("Y") for OK,
// Retry or Yes, the first character of item 2 ("N") for No, 3 otherwise. An
// error value as text shows that error's text.
int MsgBox(StrDesc text, StrDesc title, int kind);
// A yes/no question (kind 5): 1 when the answer is the yes character.
int MsgAsk(StrDesc text);

}  // namespace rt
