// The error record and the error detail.
//
// The record keeps the first error of 128 or more (code and context) until it
// is cleared or forced; the detail is a free text (a file name, an expression,
// a name) held in StringArea table 9 entry 9 that explains the last failure.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

// condition 0: nothing, returns 0. Otherwise stores (code, context) when the
// record holds 0 and code >= 128, or unconditionally when condition is 2.
// Returns `result`.
std::uint32_t ErrorRecordSet(int condition, std::uint16_t context, ErrCode code, std::uint32_t result);
// Code in the low half, context in the high half.
std::uint32_t ErrorRecordGet();
inline ErrCode ErrorRecordCode() { return static_cast<ErrCode>(ErrorRecordGet() & 0xFFFF); }
inline std::uint16_t ErrorRecordContext() { return static_cast<std::uint16_t>(ErrorRecordGet() >> 16); }
// Clears the record and the detail.
void ErrorRecordClear();

// Stores `text` as the error detail and returns `code`. With append, the old
// detail (cut at its last CR while longer than 1024 bytes) stays in front and
// the new text follows after CR LF.
ErrCode ErrorDetail(ErrCode code, StrDesc text, bool append = false);
// The current detail (a view into the StringArea; "" when none).
StrDesc ErrorDetailGet();
void ErrorDetailClear();

// Name of a context (1-22), "" for 0 or out of range.
const char* ErrorContextName(std::uint16_t context);

}  // namespace rt
