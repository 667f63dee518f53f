// The data-file layer's links to runtime modules it needs but that are not
// in the runtime yet: the duplicate-key layer and the condition translation.
//
// Each function is the single place the data-file layer reaches that module;
// when the module joins the runtime the body forwards to it and nothing else
// changes. Until then each one does the least that keeps the layer sound
// (stated per function).
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt::dfbridge {

// ---- Duplicate key values ----------------------------------------------------------------
// True when the key value occurs in more than one row (no multi-read row set,
// value not empty); until the duplicate-key layer is in: false.
bool hasDuplicates(std::uint16_t table, std::uint16_t key, StrDesc value);
// Starts a multi-read over the key value after a read with `flags`.
ErrCode startMultiRead(std::uint16_t table, StrDesc value, std::uint16_t flags);
void endMultiRead(std::uint16_t table);
// After a rewrite: re-positions the multi-read on the saved row.
ErrCode locateInMultiRead(std::uint16_t table);
// Positioned rewrite / delete of the row equal to the record as read.
ErrCode updateCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc value);
ErrCode deleteCurrentDuplicate(std::uint16_t table, std::uint16_t key, StrDesc value);

// ---- Conditions -------------------------------------------------------------------------------
// The condition of the language as an SQL search condition (pushed); the
// error value of the code when it cannot be translated. Until the translator
// is in: "" (no restriction on the server; conditions are still evaluated
// locally where the layer evaluates them).
StrDesc translateCondition(StrDesc condition);

}  // namespace rt::dfbridge
