#include "data/sqlbridge.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/files.h"
#include "core/osname.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/varstore.h"

namespace rt::sqlbridge {
namespace {

const CatalogueTarget* g_target = nullptr;

constexpr std::size_t kPathMax = OSNAME_BYTES;

bool isQuote(char c) { return c == '\'' || c == '"'; }

// Quote-aware search for any character of `set` in s from `from`: quoted
// sections (apostrophes or double quotes) are skipped; an unterminated quote
// hides the rest. Returns the position or s.len when not found.
std::size_t findAnyQuoted(std::string_view s, std::size_t from, std::string_view set) {
    std::size_t f = from;
    while (f < s.size()) {
        std::size_t q = f;
        while (q < s.size() && !isQuote(s[q])) ++q;
        for (std::size_t i = f; i < q; ++i)
            if (set.find(s[i]) != std::string_view::npos) return i;
        if (q >= s.size()) return s.size();
        std::size_t close = s.find(s[q], q + 1);
        if (close == std::string_view::npos) return s.size();
        f = close + 1;
    }
    return s.size();
}

// Quote-aware search for `text`: candidates are the positions of its first
// character outside quotes, then compared byte by byte.
std::size_t findTextQuoted(std::string_view s, std::size_t from, std::string_view text) {
    if (text.empty() || text.size() > s.size()) return s.size();
    const char first[1] = {text[0]};
    for (std::size_t p = findAnyQuoted(s, from, std::string_view(first, 1)); p < s.size();
         p = findAnyQuoted(s, p + 1, std::string_view(first, 1))) {
        if (s.compare(p, text.size(), text) == 0) return p;
    }
    return s.size();
}

char upperChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);  // Windows-1252 letters
    return c;
}

char lowerChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    return c;
}

// Pushes a copy of s with every character mapped.
StrDesc pushMapped(StrDesc s, char (*map)(char)) {
    if (s.isError()) return s;
    if (ErrCode e = StrReserve(s.len, 255)) return StrErrorValue(e);
    char* w = StrTopWritable();
    for (std::uint16_t i = 0; i < s.len; ++i) w[i] = map(s.ptr[i]);
    return StrTop();
}

// The operating-system name of a runtime name (see core/osname.h).
bool systemPath(StrDesc name, char* buf, std::size_t size) {
    return !name.isError() && name.len > 0 && FileSystemName(name, buf, size) == err::OK;
}

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

void reset() { g_target = nullptr; }

// ---- Logs and messages --------------------------------------------------------------

void traceLine(StrDesc text, std::uint16_t level) {
    if ((static_cast<std::uint16_t>(sysGet(SysVar::TRACE)) & level) == 0 || !AreaReady()) return;
    StrMarkT m = StrMark();
    StrDesc path = AreaGet(area::WORK, area::WORK_LOGPATH);
    if (path.isError() || path.len == 0) {
        StrDesc id = listItem(AreaGet(area::ENV, 2), 1);
        std::size_t cut = id.view().find(':');
        std::size_t prefix = cut == std::string_view::npos ? id.len : cut;
        if (prefix > 2) prefix = 2;
        char name[16];
        std::snprintf(name, sizeof name, "%.*slog.txt", static_cast<int>(prefix), id.ptr ? id.ptr : "");
        StrPush(StrFromTerminated(name));
        path = StrTop();
    } else {
        StrPush(path);  // the area may move while the line is written
        path = StrTop();
    }
    if (text.isError()) {
        char line[32];
        std::snprintf(line, sizeof line, "Error #%u", static_cast<unsigned>(StrError(text)));
        fileAppendLine(path, StrFromTerminated(line));
    } else {
        fileAppendLine(path, text);
    }
    StrRelease(m);
}

void assertionFailed(const char* check) {
    char entry[512];
    std::time_t now = std::time(nullptr);
    std::tm t {};
    localtime_r(&now, &t);
    int n = std::snprintf(entry, sizeof entry,
                          "*****************************\r\n Date:%02d-%02d-%04d - Time:%02d:%02d - User:0\r\n"
                          "%s\r\n**********************\r\n",
                          t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min, check);
    if (n > 0) fileAppendLine(StrView("assertions.log"), StrMake(entry, static_cast<std::size_t>(n)));
}

