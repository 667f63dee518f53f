// The string stack: one process-wide stack of temporary string values.
//
// Calling protocol: a function that builds temporary text takes StrMark() on
// entry and leaves through StrReturn(mark, result) (or StrKeep for several
// results, or StrRelease(mark) when it returns only a number). The caller
// finds each string result directly above the mark it held before the call.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "core/strdesc.h"

namespace rt {

using StrMarkT = std::uint16_t;

// Sizing before initialisation: number of slots (text block = slots * 1024).
// 65535 keeps the current setting. Default 128.
void StrStackConfigure(std::uint16_t slots);

// Takes the two blocks (tag 9) from the memory-block registry.
// 145 when they cannot be had.
ErrCode StrStackInit();
// Gives the blocks back.
void StrStackShutdown();
bool StrStackReady();

StrMarkT StrMark();
// Drops every value above m; a mark not below the slot count is ignored.
// Returns the new top.
StrMarkT StrRelease(StrMarkT m);
// Copies v onto the stack (overlap-safe). 145 when slots or text run out
// (the top is then unchanged). An error value is not pushed: its code is returned.
ErrCode StrPush(StrDesc v);
StrDesc StrTop();
// Release(m) then Push(v); v may lie in the released region.
StrDesc StrReturn(StrMarkT m, StrDesc v);
// Moves the referenced values down so they lie just above m in list order,
// updating each reference.
ErrCode StrKeep(StrMarkT m, std::initializer_list<StrDesc*> refs);
// Pushes a value of `len` bytes filled with `fill` (255 = not filled); the
// caller then writes into it through StrTopWritable().
ErrCode StrReserve(std::uint16_t len, std::uint8_t fill);
char* StrTopWritable();
// Writable free bytes above the top (free bytes - 4); pushes nothing.
struct StrScratchArea {
    char* ptr;
    std::uint32_t len;
};
StrScratchArea StrScratch();
// Shortens the top value in place (len <= current length).
void StrTopShrink(std::uint16_t len);

// Arrays of StrDesc kept on the stack (zeroed).
struct StrArrayT {
    std::uint16_t count = 0;
    StrDesc* items = nullptr;
};
StrArrayT StrArray(std::uint16_t count);
StrDesc StrArrayGet(StrArrayT a, std::uint16_t n);          // 1-based, "" outside
void StrArraySet(StrArrayT a, std::uint16_t i, StrDesc v);  // 0-based, ignored outside

// High-water marks and current usage, for benchmarks and diagnostics.
struct StrStackStats {
    std::uint16_t slots, top, maxSlotsUsed;
    std::uint32_t bytes, bytesUsed, maxBytesUsed;
};
StrStackStats StrStackInfo();

// RAII guard for callers outside the runtime core (tests, the platform edge):
// releases to the mark held at construction.
class StrScope {
public:
    StrScope() : m_(StrMark()) {}
    ~StrScope() { StrRelease(m_); }
    StrMarkT mark() const { return m_; }
    StrScope(const StrScope&) = delete;
    StrScope& operator=(const StrScope&) = delete;
private:
    StrMarkT m_;
};

}  // namespace rt
