// The file layer: every disk file of the runtime goes through its numbered
// handles.
//
// The handle table has 40 slots. Slots 0, 1 and 2 are standard input, output
// and error; they are filled when the table is first used and never closed
// here. Slots 3-39 take files opened by name, the lowest free slot first.
// Streams are binary; transfers go in pieces of at most 512 bytes. Names are
// runtime names (see core/osname.h), at most 383 bytes.
//
// Handle operations given a handle of 40 or more, or of a free slot: FileClose
// 0, FileLength 0, FileTell 0, FileAtEnd 1, FileRead/FileWrite/FileWriteValue
// 65535, FileReadValue the error value 130. Nothing is recorded for them.
#pragma once
#include <cstdint>

#include "core/strdesc.h"

namespace rt {

constexpr std::uint16_t FILE_HANDLES = 40;
constexpr std::uint16_t FILE_NAME_MAX = 383;
// As a position: the current position (reads) or the end (writes); as a
// count: one line; as a result: nothing read or written.
constexpr std::uint32_t FILE_NONE = 65535;
// FileStore position: replace the whole file.
constexpr std::uint32_t FILE_REPLACE = 65534;

namespace fileflag {
constexpr std::uint16_t READ = 1;       // no other bit: read and update ("r+b")
constexpr std::uint16_t WRITE = 2;      // truncate ("w")
constexpr std::uint16_t APPEND = 4;     // append ("a")
constexpr std::uint16_t READONLY = 8;   // no "+"; a missing file is not created
constexpr std::uint16_t QUIET = 0x80;   // failures are returned, not recorded
}  // namespace fileflag

// Opens `name` with mode letter w (WRITE), a (APPEND) or r, then "b", then
// "+" unless READONLY; without READONLY a missing file is created empty first
// (an existing file is never truncated by that step). "CON" (exactly) opens
// nothing: it is handle 1 when the low five flag bits are WRITE, else handle 0.
// Returns the handle, or 163 (empty, too long or NUL-holding name), 168 (no
// free slot, checked before "CON"), 164 (cannot be opened or created, or a
// folder). Failures append the name to the error detail and are recorded with
// context Streams unless QUIET is set.
std::uint16_t FileOpen(StrDesc name, std::uint16_t flags);
// Closes and frees the slot; returns the handle. Handles 0-2 stay open and are
// returned as they are.
std::uint16_t FileClose(std::uint16_t handle);
// Closes slots 3-39 and forgets the table (runtime reset and tests).
void FileCloseAll();

// Size in bytes (position kept); 65535 for handles 0-2.
std::uint32_t FileLength(std::uint16_t handle);
// Current position; 0 for handle 0 (and when the platform cannot tell).
std::uint32_t FileTell(std::uint16_t handle);
// 1 when the position is at or beyond the size. Handle 0: 1 once standard
// input has ended; handles 1 and 2: always 1 (nothing to read).
std::uint16_t FileAtEnd(std::uint16_t handle);

// Reads from `position` (FILE_NONE: the current position) into buffer[0..capacity).
// A block read (count < 65535) gathers count bytes or up to the end of the
// file. A line read (count 65535) ends at CR LF, LF or CR, returns the line
// without its terminator and leaves the stream after the terminator; a line
// without terminator ends at the end of the file; when what is gathered of a
// line is the single byte 0x1A (the old end-of-file mark) it is stepped over. Handle 0 is read one byte at a time from
// where standard input stands (the position is ignored); handles 1 and 2 give 65535.
// Returns the bytes of the block or line, or 65535 when the end of the file is
// reached before anything was gathered, or when the data do not fit the
// buffer (a line longer than capacity, more block bytes than capacity): the stream is
// then put back where the read started (not possible for handle 0).
std::uint32_t FileRead(std::uint16_t handle, std::uint32_t position, std::uint32_t count, char* buffer,
                       std::uint32_t capacity);
// FileRead into the free space above the string stack's top, pushed as one
// value (at most 65535 bytes). Error value 130 when the read gives 65535,
// 145 when the value cannot be pushed.
StrDesc FileReadValue(std::uint16_t handle, std::uint32_t position, std::uint32_t count);

// Seeks to `position` (FILE_NONE: the end; the standard streams do not seek)
// and writes the data in pieces of at most 512 bytes, then flushes. Returns
// length when every byte was written, else 65535; a null data pointer is 163.
std::uint32_t FileWrite(std::uint16_t handle, std::uint32_t position, const char* data, std::uint32_t length);
// An error value returns its code; otherwise FileWrite of its bytes.
std::uint32_t FileWriteValue(std::uint16_t handle, std::uint32_t position, StrDesc value);

// Opens read-only (recorded failure), reads count bytes (65535: up to the end)
// from position into the buffer, closes. Returns the bytes read (0 for an
// empty range) or 65535 (cannot be opened, or the range does not fit).
std::uint32_t FileLoadRange(StrDesc name, std::uint32_t position, std::uint32_t count, char* buffer,
                            std::uint32_t capacity);
// The same range as a new string value. "" for an empty range; error value 145
// when the string stack's free space is smaller than the range, 146 when the
// range is longer than a string value (65535 bytes), 65535 for other failures.
StrDesc FileLoad(StrDesc name, std::uint32_t position, std::uint32_t count);
// The whole file with every line end (CR LF, or a LF alone) replaced by
// `replacement`; a lone CR stays. Errors as FileLoad; an error value as
// replacement is returned unchanged.
StrDesc FileLoadText(StrDesc name, StrDesc replacement);
// Size of the file; 0 when it cannot be opened (not recorded).
std::uint32_t FileSizeOf(StrDesc name);

// Opens for update (a missing file is created), writes the data at position
// (FILE_NONE: appended at the end), closes. FILE_REPLACE replaces the whole
// file: the data go to a new file beside it that is then renamed over the old
// one (keeping its permission bits), so a failed write leaves the old file as
// it was. Returns length, or 65535 when anything was not written; empty data
// write nothing and give 65535. A write that fails after the open is recorded
// as 131 with the name.
std::uint32_t FileStore(StrDesc name, std::uint32_t position, const char* data, std::uint32_t length);
// As FileStore: 0 when every byte was written, otherwise 131 ("File I/O").
ErrCode FileStoreChecked(StrDesc name, std::uint32_t position, const char* data, std::uint32_t length);
// Replaces the whole file with `content` as FileStore with FILE_REPLACE
// does, but the new file is readable and writable by its owner only (it may
// hold a password). 0, or 131 ("File I/O", recorded with the name) when
// anything was not written; the old file is then unchanged. Empty content
// and "CON" give 131 and write nothing; an error value returns its code.
ErrCode FileStorePrivate(StrDesc name, StrDesc content);
// The platform's remove / rename of the mapped names: 0 on success, -1 on
// failure (also for a name that cannot be mapped). Not recorded.
int FileDelete(StrDesc name);
int FileRename(StrDesc oldName, StrDesc newName);

}  // namespace rt
