// Names and texts of error codes, and the error dialog.
#pragma once
#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// The name of a code (code = 121 + position in the name list: 122 "User
// Canceled" ... 185 "Graphic Support Low"); "Undefined" outside the list.
StrDesc ErrorName(ErrCode code);

// The text of a code (pushed); 65535 means the recorded code (65535 again
// when none is recorded). 0 gives message 0005, 1-120 message 0008, 121 and
// 126 the error detail (the name when the detail is empty), others the name.
// Codes of 128 and above read "Error " + that text, then "(" + the recorded
// context's name + ")" when a context is recorded, then ": " + the detail
// when there is one: "Error File Not Found(Streams): D:\data\x.dat".
StrDesc ErrorText(ErrCode code);

// The error dialog: ErrorText in a box titled with message 0012 (kind 1)
// below 128, message 0013 (kind 3) otherwise; the error detail is removed
// afterwards. Returns `code`.
ErrCode ErrorShow(ErrCode code);

}  // namespace rt
