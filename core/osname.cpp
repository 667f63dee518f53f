#include "core/osname.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

namespace rt {
namespace {

constexpr std::size_t kEntryMax = 256;  // longest directory entry name + 1

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool equalIgnoringCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (foldAscii(static_cast<unsigned char>(a[i])) != foldAscii(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// Whether path[0..end) names something (a dangling link counts: it is there).
bool prefixExists(char* path, std::size_t end) {
    char saved = path[end];
    path[end] = '\0';
    struct stat st;
    bool there = lstat(path, &st) == 0;
    path[end] = saved;
    return there;
}

// Looks in the folder path[0..start) (the current folder when empty) for an
// entry of `len` bytes equal to path[start..start+len) ignoring ASCII case;
// writes the lowest such entry (byte order) over the component. False when
// none matches or the folder cannot be read.
bool matchInFolder(char* path, std::size_t start, std::size_t len) {
    if (len >= kEntryMax) return false;
    char saved = path[start];
    path[start] = '\0';
    DIR* dir = opendir(start ? path : ".");
    path[start] = saved;
    if (!dir) return false;
    char best[kEntryMax];
    bool found = false;
    while (const dirent* e = readdir(dir)) {
        if (std::strlen(e->d_name) != len || !equalIgnoringCase(e->d_name, path + start, len)) continue;
        if (!found || std::memcmp(e->d_name, best, len) < 0) {
            std::memcpy(best, e->d_name, len);
            found = true;
        }
    }
    closedir(dir);
    if (found) std::memcpy(path + start, best, len);
    return found;
}

}  // namespace

ErrCode FileSystemName(StrDesc name, char* out, std::size_t capacity) {
    if (out && capacity) out[0] = '\0';
    if (!out || name.isError() || name.len == 0) return err::BADINPUTDATA;
    const char* p = name.ptr;
    std::size_t n = name.len;
    if (std::memchr(p, '\0', n)) return err::BADINPUTDATA;
    if (n >= 2 && p[1] == ':' && isAsciiLetter(p[0])) {
        p += 2;
        n -= 2;
    }
    if (n == 0) {
        p = ".";
        n = 1;
    }
    if (n + 1 > capacity) return err::BADINPUTDATA;
    for (std::size_t i = 0; i < n; ++i) out[i] = p[i] == '\\' ? '/' : p[i];
    out[n] = '\0';
    if (prefixExists(out, n)) return err::OK;

    // Component by component: keep what exists, look up the rest ignoring case.
    std::size_t i = 0;
    while (i < n) {
        while (i < n && out[i] == '/') ++i;
        std::size_t start = i;
        while (i < n && out[i] != '/') ++i;
        std::size_t len = i - start;
        if (len == 0) break;
        if ((len == 1 && out[start] == '.') || (len == 2 && out[start] == '.' && out[start + 1] == '.')) continue;
        if (prefixExists(out, i)) continue;
        if (!matchInFolder(out, start, len)) break;
    }
    return err::OK;
}

}  // namespace rt
