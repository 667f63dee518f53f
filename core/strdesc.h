// String values: a pointer and a 16-bit length, no terminator.
//
// A null pointer is an error value whose length carries the ErrCode (a null
// pointer with length 0 reads as 65535). Every string function passes error
// values through unchanged, so a chain of operations is tested once at the end.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/errcode.h"

namespace rt {

struct StrDesc {
    const char* ptr = nullptr;
    std::uint16_t len = 0;

    bool isError() const { return ptr == nullptr; }
    std::string_view view() const { return ptr ? std::string_view(ptr, len) : std::string_view(); }
    // For tests and the platform edge only; the runtime never owns std::string.
    std::string str() const { return std::string(view()); }
    char operator[](std::size_t i) const { return ptr[i]; }
};

// 0 for a normal value, otherwise its code.
inline ErrCode StrError(StrDesc s) {
    if (s.ptr) return 0;
    return s.len ? s.len : err::NOTFOUND;
}

inline StrDesc StrErrorValue(ErrCode code) { return StrDesc{nullptr, code}; }

// A view of p[0..len) (no copy).
inline StrDesc StrMake(const char* p, std::size_t len) {
    return StrDesc{p, static_cast<std::uint16_t>(len > 65535 ? 65535 : len)};
}

// A view of a NUL-terminated text; null gives the error value 163.
inline StrDesc StrFromTerminated(const char* p) {
    if (!p) return StrErrorValue(err::BADINPUTDATA);
    return StrMake(p, std::strlen(p));
}

// A view of a literal or std::string_view (no copy).
inline StrDesc StrView(std::string_view v) { return StrMake(v.data() ? v.data() : "", v.size()); }

}  // namespace rt
