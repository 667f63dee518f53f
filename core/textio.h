// Disk access of the message catalogue and the logs, kept in this one place
// so that it moves onto the numbered-handle file layer in one step.
//
// Names are the runtime's own (backslash separators); they are mapped to the
// operating system's form here, and a name that does not exist exactly is
// matched case-insensitively within its folder.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "core/strdesc.h"

namespace rt::textio {

struct LineReader {
    void* stream = nullptr;
};

// Opens a text file for line reading; false when it cannot be opened.
bool openLines(LineReader& r, StrDesc name);
// Reads the next line (ended by CR LF, CR or LF; the terminator is dropped)
// into buf. Returns its length, or 65535 at the end of the file or when the
// line does not fit in `cap` bytes.
std::uint16_t readLine(LineReader& r, char* buf, std::uint32_t cap);
void closeLines(LineReader& r);

// Appends the parts to a file, creating it when missing. false when the
// file cannot be opened or not every byte was written.
bool append(StrDesc name, std::initializer_list<StrDesc> parts);
// Deletes a file; false when there was nothing to delete or it failed.
bool remove(StrDesc name);
// The first name, in byte order, in `folder` ("" = the current folder) that
// starts with `prefix` and ends with `suffix` (case-insensitively), joined to
// the folder with a backslash. Pushed; "" when there is none.
StrDesc findFirst(StrDesc folder, StrDesc prefix, StrDesc suffix);

}  // namespace rt::textio
