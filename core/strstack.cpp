#include "core/strstack.h"

#include <cstring>

#include "core/memblocks.h"

namespace rt {
namespace {

std::uint16_t g_slots = 128;
char* g_text = nullptr;     // text block, g_slots * 1024 bytes
StrDesc* g_table = nullptr; // slot table
std::uint32_t g_bytes = 0;
std::uint16_t g_top = 0;
char* g_next = nullptr;     // next free byte
std::uint16_t g_maxSlots = 0;
std::uint32_t g_maxBytes = 0;

inline std::uint32_t rounded(std::uint32_t len) { return (len + 3u) & ~3u; }

// Text end of the value in slot m (its start plus its rounded length).
inline char* endOfSlot(std::uint16_t m) {
    return const_cast<char*>(g_table[m].ptr) + rounded(g_table[m].len);
}

// Claims len bytes and a slot; returns the new value's address or null (145).
char* claim(std::uint16_t len) {
    if (!g_text) return nullptr;
    char* at = g_next;
    char* after = at + rounded(len);
    if (after >= g_text + g_bytes) return nullptr;
    if (g_top >= g_slots - 1) return nullptr;
    g_next = after;
    ++g_top;
    g_table[g_top] = StrDesc{at, len};
    if (g_top > g_maxSlots) g_maxSlots = g_top;
    std::uint32_t used = static_cast<std::uint32_t>(g_next - g_text);
    if (used > g_maxBytes) g_maxBytes = used;
    return at;
}

}  // namespace

void StrStackConfigure(std::uint16_t slots) {
    if (slots != 65535 && !g_text && slots >= 2) g_slots = slots;
}

ErrCode StrStackInit() {
    if (g_text) return err::OK;
    g_bytes = static_cast<std::uint32_t>(g_slots) * 1024u;
    g_text = MemAllocPtr(tag::STRINGSTACK, g_bytes);
    g_table = reinterpret_cast<StrDesc*>(MemAllocPtr(tag::STRINGSTACK, g_slots * sizeof(StrDesc)));
    if (!g_text || !g_table) {
        if (g_text) MemFree(tag::STRINGSTACK, g_text);
        if (g_table) MemFree(tag::STRINGSTACK, g_table);
        g_text = nullptr;
        g_table = nullptr;
        return err::OUTOFMEMORY;
    }
    g_table[0] = StrDesc{g_text, 0};
    g_top = 0;
    g_next = g_text;
    g_maxSlots = 0;
    g_maxBytes = 0;
    return err::OK;
}

void StrStackShutdown() {
    if (!g_text) return;
    MemFree(tag::STRINGSTACK, g_text);
    MemFree(tag::STRINGSTACK, g_table);
    g_text = nullptr;
    g_table = nullptr;
    g_top = 0;
    g_next = nullptr;
}

bool StrStackReady() { return g_text != nullptr; }

StrMarkT StrMark() { return g_top; }

StrMarkT StrRelease(StrMarkT m) {
    if (g_text && m < g_slots && m <= g_top) {
        g_next = endOfSlot(m);
        g_top = m;
    }
    return g_top;
}

ErrCode StrPush(StrDesc v) {
    if (v.isError()) return StrError(v);
    const char* src = v.ptr;
    char* at = claim(v.len);
    if (!at) return err::OUTOFMEMORY;
    if (v.len) std::memmove(at, src, v.len);
    return err::OK;
}

StrDesc StrTop() { return g_table ? g_table[g_top] : StrDesc{"", 0}; }

StrDesc StrReturn(StrMarkT m, StrDesc v) {
    if (v.isError()) {
        StrRelease(m);
        return v;
    }
    // The value may lie in the region being released: the push below moves it
    // downwards with an overlap-safe copy before anything overwrites it.
    StrRelease(m);
    ErrCode e = StrPush(v);
    return e ? StrErrorValue(e) : StrTop();
}

ErrCode StrKeep(StrMarkT m, std::initializer_list<StrDesc*> refs) {
    if (g_top != m) {
        for (StrDesc* r : refs) {
            if (r->isError()) continue;
            ErrCode e = StrPush(*r);
            if (e) return e;
            *r = StrTop();
        }
    }
    StrRelease(m);
    for (StrDesc* r : refs) {
        if (r->isError()) continue;
        ErrCode e = StrPush(*r);
        if (e) return e;
        *r = StrTop();
    }
    return err::OK;
}

ErrCode StrReserve(std::uint16_t len, std::uint8_t fill) {
    char* at = claim(len);
    if (!at) return err::OUTOFMEMORY;
    if (fill != 255) std::memset(at, fill, len);
    return err::OK;
}

char* StrTopWritable() { return g_table ? const_cast<char*>(g_table[g_top].ptr) : nullptr; }

StrScratchArea StrScratch() {
    if (!g_text) return {nullptr, 0};
    std::uint32_t freeBytes = static_cast<std::uint32_t>(g_text + g_bytes - g_next);
    return {g_next, freeBytes > 4 ? freeBytes - 4 : 0};
}

void StrTopShrink(std::uint16_t len) {
    if (g_table && g_top > 0 && len <= g_table[g_top].len) {
        g_table[g_top].len = len;
        g_next = endOfSlot(g_top);
    }
}

StrArrayT StrArray(std::uint16_t count) {
    // Stack values are only 4-aligned: reserve slack and align the array inside.
    std::uint32_t bytes = static_cast<std::uint32_t>(count) * sizeof(StrDesc) + alignof(StrDesc);
    if (bytes > 65535 || StrReserve(static_cast<std::uint16_t>(bytes), 0)) return {};
    auto addr = reinterpret_cast<std::uintptr_t>(StrTopWritable());
    addr = (addr + alignof(StrDesc) - 1) & ~(static_cast<std::uintptr_t>(alignof(StrDesc)) - 1);
    return StrArrayT{count, reinterpret_cast<StrDesc*>(addr)};
}

StrDesc StrArrayGet(StrArrayT a, std::uint16_t n) {
    if (n == 0 || n > a.count || !a.items) return StrDesc{"", 0};
    StrDesc v = a.items[n - 1];
    return v.ptr || v.len ? v : StrDesc{"", 0};
}

void StrArraySet(StrArrayT a, std::uint16_t i, StrDesc v) {
    if (a.items && i < a.count) a.items[i] = v;
}

StrStackStats StrStackInfo() {
    return StrStackStats{g_slots, g_top, g_maxSlots, g_bytes,
                         g_text ? static_cast<std::uint32_t>(g_next - g_text) : 0u, g_maxBytes};
}

}  // namespace rt
