#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/osname.h"
#include "core/strstack.h"

namespace rt {
namespace {

constexpr std::uint32_t kPiece = 512;
constexpr std::uint16_t kFirstFileSlot = 3;
constexpr char kEofMark = 0x1A;

struct HandleTable {
    bool ready = false;
    std::FILE* slot[FILE_HANDLES] = {};
};
HandleTable g_table;
std::uint32_t g_tempSerial = 0;

void tableInit() {
    if (g_table.ready) return;
    for (auto& s : g_table.slot) s = nullptr;
    g_table.slot[0] = stdin;
    g_table.slot[1] = stdout;
    g_table.slot[2] = stderr;
    g_table.ready = true;
}

// The stream of a valid handle, null for a handle out of range or a free slot.
std::FILE* streamOf(std::uint16_t handle) {
    tableInit();
    return handle < FILE_HANDLES ? g_table.slot[handle] : nullptr;
}

bool isConsole(std::uint16_t handle) { return handle < kFirstFileSlot; }

bool nameUsable(StrDesc name) { return !name.isError() && name.len > 0 && name.len <= FILE_NAME_MAX; }

bool isConName(StrDesc name) { return !name.isError() && name.view() == "CON"; }

// Appends the name to the error detail and records the code with context
// Streams, unless the quiet bit is set. Returns the code.
ErrCode fail(ErrCode code, StrDesc name, std::uint16_t flags) {
    if (code >= 128 && !(flags & fileflag::QUIET)) {
        ErrorDetail(code, name, true);
        ErrorRecordSet(1, ctx::Streams, code, code);
    }
    return code;
}

std::uint32_t clamp32(long long v) {
    if (v < 0) return 0;
    return v > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

// Writes are flushed as they happen, so the descriptor's size is the stream's.
std::uint32_t streamSize(std::FILE* f) {
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? clamp32(st.st_size) : 0;
}

std::uint32_t streamTell(std::FILE* f) {
    off_t p = ftello(f);
    return p < 0 ? 0 : clamp32(p);
}

// Opens with the mode text of the flags; without the read-only bit a missing
// file is created first (exclusively, so an existing file that merely refused
// the mode is never truncated). A folder is not a file.
std::FILE* openStream(const char* sysName, std::uint16_t flags) {
    char mode[8];
    int n = 0;
    mode[n++] = (flags & fileflag::WRITE) ? 'w' : (flags & fileflag::APPEND) ? 'a' : 'r';
    mode[n++] = 'b';
    if (!(flags & fileflag::READONLY)) mode[n++] = '+';
    mode[n++] = 'e';  // not inherited by programs the runtime starts
    mode[n] = '\0';
    std::FILE* f = std::fopen(sysName, mode);
    if (!f && !(flags & fileflag::READONLY)) {
        if (std::FILE* made = std::fopen(sysName, "wbxe")) {
            std::fclose(made);
            f = std::fopen(sysName, mode);
        }
    }
    if (f) {
        struct stat st;
        if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
            std::fclose(f);
            f = nullptr;
        }
    }
    return f;
}

bool closeSlot(std::uint16_t handle) {
    std::FILE* f = g_table.slot[handle];
    g_table.slot[handle] = nullptr;
    return f == nullptr || std::fclose(f) == 0;
}

// The read of FileRead on the stream of a valid handle, with the line/block
// choice explicit. False where FileRead gives 65535.
bool readStream(std::uint16_t handle, std::FILE* f, std::uint32_t position, bool line, std::uint32_t count,
                char* buf, std::uint32_t cap, std::uint32_t& got) {
    got = 0;
    if (handle == 1 || handle == 2) return false;  // output streams
    if (!buf && cap) return false;
    const bool byteWise = handle == 0;
    const bool seekable = !isConsole(handle);
    const std::uint64_t size = seekable ? streamSize(f) : 65535u;
    if (seekable && position != FILE_NONE && fseeko(f, static_cast<off_t>(position), SEEK_SET) != 0) return false;
    std::uint64_t start = seekable ? streamTell(f) : 0;
    auto putBack = [&] {
        if (seekable) fseeko(f, static_cast<off_t>(start), SEEK_SET);
    };

    if (!line) {
        for (;;) {
            if (start + got >= size) break;
            if (got == count) return true;
            std::uint64_t piece = byteWise ? 1 : std::min<std::uint64_t>({count - got, kPiece, size - start - got});
            if (piece > cap - got) {
                putBack();
                return false;
            }
            std::size_t n = std::fread(buf + got, 1, piece, f);
            got += static_cast<std::uint32_t>(n);
            if (n < piece) break;
        }
        return got > 0;
    }

    for (;;) {
        if (start + got >= size) break;
        if (got == cap) {
            // The buffer is full: the line fits only when its end follows.
            int c = std::getc(f);
            if (c == EOF) break;
            if (c == '\n') return true;
            if (c == '\r') {
                int d = std::getc(f);
                if (d != '\n' && d != EOF) std::ungetc(d, f);
                return true;
            }
            std::ungetc(c, f);
            putBack();
            got = 0;
            return false;
        }
        std::uint64_t piece = byteWise ? 1 : std::min<std::uint64_t>({cap - got, kPiece, size - start - got});
        std::size_t n = std::fread(buf + got, 1, piece, f);
        // The bytes gathered before hold no CR or LF: look at the new ones.
        for (std::uint32_t i = got; i < got + n; ++i) {
            if (buf[i] != '\r' && buf[i] != '\n') continue;
            std::uint32_t term = 1;
            if (buf[i] == '\r') {
                if (i + 1 < got + n) {
                    if (buf[i + 1] == '\n') term = 2;
                } else {
                    // A CR ends the bytes read: its LF may be the next byte.
                    int c = std::getc(f);
                    if (c == '\n') {
                        got = i;
                        return true;
                    }
                    if (c != EOF) std::ungetc(c, f);
                }
            }
            if (seekable && i + term != got + n) fseeko(f, static_cast<off_t>(start + i + term), SEEK_SET);
            got = i;
            return true;
        }
        got += static_cast<std::uint32_t>(n);
        if (n < piece) break;
        if (got == 1 && buf[0] == kEofMark) {  // the old end-of-file mark
            got = 0;
            ++start;
        }
    }
    return got > 0;
}

bool writeStream(std::FILE* f, bool seekable, std::uint32_t position, const char* data, std::uint32_t length) {
    if (seekable) {
        int rc = position == FILE_NONE ? fseeko(f, 0, SEEK_END) : fseeko(f, static_cast<off_t>(position), SEEK_SET);
        if (rc != 0) return false;
    }
    for (std::uint32_t done = 0; done < length;) {
        std::uint32_t piece = std::min(length - done, kPiece);
        if (std::fwrite(data + done, 1, piece, f) != piece) {
            std::clearerr(f);
            return false;
        }
        done += piece;
    }
    if (std::fflush(f) != 0) {
        std::clearerr(f);
        return false;
    }
    return true;
}

// A file opened by a by-name operation, closed on every path.
class OpenedFile {
public:
    OpenedFile(StrDesc name, std::uint16_t flags) : handle_(FileOpen(name, flags)) {}
    ~OpenedFile() { close(); }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    bool ok() const { return handle_ < FILE_HANDLES; }
    std::uint16_t handle() const { return handle_; }
    std::FILE* stream() const { return g_table.slot[handle_]; }
    // False when closing lost data.
    bool close() {
        if (!ok()) return true;
        bool good = isConsole(handle_) || closeSlot(handle_);
        handle_ = FILE_HANDLES;
        return good;
    }
private:
    std::uint16_t handle_;
};

// Where a by-name range starts and how long it is (count 65535: to the end).
struct Range {
    std::uint32_t start;
    std::uint64_t length;
};

Range rangeOf(std::uint16_t handle, std::uint32_t position, std::uint32_t count) {
    std::uint64_t size = FileLength(handle);
    std::uint32_t start = position == FILE_NONE ? FileTell(handle) : position;
    std::uint64_t length = start >= size ? 0 : size - start;
    if (count != FILE_NONE && count < length) length = count;
    return Range{start, length};
}

// Writes the data to a new file beside the target and renames it over the
// target, so that the old content survives any failure. The new file takes
// the target's permission bits, or only the owner's read and write with
// `ownerOnly`.
bool replaceFile(StrDesc name, const char* data, std::uint32_t length, bool ownerOnly) {
    char target[OSNAME_BYTES];
    if (!nameUsable(name) || FileSystemName(name, target, sizeof target)) {
        fail(err::BADINPUTDATA, name, 0);
        return false;
    }
    char temp[OSNAME_BYTES + 40];
    std::size_t base = std::strlen(target);
    std::memcpy(temp, target, base);
    int fd = -1;
    for (int attempt = 0; attempt < 50 && fd < 0; ++attempt) {
        std::snprintf(temp + base, sizeof temp - base, ".%ld~%u", static_cast<long>(getpid()), g_tempSerial++);
        fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        fail(err::FILENOTFOUND, name, 0);
        return false;
    }
    struct stat st;
    if (ownerOnly) fchmod(fd, 0600);
    else if (::stat(target, &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
    std::FILE* f = fdopen(fd, "wb");
    bool ok = f != nullptr;
    if (!f) ::close(fd);
    if (ok) ok = writeStream(f, true, 0, data, length);
    if (f) ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp, target) == 0;
    if (!ok) {
        ::unlink(temp);
        fail(err::FILEIO, name, 0);
    }
    return ok;
}

bool storeData(StrDesc name, std::uint32_t position, const char* data, std::uint32_t length) {
    if (!data || length == 0) return false;
    if (position == FILE_REPLACE && !isConName(name)) return replaceFile(name, data, length, false);
    OpenedFile file(name, fileflag::READ);
    if (!file.ok()) return false;
    bool ok = file.handle() != 0 &&
              writeStream(file.stream(), !isConsole(file.handle()), position == FILE_REPLACE ? 0 : position, data, length);
    ok = file.close() && ok;
    if (!ok) fail(err::FILEIO, name, 0);
    return ok;
}

// The operating-system name of a usable runtime name; false otherwise.
bool systemName(StrDesc name, char* out) {
    return nameUsable(name) && FileSystemName(name, out, OSNAME_BYTES) == err::OK;
}

}  // namespace

std::uint16_t FileOpen(StrDesc name, std::uint16_t flags) {
    tableInit();
    if (!nameUsable(name)) return fail(err::BADINPUTDATA, name, flags);
    std::uint16_t slot = kFirstFileSlot;
    while (slot < FILE_HANDLES && g_table.slot[slot]) ++slot;
    if (slot == FILE_HANDLES) return fail(err::DATAOUTBOUND, name, flags);
    if (isConName(name)) return (flags & 0x1F) == fileflag::WRITE ? 1 : 0;
    char sys[OSNAME_BYTES];
    if (FileSystemName(name, sys, sizeof sys)) return fail(err::BADINPUTDATA, name, flags);
    std::FILE* f = openStream(sys, flags);
    if (!f) return fail(err::FILENOTFOUND, name, flags);
    g_table.slot[slot] = f;
    return slot;
}

std::uint16_t FileClose(std::uint16_t handle) {
    if (!streamOf(handle)) return 0;
    if (isConsole(handle)) return handle;
    closeSlot(handle);
    return handle;
}

void FileCloseAll() {
    if (!g_table.ready) return;
    for (std::uint16_t h = kFirstFileSlot; h < FILE_HANDLES; ++h) closeSlot(h);
    g_table.ready = false;
}

std::uint32_t FileLength(std::uint16_t handle) {
    std::FILE* f = streamOf(handle);
    if (!f) return 0;
    return isConsole(handle) ? 65535u : streamSize(f);
}

std::uint32_t FileTell(std::uint16_t handle) {
    std::FILE* f = streamOf(handle);
    if (!f || handle == 0) return 0;
    return streamTell(f);
}

std::uint16_t FileAtEnd(std::uint16_t handle) {
    std::FILE* f = streamOf(handle);
    if (!f) return 1;
    if (handle == 0) return std::feof(f) ? 1 : 0;
    if (isConsole(handle)) return 1;
    return streamTell(f) >= streamSize(f) ? 1 : 0;
}

std::uint32_t FileRead(std::uint16_t handle, std::uint32_t position, std::uint32_t count, char* buffer,
                       std::uint32_t capacity) {
    std::FILE* f = streamOf(handle);
    std::uint32_t got = 0;
    if (!f || !readStream(handle, f, position, count == FILE_NONE, count, buffer, capacity, got)) return FILE_NONE;
    return got;
}

StrDesc FileReadValue(std::uint16_t handle, std::uint32_t position, std::uint32_t count) {
    std::FILE* f = streamOf(handle);
    StrScratchArea room = StrScratch();
    std::uint32_t cap = std::min<std::uint32_t>(room.len, 65535u);
    std::uint32_t got = 0;
    if (!f || !room.ptr || !readStream(handle, f, position, count == FILE_NONE, count, room.ptr, cap, got))
        return StrErrorValue(err::DISKIO);
    // The bytes already lie where the next value goes: claim them.
    if (StrReserve(static_cast<std::uint16_t>(got), 255)) return StrErrorValue(err::OUTOFMEMORY);
    return StrTop();
}

std::uint32_t FileWrite(std::uint16_t handle, std::uint32_t position, const char* data, std::uint32_t length) {
    if (!data) return err::BADINPUTDATA;
    std::FILE* f = streamOf(handle);
    if (!f || handle == 0) return FILE_NONE;
    return writeStream(f, !isConsole(handle), position, data, length) ? length : FILE_NONE;
}

std::uint32_t FileWriteValue(std::uint16_t handle, std::uint32_t position, StrDesc value) {
    if (value.isError()) return StrError(value);
    return FileWrite(handle, position, value.ptr, value.len);
}

std::uint32_t FileLoadRange(StrDesc name, std::uint32_t position, std::uint32_t count, char* buffer,
                            std::uint32_t capacity) {
    OpenedFile file(name, fileflag::READONLY);
    if (!file.ok()) return FILE_NONE;
    Range r = rangeOf(file.handle(), position, count);
    if (r.length == 0) return 0;
    if (r.length > capacity) return FILE_NONE;
    std::uint32_t got = 0;
    if (!readStream(file.handle(), file.stream(), r.start, false, static_cast<std::uint32_t>(r.length), buffer,
                    capacity, got))
        return FILE_NONE;
    return got;
}

StrDesc FileLoad(StrDesc name, std::uint32_t position, std::uint32_t count) {
    StrMarkT m = StrMark();
    OpenedFile file(name, fileflag::READONLY);
    if (!file.ok()) return StrErrorValue(err::NOTFOUND);
    Range r = rangeOf(file.handle(), position, count);
    if (r.length == 0) {
        ErrCode e = StrPush(StrView(""));
        return e ? StrErrorValue(fail(e, name, 0)) : StrTop();
    }
    if (r.length > 65535) return StrErrorValue(fail(err::STRINGTOOLONG, name, 0));
    auto len = static_cast<std::uint16_t>(r.length);
    if (StrReserve(len, 255)) return StrErrorValue(fail(err::OUTOFMEMORY, name, 0));
    std::uint32_t got = 0;
    if (!readStream(file.handle(), file.stream(), r.start, false, len, StrTopWritable(), len, got)) {
        StrRelease(m);
        return StrErrorValue(err::NOTFOUND);
    }
    StrTopShrink(static_cast<std::uint16_t>(got));
    return StrTop();
}

StrDesc FileLoadText(StrDesc name, StrDesc replacement) {
    if (replacement.isError()) return replacement;
    StrMarkT m = StrMark();
    StrDesc text = FileLoad(name, 0, FILE_NONE);
    if (text.isError()) return text;
    std::uint32_t ends = 0, endBytes = 0;
    for (std::uint32_t i = 0; i < text.len; ++i) {
        if (text[i] == '\r' && i + 1 < text.len && text[i + 1] == '\n') {
            ++ends;
            endBytes += 2;
            ++i;
        } else if (text[i] == '\n') {
            ++ends;
            endBytes += 1;
        }
    }
    if (ends == 0) return text;
    std::uint64_t total = static_cast<std::uint64_t>(text.len) - endBytes + static_cast<std::uint64_t>(ends) * replacement.len;
    if (total > 65535) {
        StrRelease(m);
        return StrErrorValue(fail(err::STRINGTOOLONG, name, 0));
    }
    if (StrReserve(static_cast<std::uint16_t>(total), 255)) {
        StrRelease(m);
        return StrErrorValue(fail(err::OUTOFMEMORY, name, 0));
    }
    char* w = StrTopWritable();
    for (std::uint32_t i = 0; i < text.len; ++i) {
        bool crlf = text[i] == '\r' && i + 1 < text.len && text[i + 1] == '\n';
        if (crlf || text[i] == '\n') {
            if (replacement.len) std::memcpy(w, replacement.ptr, replacement.len);
            w += replacement.len;
            if (crlf) ++i;
        } else {
            *w++ = text[i];
        }
    }
    return StrReturn(m, StrTop());
}

std::uint32_t FileSizeOf(StrDesc name) {
    OpenedFile file(name, fileflag::READONLY | fileflag::QUIET);
    return file.ok() ? FileLength(file.handle()) : 0;
}

std::uint32_t FileStore(StrDesc name, std::uint32_t position, const char* data, std::uint32_t length) {
    return storeData(name, position, data, length) ? length : FILE_NONE;
}

ErrCode FileStoreChecked(StrDesc name, std::uint32_t position, const char* data, std::uint32_t length) {
    return storeData(name, position, data, length) ? err::OK : err::FILEIO;
}

ErrCode FileStorePrivate(StrDesc name, StrDesc content) {
    if (content.isError()) return StrError(content);
    if (content.len == 0 || isConName(name)) return err::FILEIO;
    return replaceFile(name, content.ptr, content.len, true) ? err::OK : err::FILEIO;
}

int FileDelete(StrDesc name) {
    char sys[OSNAME_BYTES];
    return systemName(name, sys) ? std::remove(sys) : -1;
}

int FileRename(StrDesc oldName, StrDesc newName) {
    char from[OSNAME_BYTES], to[OSNAME_BYTES];
    if (!systemName(oldName, from) || !systemName(newName, to)) return -1;
    return std::rename(from, to);
}

}  // namespace rt
