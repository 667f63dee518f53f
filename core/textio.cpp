#include "core/textio.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "core/strfuncs.h"
#include "core/strstack.h"

namespace rt::textio {
namespace {

constexpr std::size_t kMaxName = 384;  // the file layer's limit (names of 383 bytes at most)

struct OsName {
    char path[kMaxName * 2];
    bool ok = false;
};

bool exists(const char* p) {
    struct stat st;
    return ::stat(p, &st) == 0;
}

// The operating system's form of a runtime file name: "\" becomes "/"; when
// the exact name does not exist, a case-insensitive match of its last part
// within its folder is taken instead.
OsName osName(StrDesc name) {
    OsName n;
    if (name.isError() || name.len == 0 || name.len >= kMaxName) return n;
    for (std::uint16_t i = 0; i < name.len; ++i) n.path[i] = name.ptr[i] == '\\' ? '/' : name.ptr[i];
    n.path[name.len] = '\0';
    n.ok = true;
    if (exists(n.path)) return n;
    char* slash = std::strrchr(n.path, '/');
    const char* base = slash ? slash + 1 : n.path;
    char folder[kMaxName];
    if (slash) {
        std::size_t fl = static_cast<std::size_t>(slash - n.path);
        std::memcpy(folder, n.path, fl);
        folder[fl] = '\0';
        if (fl == 0) std::strcpy(folder, "/");
    } else {
        std::strcpy(folder, ".");
    }
    DIR* d = ::opendir(folder);
    if (!d) return n;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, base) == 0) {
            std::size_t prefix = static_cast<std::size_t>(base - n.path);
            if (prefix + std::strlen(e->d_name) < sizeof(n.path)) std::strcpy(n.path + prefix, e->d_name);
            break;
        }
    }
    ::closedir(d);
    return n;
}

bool startsWithNoCase(const char* s, StrDesc p) {
    for (std::uint16_t i = 0; i < p.len; ++i)
        if (!s[i] || CharUpper(s[i]) != CharUpper(p.ptr[i])) return false;
    return true;
}

bool endsWithNoCase(const char* s, StrDesc p) {
    std::size_t n = std::strlen(s);
    if (n < p.len) return false;
    return startsWithNoCase(s + n - p.len, p);
}

}  // namespace

bool openLines(LineReader& r, StrDesc name) {
    OsName n = osName(name);
    r.stream = n.ok ? std::fopen(n.path, "rb") : nullptr;
    return r.stream != nullptr;
}

std::uint16_t readLine(LineReader& r, char* buf, std::uint32_t cap) {
    auto* f = static_cast<std::FILE*>(r.stream);
    if (!f) return 65535;
    if (cap > 65535) cap = 65535;
    std::uint32_t n = 0;
    bool any = false;
    for (;;) {
        int c = std::getc(f);
        if (c == EOF) break;
        any = true;
        if (c == '\r') {
            int next = std::getc(f);
            if (next != '\n' && next != EOF) std::ungetc(next, f);
            return static_cast<std::uint16_t>(n);
        }
        if (c == '\n') return static_cast<std::uint16_t>(n);
        if (n >= cap) return 65535;  // the line does not fit: reading stops as at the end
        buf[n++] = static_cast<char>(c);
    }
    if (!any) return 65535;
    if (n == 1 && buf[0] == '\x1A') return 65535;  // the old end-of-file mark
    return static_cast<std::uint16_t>(n);
}

void closeLines(LineReader& r) {
    if (r.stream) std::fclose(static_cast<std::FILE*>(r.stream));
    r.stream = nullptr;
}

bool append(StrDesc name, std::initializer_list<StrDesc> parts) {
    OsName n = osName(name);
    if (!n.ok) return false;
    std::FILE* f = std::fopen(n.path, "ab");
    if (!f) return false;
    bool ok = true;
    for (const StrDesc& p : parts)
        if (!p.isError() && p.len && std::fwrite(p.ptr, 1, p.len, f) != p.len) ok = false;
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

bool remove(StrDesc name) {
    OsName n = osName(name);
    return n.ok && std::remove(n.path) == 0;
}

StrDesc findFirst(StrDesc folder, StrDesc prefix, StrDesc suffix) {
    StrMarkT m = StrMark();
    StrDesc none{"", 0};
    if (folder.isError() || prefix.isError() || suffix.isError()) return StrReturn(m, none);
    char dir[kMaxName * 2] = ".";
    if (folder.len) {
        OsName n = osName(folder);
        if (!n.ok) return StrReturn(m, none);
        std::strcpy(dir, n.path);
    }
    DIR* d = ::opendir(dir);
    if (!d) return StrReturn(m, none);
    char best[256] = "";
    while (dirent* e = ::readdir(d)) {
        if (std::strlen(e->d_name) < static_cast<std::size_t>(prefix.len) + suffix.len) continue;
        if (!startsWithNoCase(e->d_name, prefix) || !endsWithNoCase(e->d_name, suffix)) continue;
        if (!best[0] || std::strcmp(e->d_name, best) < 0) std::snprintf(best, sizeof best, "%s", e->d_name);
    }
    ::closedir(d);
    if (!best[0]) return StrReturn(m, none);
    StrDesc file = StrFromTerminated(best);
    if (!folder.len) return StrReturn(m, file);
    char last = folder.ptr[folder.len - 1];
    bool sep = last == '\\' || last == '/' || last == ':';
    return StrReturn(m, StrConcatN({folder, sep ? StrDesc{"", 0} : StrView("\\"), file}));
}

}  // namespace rt::textio
