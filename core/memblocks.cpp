#include "core/memblocks.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace rt {
namespace {

constexpr unsigned char kGuard[4] = {0x00, 0x21, 0x21, 0x00};

std::uint16_t g_slotCount = 64;
MemSlot* g_slots = nullptr;

int findSlot(const void* ptr) {
    if (!g_slots || !ptr) return -1;
    for (int i = 0; i < g_slotCount; ++i)
        if (g_slots[i].ptr == ptr) return i;
    return -1;
}

}  // namespace

void MemConfigure(std::uint16_t slots) {
    if (slots != 65535 && !g_slots) g_slotCount = slots;
}

ErrCode MemInit() {
    if (g_slots) return err::UNDEFWARNING;  // 124: already initialised
    g_slots = static_cast<MemSlot*>(std::calloc(g_slotCount ? g_slotCount : 1, sizeof(MemSlot)));
    return g_slots ? err::OK : err::OUTOFMEMORY;
}

bool MemReady() { return g_slots != nullptr; }

void MemShutdown() {
    if (!g_slots) return;
    for (int i = 0; i < g_slotCount; ++i) std::free(g_slots[i].ptr);
    std::free(g_slots);
    g_slots = nullptr;
}

MemHandle MemAlloc(std::uint16_t tag, std::uint32_t size, std::uint8_t fill) {
    if (!g_slots) return MEM_NOSLOT;
    for (int i = 0; i < g_slotCount; ++i) {
        if (g_slots[i].ptr) continue;
        char* p = static_cast<char*>(std::malloc(static_cast<std::size_t>(size) + 4));
        if (!p) return MEM_NOSLOT;
        std::memcpy(p + size, kGuard, 4);
        if (fill != 255) std::memset(p, fill, size);
        g_slots[i] = MemSlot{tag, size, p};
        return static_cast<MemHandle>(i);
    }
    return MEM_NOSLOT;
}

char* MemAllocPtr(std::uint16_t tag, std::uint32_t size) {
    MemHandle h = MemAlloc(tag, size, 0);
    return h == MEM_NOSLOT ? nullptr : g_slots[h].ptr;
}

ErrCode MemResolve(MemHandle h, MemSlot& out) {
    if (!g_slots || h >= g_slotCount) return err::BADINPUTDATA;
    out = g_slots[h];
    return err::OK;
}

ErrCode MemFree(std::uint16_t tag, const void* ptr) {
    int i = findSlot(ptr);
    if (i < 0) return err::MEMORYALLOCERR;
    MemSlot& s = g_slots[i];
    if (std::memcmp(s.ptr + s.size, kGuard, 4) != 0) return err::MEMORYOVERFLOW;
    if (s.tag != tag) return err::INTERNALERROR;
    std::free(s.ptr);
    s = MemSlot{};
    return err::OK;
}

ErrCode MemStore(void* ptr, std::uint32_t offset, StrDesc data) {
    int i = findSlot(ptr);
    if (i < 0) return err::MEMORYALLOCERR;
    if (data.isError()) return StrError(data);
    if (static_cast<std::uint64_t>(offset) + data.len > g_slots[i].size) return err::DATAOUTBOUND;
    std::memmove(g_slots[i].ptr + offset, data.ptr, data.len);
    return err::OK;
}

char* MemResize(std::uint16_t tag, void* old, std::uint32_t used, std::uint32_t newSize) {
    char* p = MemAllocPtr(tag, newSize);
    if (!p) return nullptr;
    if (old) {
        std::memcpy(p, old, used < newSize ? used : newSize);
        MemFree(tag, old);
    }
    return p;
}

std::uint16_t MemSlotCount() { return g_slotCount; }

std::uint16_t MemHighestUsed() {
    if (!g_slots) return 65535;
    for (int i = g_slotCount - 1; i >= 0; --i)
        if (g_slots[i].ptr) return static_cast<std::uint16_t>(i);
    return 65535;
}

ErrCode MemBufferAppend(MemBuffer& b, StrDesc data, bool align4) {
    if (b.error) return b.error;
    if (data.isError()) return StrError(data);
    std::uint32_t at = b.used;
    if (align4) at = (at + 3u) & ~3u;
    if (at + data.len > b.capacity) {
        b.error = err::DATAOUTBOUND;
        return b.error;
    }
    std::memmove(b.ptr + at, data.ptr, data.len);
    b.used = static_cast<std::uint16_t>(at + data.len);
    return err::OK;
}

}  // namespace rt