StrDesc messageText(const char* number) {
    struct Msg {
        const char* number;
        const char* text;
    };
    static constexpr Msg kTexts[] = {
        {"0021", "SQL Connection Fail"},
        {"0090", "Database access"},
        {"0091",
         "'Host:':'A30'::%s,'Database:':'A30'::%s,'User:':'A30'::%s,'Password:':'P30'::%s,'Remember (Y/N):':'L1'"},
    };
    for (const Msg& m : kTexts)
        if (std::strcmp(m.number, number) == 0) return StrFromTerminated(m.text);
    return StrView("");
}

// ---- Lists and option texts ----------------------------------------------------------

std::uint16_t listCount(StrDesc list) {
    if (list.isError() || list.len == 0) return 0;
    std::string_view s = list.view();
    std::uint16_t n = 1;
    for (std::size_t p = findAnyQuoted(s, 0, ","); p < s.size(); p = findAnyQuoted(s, p + 1, ",")) ++n;
    return n;
}

StrDesc listItem(StrDesc list, std::uint16_t n) {
    if (list.isError()) return list;
    std::string_view s = list.view();
    if (n == 0) return StrDesc{list.ptr ? list.ptr : "", 0};
    std::size_t start = 0;
    for (std::uint16_t i = 1; i < n; ++i) {
        std::size_t p = findAnyQuoted(s, start, ",");
        if (p >= s.size()) return StrDesc{list.ptr + s.size(), 0};
        start = p + 1;
    }
    std::size_t end = findAnyQuoted(s, start, ",");
    return StrMake(list.ptr + start, end - start);
}

StrDesc unquote(StrDesc s) {
    if (s.isError() || s.len < 2) return s;
    char first = s.ptr[0];
    if (isQuote(first) && s.ptr[s.len - 1] == first) return StrMake(s.ptr + 1, s.len - 2u);
    return s;
}

StrDesc cleanValue(StrDesc s) {
    if (s.isError()) return s;
    std::string_view v = s.view();
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    StrDesc r = unquote(StrView(v));
    if (r.len != s.len) return r;
    return pushMapped(r, upperChar);
}

int toInt(StrDesc s) {
    if (s.isError()) return 0;
    StrMarkT m = StrMark();
    StrDesc up = pushMapped(s, upperChar);
    std::string_view v = up.view();
    bool yes = v == "YES" || v == "SI" || v == "Y" || v == "S" || v == "ON";
    StrRelease(m);
    if (yes) return 1;
    std::string_view t = s.view();
    std::size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    long value = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9' && value < 100000000) value = value * 10 + (t[i++] - '0');
    return static_cast<int>(negative ? -value : value);
}

StrDesc keyValueFind(StrDesc text, StrDesc key) {
    if (text.isError() || key.isError() || key.len == 0) return StrView("");
    std::string_view s = text.view();
    for (char sep : {':', '='}) {
        char probe[256];
        if (key.len + 1u > sizeof probe) return StrView("");
        std::memcpy(probe, key.ptr, key.len);
        probe[key.len] = sep;
        std::string_view needle(probe, key.len + 1u);
        for (std::size_t p = findTextQuoted(s, 0, needle); p < s.size(); p = findTextQuoted(s, p + 1, needle)) {
            if (p != 0 && std::string_view(": &/").find(s[p - 1]) == std::string_view::npos) continue;
            std::size_t start = p + needle.size();
            std::size_t end = findAnyQuoted(s, start, ": &/");
            return cleanValue(StrMake(text.ptr + start, end - start));
        }
    }
    return StrView("");
}

StrDesc optionLookup(StrDesc name) {
    if (!AreaReady() || name.isError() || name.len == 0) return StrView("");
    StrMarkT m = StrMark();
    StrDesc v = keyValueFind(AreaGet(area::ENV, 1), name);
    if (v.len == 0) {
        StrDesc other = pushMapped(name, static_cast<unsigned char>(name.ptr[0]) <= '`' ? lowerChar : upperChar);
        v = keyValueFind(AreaGet(area::ENV, 1), other);
    }
    return StrReturn(m, v);
}

// ---- Files and folders ---------------------------------------------------------------------

StrDesc fileReadAll(StrDesc name) {
    std::uint16_t h = FileOpen(name, fileflag::READ | fileflag::READONLY | fileflag::QUIET);
    if (h >= FILE_HANDLES || h < 3) return StrErrorValue(err::FILENOTFOUND);  // 0-2: "CON"
    std::uint32_t size = FileLength(h);
    StrDesc r = size == 0 ? StrView("") : size > 65535 ? StrErrorValue(err::FILENOTFOUND) : FileReadValue(h, 0, size);
    FileClose(h);
    return r;
}

