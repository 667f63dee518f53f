#include "core/strarea.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/errors.h"
#include "core/memblocks.h"
#include "core/strstack.h"

namespace rt {
namespace {

std::uint16_t g_tables = AREA_TABLES;
std::uint16_t g_entries = AREA_ENTRIES;
std::uint32_t g_size = AREA_BYTES;

char* g_block = nullptr;
std::uint16_t* g_counts = nullptr;   // per table
std::uint16_t* g_lengths = nullptr;  // per entry position
char* g_text = nullptr;
std::uint32_t g_textMax = 0;
std::uint16_t g_entriesUsed = 0;
std::uint32_t g_textUsed = 0;

// Prefix sums kept between calls: g_first[t] is the first entry position of
// table t for t <= g_firstValid, g_offsets[p] the text offset of entry p for
// p <= g_offsetsValid. A change at table t or entry p lowers the mark to it,
// and the sums are extended from the mark on demand.
std::unique_ptr<std::uint32_t[]> g_first;
std::unique_ptr<std::uint32_t[]> g_offsets;
std::uint32_t g_firstValid = 0;
std::uint32_t g_offsetsValid = 0;

void tableChanged(std::uint32_t table) {
    if (table < g_firstValid) g_firstValid = table;
}

void entryChanged(std::uint32_t pos) {
    if (pos < g_offsetsValid) g_offsetsValid = pos;
}

std::uint32_t firstPos(std::uint16_t table) {
    for (; g_firstValid < table; ++g_firstValid) g_first[g_firstValid + 1] = g_first[g_firstValid] + g_counts[g_firstValid];
    return g_first[table];
}

std::uint32_t textOffset(std::uint32_t pos) {
    for (; g_offsetsValid < pos; ++g_offsetsValid)
        g_offsets[g_offsetsValid + 1] = g_offsets[g_offsetsValid] + g_lengths[g_offsetsValid];
    return g_offsets[pos];
}

ErrCode failStore(ErrCode code) {
    ErrorRecordSet(1, ctx::STRINGASSIGN, err::LOADSTRERROR, 0);
    return code;
}

// The store proper; v must not point into the area.
ErrCode store(std::uint16_t t, std::uint16_t i, StrDesc v) {
    if (!g_block) return failStore(err::STROUTBOUND);
    if (t >= g_tables) return failStore(err::STROUTBOUND);
    std::uint32_t first = firstPos(t);
    std::uint32_t p = first + i;
    if (p >= g_entries) return failStore(err::STROUTBOUND);
    std::uint16_t count = g_counts[t];
    if (i >= count) {
        std::uint32_t k = static_cast<std::uint32_t>(i) - count + 1;
        if (!(g_entriesUsed + k < g_entries) || !(g_textUsed + v.len < g_textMax))
            return failStore(err::STROUTBOUND);
        // Open k empty lengths at the end of table t.
        std::uint32_t end = first + count;
        std::memmove(g_lengths + end + k, g_lengths + end, (g_entriesUsed - end) * sizeof(std::uint16_t));
        std::memset(g_lengths + end, 0, k * sizeof(std::uint16_t));
        entryChanged(end);
        tableChanged(t);
        g_entriesUsed = static_cast<std::uint16_t>(g_entriesUsed + k);
        g_counts[t] = static_cast<std::uint16_t>(i + 1);
    } else if (!(g_textUsed + v.len - g_lengths[p] < g_textMax)) {
        return failStore(err::STROUTBOUND);
    }
    std::uint32_t off = textOffset(p);
    std::uint16_t old = g_lengths[p];
    std::uint32_t tail = g_textUsed - (off + old);
    std::memmove(g_text + off + v.len, g_text + off + old, tail);
    if (v.len) std::memcpy(g_text + off, v.ptr, v.len);
    g_lengths[p] = v.len;
    entryChanged(p);
    g_textUsed = g_textUsed + v.len - old;
    return err::OK;
}

}  // namespace

void AreaConfigure(std::uint16_t tables, std::uint16_t entries, std::uint32_t bytes) {
    if (g_block) return;
    if (tables != 65535) g_tables = tables;
    if (entries != 65535) g_entries = entries;
    if (bytes != 65535) g_size = bytes;
}

ErrCode AreaInit() {
    if (g_block) return err::OK;
    std::uint32_t header = 2u * (static_cast<std::uint32_t>(g_tables) + g_entries);
    if (header >= g_size) {
        ErrorRecordSet(1, ctx::STRINGINIT, err::STROUTBOUND, 0);
        return err::STROUTBOUND;
    }
    g_first.reset(new (std::nothrow) std::uint32_t[g_tables + 1u]);
    g_offsets.reset(new (std::nothrow) std::uint32_t[g_entries + 1u]);
    if (!g_first || !g_offsets) {
        g_first.reset();
        g_offsets.reset();
        return err::OUTOFMEMORY;
    }
    g_block = MemAllocPtr(tag::STRINGAREA, g_size);
    if (!g_block) return err::OUTOFMEMORY;
    g_counts = reinterpret_cast<std::uint16_t*>(g_block);
    g_lengths = g_counts + g_tables;
    g_text = g_block + header;
    g_textMax = g_size - header;
    g_entriesUsed = 0;
    g_textUsed = 0;
    std::memset(g_counts, 0, g_tables * sizeof(std::uint16_t));
    g_first[0] = 0;
    g_offsets[0] = 0;
    g_firstValid = 0;
    g_offsetsValid = 0;
    return err::OK;
}

void AreaShutdown() {
    if (!g_block) return;
    MemFree(tag::STRINGAREA, g_block);
    g_block = nullptr;
}

bool AreaReady() { return g_block != nullptr; }

StrDesc AreaGet(std::uint16_t table, std::uint16_t index) {
    if (!g_block || table >= g_tables) {
        ErrorRecordSet(1, ctx::DynStrings, err::STROUTBOUND, 0);
        return StrErrorValue(err::STROUTBOUND);
    }
    if (index >= g_counts[table]) return StrDesc{g_text, 0};
    std::uint32_t p = firstPos(table) + index;
    return StrDesc{g_text + textOffset(p), g_lengths[p]};
}

ErrCode AreaSet(std::uint16_t table, std::uint16_t index, StrDesc v) {
    if (v.isError()) return StrError(v);
    // The area's text moves during the store and v may point into it: work
    // from a copy on the string stack.
    StrMarkT m = StrMark();
    ErrCode e = StrPush(v);
    if (e) return failStore(e);
    e = store(table, index, StrTop());
    StrRelease(m);
    return e;
}

ErrCode AreaRemove(std::uint16_t table, std::uint16_t index) {
    if (!g_block || table >= g_tables) return failStore(err::STROUTBOUND);
    if (g_counts[table] == 0) return err::OK;
    ErrCode e = store(table, index, StrDesc{"", 0});
    if (e) return e;
    std::uint32_t p = firstPos(table) + index;
    std::memmove(g_lengths + p, g_lengths + p + 1, (g_entriesUsed - p - 1) * sizeof(std::uint16_t));
    entryChanged(p);
    tableChanged(table);
    g_counts[table]--;
    g_entriesUsed--;
    return err::OK;
}

ErrCode AreaPush(std::uint16_t table, StrDesc v) {
    if (!g_block || table >= g_tables) return failStore(err::STROUTBOUND);
    return AreaSet(table, g_counts[table], v);
}

StrDesc AreaPeek(std::uint16_t table) {
    if (!g_block || table >= g_tables) return AreaGet(table, 0);
    std::uint16_t n = g_counts[table];
    if (n == 0) return StrDesc{g_text, 0};
    return AreaGet(table, table <= 36 ? static_cast<std::uint16_t>(n - 1) : 0);
}

ErrCode AreaPop(std::uint16_t table) {
    if (!g_block || table >= g_tables) return failStore(err::STROUTBOUND);
    std::uint16_t n = g_counts[table];
    if (n == 0) return err::OK;
    return AreaRemove(table, table <= 36 ? static_cast<std::uint16_t>(n - 1) : 0);
}

StrDesc AreaTake(std::uint16_t table) {
    StrMarkT m = StrMark();
    StrDesc v = AreaPeek(table);
    if (v.isError()) return v;
    ErrCode e = StrPush(v);
    if (e) return StrReturn(m, StrErrorValue(e));
    StrDesc top = StrTop();
    AreaPop(table);
    return top;
}

ErrCode AreaTruncate(std::uint16_t table, std::uint16_t n) {
    if (!g_block || table >= g_tables) return failStore(err::STROUTBOUND);
    while (g_counts[table] > n) {
        ErrCode e = AreaPop(table);
        if (e) return e;
    }
    return err::OK;
}

std::uint16_t AreaCount(std::uint16_t table) {
    return (g_block && table < g_tables) ? g_counts[table] : 0;
}

AreaStats AreaInfo() { return AreaStats{g_entriesUsed, g_entries, g_textUsed, g_textMax}; }

}  // namespace rt
