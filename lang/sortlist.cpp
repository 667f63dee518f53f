#include "lang/sortlist.h"

#include <algorithm>
#include <cstring>

#include "core/lists.h"
#include "core/memblocks.h"
#include "core/strstack.h"

namespace rt {
namespace {

constexpr char kMagic[4] = {'S', 'R', 'T', '1'};
constexpr std::uint32_t kMaxBytes = 64u * 1024u * 1024u;

// The list's state; its block never moves, so the handle can point at it.
struct SortHeader {
    char magic[4];
    std::uint32_t serial;
    std::uint16_t keyLen, recLen, flags;
    std::uint32_t count, capacity;
    std::int64_t cursor;  // -1: on no record
    char* records;        // capacity * recLen bytes, null while empty
};

// The handle's bytes: header address, magic, serial, lengths, flags.
struct SortHandle {
    SortHeader* header;
    char magic[4];
    std::uint32_t serial;
    std::uint16_t keyLen, recLen, flags, spare;
};
static_assert(sizeof(SortHandle) == SORT_HANDLE_BYTES);

std::uint32_t g_serial = 0;

// The live list the handle names, or null.
SortHeader* resolve(StrDesc handle) {
    if (handle.isError() || handle.len != SORT_HANDLE_BYTES) return nullptr;
    SortHandle h;
    std::memcpy(&h, handle.ptr, sizeof h);
    if (std::memcmp(h.magic, kMagic, 4) != 0 || !h.header) return nullptr;
    // Only a pointer held by a live block of this module is followed.
    std::uint16_t slots = MemSlotCount();
    for (MemHandle s = 0; s < slots; ++s) {
        MemSlot slot;
        if (MemResolve(s, slot) != 0 || slot.ptr != reinterpret_cast<char*>(h.header)) continue;
        if (slot.tag != tag::SORTLISTS || slot.size != sizeof(SortHeader)) return nullptr;
        SortHeader* hd = h.header;
        if (std::memcmp(hd->magic, kMagic, 4) != 0 || hd->serial != h.serial) return nullptr;
        return hd;
    }
    return nullptr;
}

int compareKeys(const SortHeader& hd, const char* a, const char* b) {
    return std::memcmp(a, b, hd.keyLen);
}

bool isVerb(StrDesc v, const char* a, const char* b) {
    std::string_view s = v.view();
    return s == a || (b && s == b);
}

}  // namespace

StrDesc SortNew(std::uint16_t keyLen, std::uint16_t recLen, std::uint16_t flags) {
    if (keyLen == 0 || keyLen > recLen) return StrErrorValue(err::SINTAXERROR);
    // Lists share the memory-block registry with the whole runtime: lists
    // an application forgets to free must not exhaust it.
    std::uint16_t live = 0, slots = MemSlotCount();
    for (MemHandle s = 0; s < slots; ++s) {
        MemSlot slot;
        if (MemResolve(s, slot) == 0 && slot.ptr && slot.tag == tag::SORTLISTS) ++live;
    }
    if (live >= SORT_MAX_LISTS) return StrErrorValue(err::OUTOFMEMORY);
    auto* hd = reinterpret_cast<SortHeader*>(MemAllocPtr(tag::SORTLISTS, sizeof(SortHeader)));
    if (!hd) return StrErrorValue(err::OUTOFMEMORY);
    std::memcpy(hd->magic, kMagic, 4);
    hd->serial = ++g_serial;
    hd->keyLen = keyLen;
    hd->recLen = recLen;
    hd->flags = flags;
    hd->count = hd->capacity = 0;
    hd->cursor = -1;
    hd->records = nullptr;
    SortHandle h{};
    std::memcpy(h.magic, kMagic, 4);
    h.header = hd;
    h.serial = hd->serial;
    h.keyLen = keyLen;
    h.recLen = recLen;
    h.flags = flags;
    if (ErrCode e = StrPush(StrMake(reinterpret_cast<const char*>(&h), sizeof h))) {
        MemFree(tag::SORTLISTS, hd);
        return StrErrorValue(e);
    }
    return StrTop();
}

ErrCode SortAdd(StrDesc handle, StrDesc record, std::int64_t& outcome) {
    outcome = 0;
    SortHeader* hd = resolve(handle);
    if (!hd) return err::SINTAXERROR;
    if (record.isError()) return StrError(record);
    if (record.len > hd->recLen) return err::BADINPUTDATA;
    // The padded record, built on the string stack (the record may lie in
    // the list's own storage, which may move below).
    StrMarkT m = StrMark();
    if (ErrCode e = StrReserve(hd->recLen, ' ')) return e;
    char* rec = StrTopWritable();
    std::memcpy(rec, record.ptr, record.len);
    const bool desc = hd->flags & sortflag::DESCENDING;
    std::uint32_t at = 0;
    while (at < hd->count) {
        int c = compareKeys(*hd, rec, hd->records + static_cast<std::size_t>(at) * hd->recLen);
        if (desc ? c >= 0 : c <= 0) {
            if (c == 0 && (hd->flags & sortflag::UNIQUE)) {
                StrRelease(m);
                outcome = 5;
                return 0;
            }
            break;
        }
        ++at;
    }
    if (hd->count == hd->capacity) {
        std::uint64_t cap = 2ull * (hd->count + 1ull);
        std::uint64_t bytes = cap * hd->recLen;
        if (bytes > kMaxBytes) {
            StrRelease(m);
            return err::OUTOFMEMORY;
        }
        std::uint32_t used = hd->count * static_cast<std::uint32_t>(hd->recLen);
        char* p = hd->records ? MemResize(tag::SORTRECORDS, hd->records, used, static_cast<std::uint32_t>(bytes))
                              : MemAllocPtr(tag::SORTRECORDS, static_cast<std::uint32_t>(bytes));
        if (!p) {
            StrRelease(m);
            return err::OUTOFMEMORY;
        }
        hd->records = p;
        hd->capacity = static_cast<std::uint32_t>(cap);
    }
    char* place = hd->records + static_cast<std::size_t>(at) * hd->recLen;
    std::memmove(place + hd->recLen, place, static_cast<std::size_t>(hd->count - at) * hd->recLen);
    std::memcpy(place, rec, hd->recLen);
    ++hd->count;
    if (hd->cursor >= static_cast<std::int64_t>(at)) ++hd->cursor;  // stays on its record
    StrRelease(m);
    return 0;
}

ErrCode SortMove(StrDesc handle, StrDesc verb, std::int64_t& outcome) {
    outcome = 0;
    SortHeader* hd = resolve(handle);
    if (!hd || verb.isError()) return err::SINTAXERROR;
    const std::int64_t last = static_cast<std::int64_t>(hd->count) - 1;
    if (isVerb(verb, "TOP", nullptr)) {
        if (last < 0) outcome = 2;
        else hd->cursor = 0;
    } else if (isVerb(verb, "BOT", "BOTTOM")) {
        if (last < 0) outcome = 2;
        else hd->cursor = last;
    } else if (isVerb(verb, "NXT", "NEXT")) {
        if (hd->cursor >= last) outcome = 2;
        else ++hd->cursor;
    } else if (isVerb(verb, "PRV", "PREVIOUS")) {
        if (hd->cursor <= 0) outcome = 2;
        else --hd->cursor;
    } else {
        return err::SINTAXERROR;
    }
    return 0;
}

StrDesc SortGet(StrDesc handle) {
    SortHeader* hd = resolve(handle);
    if (!hd) return StrErrorValue(err::SINTAXERROR);
    StrDesc r{"", 0};
    if (hd->cursor >= 0 && hd->cursor < static_cast<std::int64_t>(hd->count))
        r = StrMake(hd->records + static_cast<std::size_t>(hd->cursor) * hd->recLen, hd->recLen);
    if (ErrCode e = StrPush(r)) return StrErrorValue(e);
    return StrTop();
}

ErrCode SortKill(StrDesc handle) {
    SortHeader* hd = resolve(handle);
    if (!hd) return err::SINTAXERROR;
    if (hd->records) MemFree(tag::SORTRECORDS, hd->records);
    std::memset(hd->magic, 0, sizeof hd->magic);
    MemFree(tag::SORTLISTS, hd);
    return 0;
}

std::uint16_t SortCount(StrDesc handle) {
    SortHeader* hd = resolve(handle);
    if (!hd) return 65535;
    return hd->count > 65534 ? 65534 : static_cast<std::uint16_t>(hd->count);
}

void SortFreeAll() {
    if (!MemReady()) return;
    std::uint16_t slots = MemSlotCount();
    for (MemHandle s = 0; s < slots; ++s) {
        MemSlot slot;
        if (MemResolve(s, slot) == 0 && slot.ptr && (slot.tag == tag::SORTLISTS || slot.tag == tag::SORTRECORDS))
            MemFree(slot.tag, slot.ptr);
    }
}

StrDesc SortText(StrDesc list, std::uint16_t flags) {
    if (list.isError()) return list;
    StrMarkT m = StrMark();
    const char sep = (flags & sortflag::NULSEP) ? '\0' : ',';
    StrArrayT items = ListSplit(list, sep);
    if (items.count == 0) return StrReturn(m, StrDesc{"", 0});
    std::uint32_t total = 0;
    for (std::uint16_t i = 0; i < items.count; ++i) {
        StrDesc& it = items.items[i];
        if (flags & sortflag::TRIMRIGHT)
            while (it.len && it.ptr[it.len - 1] == ' ') --it.len;
        total += it.len + 1u;
    }
    std::sort(items.items, items.items + items.count, [](const StrDesc& a, const StrDesc& b) {
        int c = std::memcmp(a.ptr, b.ptr, std::min(a.len, b.len));
        return c < 0 || (c == 0 && a.len < b.len);
    });
    total -= 1;  // no separator after the last item
    if (total > 65535) return StrReturn(m, StrErrorValue(err::STRINGTOOLONG));
    if (ErrCode e = StrReserve(static_cast<std::uint16_t>(total), 255)) return StrReturn(m, StrErrorValue(e));
    char* w = StrTopWritable();
    std::uint32_t n = 0;
    for (std::uint16_t i = 0; i < items.count; ++i) {
        if (i) w[n++] = sep;
        std::memcpy(w + n, items.items[i].ptr, items.items[i].len);
        n += items.items[i].len;
    }
    return StrReturn(m, StrTop());
}

}  // namespace rt