ErrCode fileWriteOwnerOnly(StrDesc name, StrDesc content) {
    char path[kPathMax];
    char temp[kPathMax + 16];
    if (content.isError() || !systemPath(name, path, sizeof path)) return err::DISKWRITERROR;
    std::snprintf(temp, sizeof temp, "%s.XXXXXX", path);
    int fd = mkstemp(temp);  // created readable and writable by the owner only
    if (fd < 0) return err::DISKWRITERROR;
    bool ok = fchmod(fd, 0600) == 0 && writeAll(fd, content.ptr, content.len);
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(temp, path) != 0) {
        ::unlink(temp);
        return err::DISKWRITERROR;
    }
    return err::OK;
}

ErrCode fileAppendLine(StrDesc name, StrDesc text) {
    std::uint16_t h = FileOpen(name, fileflag::APPEND | fileflag::QUIET);
    if (h >= FILE_HANDLES) return err::FILENOTFOUND;
    bool ok = (text.isError() || text.len == 0 || FileWrite(h, FILE_NONE, text.ptr, text.len) == text.len) &&
              FileWrite(h, FILE_NONE, "\r\n", 2) == 2;
    FileClose(h);
    return ok ? err::OK : err::DISKWRITERROR;
}

ErrCode folderCreate(StrDesc path) {
    char p[kPathMax];
    if (!systemPath(path, p, sizeof p)) return err::BADINPUTDATA;
    for (char* s = p + 1; *s; ++s) {
        if (*s != '/') continue;
        *s = '\0';
        ::mkdir(p, 0777);
        *s = '/';
    }
    ::mkdir(p, 0777);
    struct stat st {};
    return stat(p, &st) == 0 && S_ISDIR(st.st_mode) ? err::OK : err::BADINPUTDATA;
}

ErrCode folderChange(StrDesc path) {
    char p[kPathMax];
    if (!systemPath(path, p, sizeof p)) return err::FILENOTFOUND;
    return ::chdir(p) == 0 ? err::OK : err::FILENOTFOUND;
}

StrDesc paramFileLoad(StrDesc name) {
    StrMarkT m = StrMark();
    StrDesc content = fileReadAll(name);
    bool bare = name.view().find_first_of("\\/:") == std::string_view::npos;
    if (content.isError() && bare && AreaReady()) {
        StrDesc folders = AreaGet(area::ENV, 5);
        StrPush(folders);  // a copy: the area may move
        folders = StrTop();
        for (std::uint16_t i = 1; i <= listCount(folders) && content.isError(); ++i) {
            StrDesc folder = unquote(listItem(folders, i));
            if (folder.len == 0) continue;
            std::uint32_t total = folder.len + 1u + name.len;
            if (total > 65535 || StrReserve(static_cast<std::uint16_t>(total), 255)) break;
            char* w = StrTopWritable();
            std::memcpy(w, folder.ptr, folder.len);
            std::size_t at = folder.len;
            if (folder.ptr[folder.len - 1] != '\\' && folder.ptr[folder.len - 1] != '/') w[at++] = '\\';
            std::memcpy(w + at, name.ptr, name.len);
            StrTopShrink(static_cast<std::uint16_t>(at + name.len));
            content = fileReadAll(StrTop());
        }
    }
    if (content.isError()) {
        StrRelease(m);
        return StrErrorValue(err::NOTFOUND);
    }
    // Join the non-empty lines with ":" (the result is never longer than the content).
    if (StrReserve(content.len, 255)) {
        StrRelease(m);
        return StrErrorValue(err::OUTOFMEMORY);
    }
    char* w = StrTopWritable();
    std::size_t used = 0;
    std::string_view rest = content.view();
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of("\r\n");
        std::string_view line = rest.substr(0, end);
        if (!line.empty()) {
            if (used) w[used++] = ':';
            std::memcpy(w + used, line.data(), line.size());
            used += line.size();
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + (rest.compare(end, 2, "\r\n") == 0 ? 2 : 1));
    }
    StrTopShrink(static_cast<std::uint16_t>(used));
    return StrReturn(m, StrTop());
}

// ---- Catalogue target ----------------------------------------------------------------------

void catalogueTargetSet(const CatalogueTarget* target) { g_target = target; }
const CatalogueTarget* catalogueTarget() { return g_target; }

}  // namespace rt::sqlbridge
