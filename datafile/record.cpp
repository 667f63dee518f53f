#include "datafile/record.h"

#include <cstring>

#include "core/errors.h"
#include "core/log.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "lang/dates.h"
#include "lang/masks.h"

namespace rt {
namespace {

DataFileCtrl g_ctrl[DICT_TABLES];

// The layouts of the files used last: record length and field records, so
// that the field operations of a row load do not search the dictionary each
// time. A layout is valid until a table is defined or removed again or the
// buffers are dropped (the generation changes).
constexpr std::uint16_t LAYOUT_FIELDS = 128;
constexpr std::size_t LAYOUTS = 4;
struct Layout {
    std::uint16_t file = 0;
    std::uint32_t generation = 0;
    std::uint16_t recordLength = 0, fieldCount = 0;
    FieldDef defs[LAYOUT_FIELDS];
};
Layout g_layouts[LAYOUTS];
std::size_t g_layoutNext = 0;
std::uint32_t g_generation = 1;

// The layout of a valid file; null for a file outside the dictionary. Fields
// are only ever added to the last table, so a layout whose field count still
// holds is current.
const Layout* layoutOf(std::uint16_t file) {
    for (const Layout& l : g_layouts)
        if (l.file == file && l.generation == g_generation && l.fieldCount == fieldCount(file)) return &l;
    if (file < 1 || file > tableCount()) return nullptr;
    Layout& l = g_layouts[g_layoutNext];
    g_layoutNext = (g_layoutNext + 1) % LAYOUTS;
    l.file = file;
    l.generation = g_generation;
    l.recordLength = recordLength(file);
    l.fieldCount = fieldCount(file);
    for (std::uint16_t i = 0; i < l.fieldCount && i < LAYOUT_FIELDS; ++i)
        l.defs[i] = fieldDef(file, static_cast<std::uint16_t>(i + 1));
    return &l;
}

FieldDef defOf(const Layout& l, std::uint16_t field) {
    return field <= LAYOUT_FIELDS ? l.defs[field - 1] : fieldDef(l.file, field);
}

void layoutsForget() { ++g_generation; }

bool validFile(std::uint16_t file) { return file >= 1 && file <= tableCount(); }

// The writable buffer of the file (working copy then as-read copy); null when
// it is missing or not twice the record length.
char* buffer(const Layout* l) {
    if (!l) return nullptr;
    std::uint16_t index = static_cast<std::uint16_t>(l->file - 1);
    if (index >= AreaCount(area::RECORDS)) return nullptr;
    StrDesc b = AreaGet(area::RECORDS, index);
    if (b.isError() || b.len != 2u * l->recordLength) return nullptr;
    // The entry keeps its length: writing inside it leaves the area consistent.
    return const_cast<char*>(b.ptr);
}

char* buffer(std::uint16_t file) { return buffer(layoutOf(file)); }

ErrCode fieldError(std::uint16_t file, std::uint16_t field) {
    char text[48];
    int n = std::snprintf(text, sizeof text, "(File:%u, Field:%u)", static_cast<unsigned>(file),
                          static_cast<unsigned>(field));
    ErrorDetail(err::DATAOUTBOUND, StrMake(text, static_cast<std::size_t>(n)));
    ErrorRecordSet(1, ctx::DataFile, err::DATAOUTBOUND, 0);
    return err::DATAOUTBOUND;
}

// Blanks around an optional "-", digits and at most one ".", with a digit.
bool isPlainNumber(StrDesc s) {
    std::uint16_t i = 0, end = s.len, digits = 0;
    bool point = false;
    while (i < end && s.ptr[i] == ' ') ++i;
    while (end > i && s.ptr[end - 1] == ' ') --end;
    if (i < end && s.ptr[i] == '-') ++i;
    for (; i < end; ++i) {
        char c = s.ptr[i];
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.' && !point) point = true;
        else return false;
    }
    return digits > 0;
}

StrDesc trimmedBlanks(StrDesc s) {
    std::uint16_t a = 0, e = s.len;
    while (a < e && s.ptr[a] == ' ') ++a;
    while (e > a && s.ptr[e - 1] == ' ') --e;
    return StrDesc{s.ptr + a, static_cast<std::uint16_t>(e - a)};
}

bool hasTab(StrDesc s) { return std::memchr(s.ptr, '\t', s.len) != nullptr; }

// A number the default mask of a type with `decimals` decimals writes
// unchanged: an optional "-", an integer part without leading zeros (a
// single 0 allowed), "." and exactly that many digits; not a negative zero.
bool storedDecimals(StrDesc s, int decimals) {
    std::uint16_t i = 0;
    bool neg = i < s.len && s.ptr[i] == '-';
    if (neg) ++i;
    std::uint16_t start = i;
    bool nonZero = false;
    for (; i < s.len && s.ptr[i] >= '0' && s.ptr[i] <= '9'; ++i)
        if (s.ptr[i] != '0') nonZero = true;
    std::uint16_t intDigits = static_cast<std::uint16_t>(i - start);
    if (intDigits == 0 || (intDigits > 1 && s.ptr[start] == '0')) return false;
    if (i >= s.len || s.ptr[i] != '.') return false;
    ++i;
    for (int d = 0; d < decimals; ++d, ++i) {
        if (i >= s.len || s.ptr[i] < '0' || s.ptr[i] > '9') return false;
        if (s.ptr[i] != '0') nonZero = true;
    }
    return i == s.len && (nonZero || !neg);
}

bool isPlaceholder(StrDesc name) {
    std::string_view v = name.view();
    return v == "NUL" || v == "NULL" || v == "OTHER" || v == "AVOID";
}

}  // namespace

DataFileCtrl* controlBlock(std::uint16_t file) {
    if (validFile(file)) return &g_ctrl[file - 1];
    LogLine(StrView("DataFileCtrl"), 1);
    return nullptr;
}

void resetControlBlock(std::uint16_t file) {
    if (file >= 1 && file <= DICT_TABLES) g_ctrl[file - 1] = DataFileCtrl{};
    layoutsForget();
}

ErrCode recordInit(std::uint16_t file) {
    if (!validFile(file)) return err::DATAOUTBOUND;
    std::uint32_t n = 2u * recordLength(file);
    if (n > 65535) return err::STROUTBOUND;
    StrMarkT m = StrMark();
    ErrCode e = StrReserve(static_cast<std::uint16_t>(n), ' ');
    if (!e) e = AreaSet(area::RECORDS, static_cast<std::uint16_t>(file - 1), StrTop());
    StrRelease(m);
    return e;
}

void recordBuffersClear() {
    if (AreaReady()) AreaTruncate(area::RECORDS, 0);
    layoutsForget();
}

ErrCode clearRecord(std::uint16_t file, std::uint16_t mode) {
    char* b = buffer(file);
    if (!b) return err::FILENOTINIT;
    std::memset(b, ' ', 2u * recordLength(file));
    if (mode == 2 && recordLength(file)) b[0] = 0x1B;
    return err::OK;
}

StrDesc recordCopy(std::uint16_t file, std::uint16_t which) {
    char* b = buffer(file);
    if (!b || which < 1 || which > 3) return StrErrorValue(err::FILENOTINIT);
    std::uint16_t n = recordLength(file);
    if (which == copy::BOTH) return StrMake(b, 2u * n);
    return StrMake(which == copy::WORKING ? b : b + n, n);
}

ErrCode setRecordCopy(std::uint16_t file, std::uint16_t which, StrDesc bytes) {
    if (bytes.isError()) return StrError(bytes);
    char* b = buffer(file);
    if (!b || which < 1 || which > 3) return err::FILENOTINIT;
    std::uint16_t n = recordLength(file);
    std::uint32_t len = which == copy::BOTH ? 2u * n : n;
    char* at = which == copy::ASREAD ? b + n : b;
    std::uint32_t k = bytes.len < len ? bytes.len : len;
    std::memmove(at, bytes.ptr, k);
    std::memset(at + k, ' ', len - k);
    return err::OK;
}

ErrCode copyRecord(std::uint16_t file, std::uint16_t direction) {
    char* b = buffer(file);
    if (!b) return err::FILENOTINIT;
    std::uint16_t n = recordLength(file);
    if (direction == 1) std::memcpy(b + n, b, n);
    else if (direction == 2) std::memcpy(b, b + n, n);
    else return err::BADINPUTDATA;
    return err::OK;
}

bool recordChanged(std::uint16_t file) {
    const char* b = buffer(file);
    std::uint16_t n = recordLength(file);
    return b && std::memcmp(b, b + n, n) != 0;
}

StrDesc fieldText(std::uint16_t file, std::uint16_t field, std::uint16_t which) {
    return fieldSlice(file, field, which, nullptr);
}

StrDesc fieldSlice(std::uint16_t file, std::uint16_t field, std::uint16_t which, FieldDef* def) {
    const Layout* l = layoutOf(file);
    char* b = buffer(l);
    if (!b) return StrErrorValue(err::FILENOTINIT);
    if (field == 0 || field > l->fieldCount || (which != copy::WORKING && which != copy::ASREAD))
        return StrErrorValue(fieldError(file, field));
    FieldDef f = defOf(*l, field);
    if (def) *def = f;
    return StrMake(b + (which == copy::ASREAD ? l->recordLength : 0) + f.offset, f.length);
}

std::uint32_t recordGeneration() { return g_generation; }

namespace {

// setField into the buffer b of the layout l (field in range).
ErrCode storeField(const Layout& l, char* b, std::uint16_t field, StrDesc text) {
    FieldDef f = defOf(l, field);
    StrMarkT m = StrMark();
    StrDesc stored = text;
    bool right = false;  // right-aligned in the field
    if (dateSixApplies(f.type, f.length)) {
        stored = dateSixWrite(text);
    } else if (isNumericType(f.type)) {
        StrDesc t = trimmedBlanks(text);
        if (t.len <= f.length && (f.type == 'N' || f.type == 'L' ? !hasTab(t) : storedDecimals(t, f.type - '0'))) {
            stored = t;  // already in its stored form: right-aligned as it is
            right = true;
        } else {
            stored = fitWidth(f.type, text, f.length);
            if (!stored.isError() && f.type >= '1' && f.type <= '9' && isPlainNumber(stored))
                stored = maskFormat(defaultMask(f.type, f.length), stored, 0);
        }
    } else if (f.type == 'V' || ((f.type == 'D' || f.type == 'F') && f.length == 6)) {
        stored = fitWidth(f.type, text, f.length);
    }
    if (stored.isError()) {
        ErrCode e = StrError(stored);
        StrRelease(m);
        if (e == err::DATAOUTBOUND) {
            ErrorDetail(e, text);
            ErrorRecordSet(1, ctx::DataFile, e, 0);
        }
        return e;
    }
    // Left-aligned, cut or padded (the text may lie in the buffer).
    std::uint16_t k = stored.len < f.length ? stored.len : f.length;
    char* at = b + f.offset;
    if (right) {
        std::memmove(at + f.length - k, stored.ptr, k);
        std::memset(at, ' ', f.length - k);
    } else {
        std::memmove(at, stored.ptr, k);
        std::memset(at + k, ' ', f.length - k);
    }
    StrRelease(m);
    return err::OK;
}

}  // namespace

ErrCode setField(std::uint16_t file, std::uint16_t field, StrDesc text) {
    if (text.isError()) return StrError(text);
    const Layout* l = layoutOf(file);
    char* b = buffer(l);
    if (!b) return err::FILENOTINIT;
    if (field == 0 || field > l->fieldCount) return fieldError(file, field);
    return storeField(*l, b, field, text);
}

ErrCode setFields(std::uint16_t file, std::uint16_t first, const StrDesc* values, std::uint16_t count, bool dashedDates) {
    const Layout* l = layoutOf(file);
    char* b = buffer(l);
    if (!b) return err::FILENOTINIT;
    // Storing a field changes nothing in the StringArea, so the buffer stays where it is.
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint32_t field = static_cast<std::uint32_t>(first) + i;
        if (field == 0 || field > l->fieldCount) return fieldError(file, static_cast<std::uint16_t>(field));
        StrDesc v = values[i];
        if (v.isError()) return StrError(v);
        StrMarkT m = StrMark();
        if (dashedDates && defOf(*l, static_cast<std::uint16_t>(field)).type == 'D' && std::memchr(v.ptr, '-', v.len)) {
            if (StrReserve(v.len, 255)) return err::OUTOFMEMORY;
            char* w = StrTopWritable();
            std::uint16_t k = 0;
            for (std::uint16_t j = 0; j < v.len; ++j)
                if (v.ptr[j] != '-') w[k++] = v.ptr[j];
            v = StrMake(w, k);
        }
        ErrCode e = storeField(*l, b, static_cast<std::uint16_t>(field), v);
        StrRelease(m);
        if (e) return e;
    }
    return err::OK;
}

