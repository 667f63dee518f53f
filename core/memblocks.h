// The registry of guarded memory blocks: the only source of long-lived
// memory besides the StringArea. Each block carries an owner tag and four
// guard bytes (00 21 21 00) after its end, checked when it is given back.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

namespace tag {
constexpr std::uint16_t STRINGAREA = 1;
constexpr std::uint16_t VALUEARRAYS = 3;  // the runtime's growable value arrays
constexpr std::uint16_t STRINGSTACK = 9;
constexpr std::uint16_t DATAFILES = 10;
constexpr std::uint16_t SQLLISTS = 15;
}  // namespace tag

using MemHandle = std::uint16_t;
constexpr MemHandle MEM_NOSLOT = 65535;

struct MemSlot {
    std::uint16_t tag = 0;
    std::uint32_t size = 0;
    char* ptr = nullptr;  // null = free slot
};

// Sizing before initialisation (65535 keeps the current setting; default 64).
void MemConfigure(std::uint16_t slots);
// 124 when already initialised, 145 when the table cannot be had.
ErrCode MemInit();
bool MemReady();
// Releases every block and the table itself (no checks).
void MemShutdown();

// First free slot; size + 4 bytes; guard written; filled with `fill` unless 255.
// 65535 when no slot is free or the heap refuses (the slot then stays free).
MemHandle MemAlloc(std::uint16_t tag, std::uint32_t size, std::uint8_t fill);
// Pointer form: filled with 0; null on failure.
char* MemAllocPtr(std::uint16_t tag, std::uint32_t size);
// 163 when the handle is not below the slot count.
ErrCode MemResolve(MemHandle h, MemSlot& out);
// 154 unknown pointer, 180 guard overwritten (slot kept), 141 wrong tag.
ErrCode MemFree(std::uint16_t tag, const void* ptr);
// 168 when offset + length exceeds the block.
ErrCode MemStore(void* ptr, std::uint32_t offset, StrDesc data);
// New block of new size, copy of the used bytes, old block released; null on failure.
char* MemResize(std::uint16_t tag, void* old, std::uint32_t used, std::uint32_t newSize);
// Number of slots and the highest slot in use (65535 when none).
std::uint16_t MemSlotCount();
std::uint16_t MemHighestUsed();

// A growable-in-place buffer over one block: appends fail with 168 when full,
// and a buffer in error accepts nothing more.
struct MemBuffer {
    char* ptr = nullptr;
    std::uint16_t capacity = 0;
    std::uint16_t used = 0;
    ErrCode error = 0;
};
ErrCode MemBufferAppend(MemBuffer& b, StrDesc data, bool align4);

}  // namespace rt
