#include "lang/growarray.h"

#include <cstring>

#include "core/memblocks.h"

namespace rt {
namespace {

struct GrowArray {
    char* ptr = nullptr;
    std::uint32_t recordSize = 1;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;  // bytes of the block
};

constexpr std::uint32_t kInitialBytes = 64;
constexpr std::uint64_t kMaxBytes = 0xFFFFFFF0u;

GrowArray g_arrays[grow::COUNT];
bool g_ready = false;

void releaseAll() {
    for (GrowArray& a : g_arrays) {
        if (a.ptr) MemFree(tag::VALUEARRAYS, a.ptr);
        a = GrowArray{};
    }
}

// Moves array `a` to a block of `bytes` bytes, keeping its used bytes.
bool moveTo(GrowArray& a, std::uint32_t bytes) {
    std::uint32_t used = a.count * a.recordSize;
    char* p = MemResize(tag::VALUEARRAYS, a.ptr, used, bytes);
    if (!p) return false;
    a.ptr = p;
    a.capacity = bytes;
    return true;
}

}  // namespace

ErrCode growInit() {
    releaseAll();
    g_ready = false;
    for (GrowArray& a : g_arrays) {
        a.ptr = MemAllocPtr(tag::VALUEARRAYS, kInitialBytes);
        if (!a.ptr) {
            releaseAll();
            return err::STRUCTMEMERROR;
        }
        a.capacity = kInitialBytes;
    }
    g_ready = true;
    return err::OK;
}

void growShutdown() {
    releaseAll();
    g_ready = false;
}

bool growReady() { return g_ready; }

ErrCode growReset(std::uint16_t id, std::uint32_t recordSize) {
    if (id >= grow::COUNT || recordSize == 0) return err::BADINPUTDATA;
    if (!g_ready) return err::STRUCTMEMERROR;
    GrowArray& a = g_arrays[id];
    a.recordSize = recordSize;
    a.count = 0;
    if (a.capacity > 4096) moveTo(a, kInitialBytes);  // keeps the old block on failure
    return err::OK;
}

std::uint32_t growCount(std::uint16_t id) { return id < grow::COUNT ? g_arrays[id].count : 0; }

std::uint32_t growRecordSize(std::uint16_t id) { return id < grow::COUNT ? g_arrays[id].recordSize : 0; }

char* growData(std::uint16_t id) { return id < grow::COUNT ? g_arrays[id].ptr : nullptr; }

ErrCode growResize(std::uint16_t id, std::uint32_t count) {
    if (id >= grow::COUNT) return err::BADINPUTDATA;
    if (!g_ready) return err::STRUCTMEMERROR;
    GrowArray& a = g_arrays[id];
    std::uint64_t need = static_cast<std::uint64_t>(count) * a.recordSize;
    if (need > kMaxBytes) return err::STRUCTMEMERROR;
    std::uint32_t used = a.count * a.recordSize;
    if (need > a.capacity) {
        std::uint64_t bytes = a.capacity ? a.capacity : kInitialBytes;
        while (bytes < need) bytes *= 2;
        if (bytes > kMaxBytes) bytes = need;
        if (!moveTo(a, static_cast<std::uint32_t>(bytes))) return err::STRUCTMEMERROR;
    } else if (need * 4 < a.capacity && a.capacity > 4096) {
        // Give most of a large block back once it is mostly unused.
        std::uint64_t bytes = need * 2 > kInitialBytes ? need * 2 : kInitialBytes;
        a.count = count < a.count ? count : a.count;
        moveTo(a, static_cast<std::uint32_t>(bytes));  // keeps the old block on failure
        used = a.count * a.recordSize;
    }
    if (need > used) std::memset(a.ptr + used, 0, static_cast<std::size_t>(need - used));
    a.count = count;
    return err::OK;
}

char* growAppend(std::uint16_t id) {
    if (id >= grow::COUNT) return nullptr;
    GrowArray& a = g_arrays[id];
    if (growResize(id, a.count + 1)) return nullptr;
    return a.ptr + static_cast<std::size_t>(a.count - 1) * a.recordSize;
}

}  // namespace rt