bool fieldChanged(std::uint16_t file, std::uint16_t field) {
    const Layout* l = layoutOf(file);
    const char* b = buffer(l);
    if (!b || field == 0 || field > l->fieldCount) return false;
    FieldDef f = defOf(*l, field);
    return std::memcmp(b + f.offset, b + l->recordLength + f.offset, f.length) != 0;
}

StrDesc keyValue(std::uint16_t file, std::uint16_t key, std::uint16_t which) {
    KeyDef k;
    ErrCode e = keyDef(file, key, k);
    if (e) return StrErrorValue(e);
    StrDesc rec = recordCopy(file, which == copy::ASREAD ? copy::ASREAD : copy::WORKING);
    if (rec.isError()) return rec;
    std::uint32_t total = 0;
    for (std::uint16_t s = 0; s < k.segmentCount; ++s) total += k.segments[s].length;
    if (total > 65535) return StrErrorValue(err::STRINGTOOLONG);
    if (StrReserve(static_cast<std::uint16_t>(total), ' ')) return StrErrorValue(err::OUTOFMEMORY);
    char* w = StrTopWritable();
    for (std::uint16_t s = 0; s < k.segmentCount; ++s) {
        const KeySegment& seg = k.segments[s];
        if (seg.offset < rec.len) {
            std::uint16_t n = static_cast<std::uint16_t>(rec.len - seg.offset);
            std::memcpy(w, rec.ptr + seg.offset, seg.length < n ? seg.length : n);
        }
        w += seg.length;
    }
    return StrTop();
}

std::uint16_t realFieldCount(std::uint16_t file) {
    std::uint16_t n = fieldCount(file);
    while (n > 0 && isPlaceholder(fieldName(file, n))) --n;
    return n;
}

}  // namespace rt
