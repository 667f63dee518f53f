#include "lang/varstore.h"

#include "lang/numbers.h"

#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "core/log.h"
#include "core/memblocks.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/growarray.h"

namespace rt {
namespace {

constexpr std::uint16_t kKinds = 4;
constexpr std::uint32_t kArrayMaxBytes = 64u << 20;
constexpr std::uint32_t kFirstBuckets = 64;

// One created variable, in creation order (so a restore drops a tail).
struct IndexEntry {
    std::uint32_t hash;
    std::uint32_t keyOff;  // in the NAMEBYTES array
    std::uint16_t keyLen;
    std::uint8_t kind;
    std::uint8_t unused;
    std::int32_t pos;
    std::int32_t next;  // older entry of the same bucket, -1 at the end
};

struct ArrayDesc {
    std::uint8_t elemKind;
    std::uint8_t dims;
    std::uint16_t width;
    std::uint32_t extents[4];
    std::uint32_t count;
    std::uint32_t dataOff;  // in the ARRAYDATA array
};

// A name as it is stored: the bytes, plus an implied '(' for array names
// given without it.
struct Key {
    const char* p;
    std::uint16_t len;
    bool paren;
    std::uint16_t size() const { return static_cast<std::uint16_t>(len + (paren ? 1 : 0)); }
};

bool g_ready = false;
std::uint16_t g_items[kKinds];
std::uint16_t g_listBytes[kKinds];
std::uint32_t g_bucketMask = 0;
HostHook g_hooks[hook::COUNT];

std::uint16_t kindIndex(VarKind k) { return static_cast<std::uint16_t>(k); }

ErrCode recorded(std::uint16_t context, ErrCode code) {
    if (code) ErrorRecordSet(1, context, code, 0);
    return code;
}

// ---- classification and keys ------------------------------------------------

VarKind classify(const char* p, std::uint16_t n) {
    if (!p || n == 0) return VarKind::INVALID;
    bool paren = false, dollar = false, hash = false, comma = false;
    for (std::uint16_t i = 0; i < n; ++i) {
        switch (p[i]) {
            case '@': return VarKind::INVALID;
            case '(': paren = true; break;
            case '$': dollar = true; break;
            case '#': hash = true; break;
            case ',': if (!paren) comma = true; break;
            default: break;
        }
    }
    if (comma) return VarKind::INVALID;
    if (paren) return VarKind::ARRAY;
    if (dollar) return VarKind::STRING;
    if (hash) return VarKind::NUMBER;
    return VarKind::INTEGER;
}

// The stored key of a name of kind `kind`: array names end at their first '('.
Key keyOf(StrDesc name, VarKind kind) {
    if (kind != VarKind::ARRAY) return Key{name.ptr, name.len, false};
    const void* q = std::memchr(name.ptr, '(', name.len);
    return Key{name.ptr, static_cast<std::uint16_t>(static_cast<const char*>(q) - name.ptr + 1), false};
}

// The stored key of an array given as 'M#' or 'M#(...'; the element kind
// (from the name without its '(') goes to elemKind.
Key arrayKey(StrDesc name, VarKind& elemKind) {
    elemKind = VarKind::INVALID;
    if (name.isError() || name.len == 0) return Key{"", 0, false};
    const void* q = std::memchr(name.ptr, '(', name.len);
    std::uint16_t base = q ? static_cast<std::uint16_t>(static_cast<const char*>(q) - name.ptr) : name.len;
    elemKind = classify(name.ptr, base);
    if (elemKind == VarKind::ARRAY) elemKind = VarKind::INVALID;
    if (q) return Key{name.ptr, static_cast<std::uint16_t>(base + 1), false};
    return Key{name.ptr, name.len, true};
}

std::uint32_t hashKey(Key k) {
    std::uint32_t h = 2166136261u;
    for (std::uint16_t i = 0; i < k.len; ++i) {
        h ^= static_cast<unsigned char>(k.p[i]);
        h *= 16777619u;
    }
    if (k.paren) {
        h ^= static_cast<unsigned char>('(');
        h *= 16777619u;
    }
    return h;
}

// ---- the name index ---------------------------------------------------------

IndexEntry* entries() { return reinterpret_cast<IndexEntry*>(growData(grow::NAMEINDEX)); }
std::int32_t* buckets() { return reinterpret_cast<std::int32_t*>(growData(grow::NAMEBUCKETS)); }

const IndexEntry* findKey(Key k, std::uint32_t h) {
    if (!g_ready) return nullptr;
    const IndexEntry* e = entries();
    const char* bytes = growData(grow::NAMEBYTES);
    std::uint16_t size = k.size();
    for (std::int32_t i = buckets()[h & g_bucketMask]; i >= 0; i = e[i].next) {
        const IndexEntry& x = e[i];
        if (x.hash != h || x.keyLen != size) continue;
        const char* s = bytes + x.keyOff;
        if (std::memcmp(s, k.p, k.len) == 0 && (!k.paren || s[k.len] == '(')) return &x;
    }
    return nullptr;
}

std::int32_t findPos(Key k) {
    const IndexEntry* e = findKey(k, hashKey(k));
    return e ? e->pos : -1;
}

// Links entries 0..n-1 into `count` buckets, oldest first (so the newest
// entry of a bucket is its head). False when the buckets cannot be had.
bool rebuildBuckets(std::uint32_t count, std::uint32_t n) {
    if (growResize(grow::NAMEBUCKETS, count)) return false;
    g_bucketMask = count - 1;
    std::int32_t* b = buckets();
    for (std::uint32_t i = 0; i < count; ++i) b[i] = -1;
    IndexEntry* e = entries();
    for (std::uint32_t i = 0; i < n; ++i) {
        std::int32_t& head = b[e[i].hash & g_bucketMask];
        e[i].next = head;
        head = static_cast<std::int32_t>(i);
    }
    return true;
}

// Appends the key to its kind's name list and to the index; the value of
// position g_items[kind] must already be in place. 157 on failure, when
// nothing has changed.
ErrCode appendName(VarKind kind, Key key) {
    std::uint16_t k = kindIndex(kind);
    std::uint32_t n = growCount(grow::NAMEINDEX);
    std::uint32_t nBytes = growCount(grow::NAMEBYTES);
    std::uint32_t listLen = static_cast<std::uint32_t>(g_listBytes[k]) + (g_items[k] ? 1u : 0u) + key.size();
    if (g_items[k] == 65535 || listLen > 65535) return err::VARNAMEERROR;
    auto undoIndex = [&] {
        growResize(grow::NAMEINDEX, n);
        growResize(grow::NAMEBYTES, nBytes);
    };
    if (growResize(grow::NAMEINDEX, n + 1) || growResize(grow::NAMEBYTES, nBytes + key.size())) {
        undoIndex();
        return err::VARNAMEERROR;
    }
    if (n + 1 > g_bucketMask + 1 && !rebuildBuckets((g_bucketMask + 1) * 2, n)) {
        undoIndex();
        return err::VARNAMEERROR;
    }
    // The new list: old list, comma, name.
    StrMarkT m = StrMark();
    if (StrReserve(static_cast<std::uint16_t>(listLen), 255)) {
        undoIndex();
        return err::VARNAMEERROR;
    }
    char* w = StrTopWritable();
    StrDesc old = AreaGet(area::VARNAMES, k);
    if (old.isError() || old.len != g_listBytes[k]) {  // the list was changed behind the store
        StrRelease(m);
        undoIndex();
        return err::INTERNALERROR;
    }
    std::memcpy(w, old.ptr, g_listBytes[k]);
    std::uint32_t at = g_listBytes[k];
    if (g_items[k]) w[at++] = ',';
    std::memcpy(w + at, key.p, key.len);
    if (key.paren) w[at + key.len] = '(';
    ErrCode e = AreaSet(area::VARNAMES, k, StrTop());
    StrRelease(m);
    if (e) {
        undoIndex();
        return err::VARNAMEERROR;
    }
    char* bytes = growData(grow::NAMEBYTES) + nBytes;
    std::memcpy(bytes, key.p, key.len);
    if (key.paren) bytes[key.len] = '(';
    IndexEntry& x = entries()[n];
    x.hash = hashKey(key);
    x.keyOff = nBytes;
    x.keyLen = key.size();
    x.kind = static_cast<std::uint8_t>(k);
    x.unused = 0;
    x.pos = g_items[k];
    std::int32_t& head = buckets()[x.hash & g_bucketMask];
    x.next = head;
    head = static_cast<std::int32_t>(n);
    g_items[k]++;
    g_listBytes[k] = static_cast<std::uint16_t>(listLen);
    return err::OK;
}

// ---- values -----------------------------------------------------------------

std::int16_t* intSlots() { return reinterpret_cast<std::int16_t*>(growData(grow::INTEGERS)); }

std::int64_t loadNum(std::uint16_t pos) {
    std::int64_t v;
    std::memcpy(&v, growData(grow::NUMBERS) + static_cast<std::size_t>(pos) * 8, 8);
    return v;
}

void storeNum(std::uint16_t pos, std::int64_t v) {
    std::memcpy(growData(grow::NUMBERS) + static_cast<std::size_t>(pos) * 8, &v, 8);
}

// a / s rounded half away from zero.
std::int64_t divRound(std::int64_t a, std::int64_t s) {
    std::int64_t q = a / s, r = a % s;
    if (r < 0) r = -r;
    if (2 * r >= s) q += a < 0 ? -1 : 1;
    return q;
}

std::int16_t low16(std::int64_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF)); }

ErrCode createInteger(Key key, std::int16_t value) {
    std::uint16_t pos = g_items[kindIndex(VarKind::INTEGER)];
    if (growResize(grow::INTEGERS, pos + 1u)) return err::VARNAMEERROR;
    intSlots()[pos] = value;
    ErrCode e = appendName(VarKind::INTEGER, key);
    if (e) growResize(grow::INTEGERS, pos);
    return e;
}

ErrCode createNumber(Key key, std::int64_t value) {
    std::uint16_t pos = g_items[kindIndex(VarKind::NUMBER)];
    if (growResize(grow::NUMBERS, pos + 1u)) return err::VARNAMEERROR;
    storeNum(pos, value);
    ErrCode e = appendName(VarKind::NUMBER, key);
    if (e) growResize(grow::NUMBERS, pos);
    return e;
}

ErrCode createString(Key key, StrDesc value) {
    std::uint16_t pos = g_items[kindIndex(VarKind::STRING)];
    std::uint16_t before = AreaCount(area::VARVALUES);
    if (AreaSet(area::VARVALUES, pos, value)) return err::VARNAMEERROR;
    ErrCode e = appendName(VarKind::STRING, key);
    if (e) {
        if (before <= pos) AreaTruncate(area::VARVALUES, before);
        else AreaSet(area::VARVALUES, pos, StrDesc{"", 0});
    }
    return e;
}

// The read-only string constants ('.lf$' ...), or null.
const StrDesc* stringConstant(StrDesc name) {
    static const StrDesc lf{"\r\n", 2}, tab{"\t", 1}, pchr{"\\", 1}, null{"", 0};
    if (name.len < 3 || name.ptr[0] != '.') return nullptr;
    unsigned char c = static_cast<unsigned char>(name.ptr[1]);
    if (!((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) return nullptr;
    std::string_view rest(name.ptr + 1, name.len - 1u);
    if (rest == "lf$") return &lf;
    if (rest == "tab$") return &tab;
    if (rest == "pchr$") return &pchr;
    if (rest == "null$") return &null;
    return nullptr;
}

// ---- text to number (numeric input of assignments from outside) ------------

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}



// ---- arrays -----------------------------------------------------------------

ArrayDesc* arrayDescs() { return reinterpret_cast<ArrayDesc*>(growData(grow::ARRAYS)); }

std::int64_t indexOf(const VarArg& a, std::uint16_t scale) { return a.text ? 0 : a.num / scale; }

ErrCode createArray(Key key, VarKind elemKind, const VarArg* args, std::uint16_t n) {
    if (n == 0 || n > 4) return err::DIMSTRUCERROR;
    if (elemKind != VarKind::INTEGER && elemKind != VarKind::NUMBER && elemKind != VarKind::STRING)
        return err::SINTAXERROR;
    std::uint16_t scale = numScale();
    ArrayDesc d{};
    d.elemKind = static_cast<std::uint8_t>(elemKind);
    d.dims = static_cast<std::uint8_t>(n);
    int i = n - 1;
    std::uint64_t count = 1;
    bool tooBig = false;
    for (; i >= 0 && !args[i].text; --i) {
        std::int64_t bound = args[i].num / scale;
        if (bound < 0) return err::SINTAXERROR;
        if (bound >= 0xFFFFFFFFll) {
            tooBig = true;
            continue;
        }
        d.extents[i] = static_cast<std::uint32_t>(bound + 1);
        count *= d.extents[i];
        if (count > kArrayMaxBytes) tooBig = true;
    }
    StrDesc init{"", 0};
    if (elemKind == VarKind::STRING) {
        if (i != 0 || args[0].str.isError() || args[0].str.len == 0) return err::SINTAXERROR;
        init = args[0].str;
        d.width = init.len;
        d.extents[0] = 1;
    } else {
        if (i >= 0) return err::SINTAXERROR;
        d.width = elemKind == VarKind::INTEGER ? 2 : 8;
    }
    if (!tooBig && count < 2) return err::SINTAXERROR;
    if (tooBig || count * d.width > kArrayMaxBytes) return err::STRUCTMEMERROR;
    d.count = static_cast<std::uint32_t>(count);
    std::uint32_t bytes = d.count * d.width;
    d.dataOff = growCount(grow::ARRAYDATA);
    if (growResize(grow::ARRAYDATA, d.dataOff + bytes)) return err::STRUCTMEMERROR;
    if (elemKind == VarKind::STRING) {
        char* p = growData(grow::ARRAYDATA) + d.dataOff;
        for (std::uint32_t e = 0; e < d.count; ++e) std::memcpy(p + static_cast<std::size_t>(e) * d.width, init.ptr, d.width);
    }
    std::uint32_t pos = growCount(grow::ARRAYS);
    if (growResize(grow::ARRAYS, pos + 1)) {
        growResize(grow::ARRAYDATA, d.dataOff);
        return err::STRUCTMEMERROR;
    }
    arrayDescs()[pos] = d;
    ErrCode e = appendName(VarKind::ARRAY, key);
    if (e) {
        growResize(grow::ARRAYS, pos);
        growResize(grow::ARRAYDATA, d.dataOff);
    }
    return e;
}

// Flat position of the indexes (filling the last dimensions), or an error.
ErrCode elementAt(const ArrayDesc& d, const VarArg* args, std::uint16_t n, std::uint32_t& at) {
    if (n == 0 || n > 4 || n > d.dims) return err::DIMSTRUCERROR;
    std::uint16_t scale = numScale();
    __int128 pos = 0, mult = 1;
    for (int j = n - 1, dim = d.dims - 1; j >= 0; --j, --dim) {
        pos += static_cast<__int128>(indexOf(args[j], scale)) * mult;
        mult *= d.extents[dim];
    }
    if (pos < 0 || pos >= d.count) return err::DATAOUTBOUND;
    at = static_cast<std::uint32_t>(pos);
    return err::OK;
}

// Checks that value suits the element kind (a number for numeric kinds).
ErrCode checkElementValue(const ArrayDesc& d, StrDesc value) {
    if (value.isError()) return StrError(value);
    std::int64_t v;
    if (d.elemKind != kindIndex(VarKind::STRING) && !numRead(value, v)) return err::SINTAXERROR;
    return err::OK;
}

void writeElement(const ArrayDesc& d, std::uint32_t at, StrDesc value) {
    char* p = growData(grow::ARRAYDATA) + d.dataOff + static_cast<std::size_t>(at) * d.width;
    std::int64_t v = 0;
    if (d.elemKind == kindIndex(VarKind::STRING)) {
        std::memmove(p, value.ptr, value.len < d.width ? value.len : d.width);
        return;
    }
    numRead(value, v);
    if (d.elemKind == kindIndex(VarKind::INTEGER)) {
        std::int16_t s = low16(v / numScale());
        std::memcpy(p, &s, 2);
    } else {
        std::memcpy(p, &v, 8);
    }
}

ErrCode pushElement(const ArrayDesc& d, std::uint32_t at) {
    const char* p = growData(grow::ARRAYDATA) + d.dataOff + static_cast<std::size_t>(at) * d.width;
    if (d.elemKind == kindIndex(VarKind::STRING)) return StrPush(StrDesc{p, d.width});
    if (d.elemKind == kindIndex(VarKind::INTEGER)) {
        std::int16_t s;
        std::memcpy(&s, p, 2);
        return numPush(static_cast<std::int64_t>(s) * numScale());
    }
    std::int64_t v;
    std::memcpy(&v, p, 8);
    return numPush(v);
}

const ArrayDesc* findArray(Key key) {
    std::int32_t pos = findPos(key);
    return pos < 0 ? nullptr : &arrayDescs()[pos];
}

// An element reference written as text: NAME(a;b) with number literals or
// quoted texts. The arguments point into name.
struct ElementRef {
    VarArg args[5];
    std::uint16_t count = 0;
};

ErrCode parseElementRef(StrDesc name, ElementRef& out) {
    std::string_view s = name.view();
    std::size_t open = s.find('(');
    std::string_view inner = s.substr(open + 1);
    if (inner.empty()) return err::OK;  // 'M#(' alone: no arguments
    if (inner.back() != ')') return err::SINTAXERROR;
    inner.remove_suffix(1);
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i <= inner.size(); ++i) {
        char c = i < inner.size() ? inner[i] : ';';
        if (quote) {
            if (c == quote) quote = 0;
            if (i < inner.size()) continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (c != ';' && c != ',') continue;
        if (out.count == 5) return err::DIMSTRUCERROR;
        std::string_view a = trimmed(inner.substr(start, i - start));
        VarArg& arg = out.args[out.count++];
        if (a.size() >= 2 && (a.front() == '\'' || a.front() == '"') && a.back() == a.front()) {
            arg.text = true;
            arg.str = StrMake(a.data() + 1, a.size() - 2);
        } else {
            arg.num = textToNum(StrView(a));
        }
        start = i + 1;
    }
    return out.count > 4 ? err::DIMSTRUCERROR : err::OK;
}

ErrCode getElement(StrDesc name, const VarArg* args, std::uint16_t n) {
    if (!g_ready) return err::STRUCTMEMERROR;
    VarKind elemKind;
    Key key = arrayKey(name, elemKind);
    if (elemKind == VarKind::INVALID) return err::SINTAXERROR;
    const ArrayDesc* d = findArray(key);
    if (!d) {
        ErrCode e = createArray(key, elemKind, args, n);
        if (e) return e;
        d = findArray(key);
    }
    std::uint32_t at;
    ErrCode e = elementAt(*d, args, n, at);
    return e ? e : pushElement(*d, at);
}

ErrCode setElement(StrDesc name, const VarArg* args, std::uint16_t n, StrDesc value) {
    if (!g_ready) return err::STRUCTMEMERROR;
    VarKind elemKind;
    Key key = arrayKey(name, elemKind);
    if (elemKind == VarKind::INVALID) return err::SINTAXERROR;
    const ArrayDesc* d = findArray(key);
    if (!d) return err::DIMSTRUCERROR;
    std::uint32_t at;
    ErrCode e = elementAt(*d, args, n, at);
    if (!e) e = checkElementValue(*d, value);
    if (!e) writeElement(*d, at, value);
    return e;
}

void resetState() {
    g_ready = false;
    for (std::uint16_t k = 0; k < kKinds; ++k) g_items[k] = g_listBytes[k] = 0;
    g_bucketMask = 0;
    for (HostHook& h : g_hooks) h = nullptr;
}

}  // namespace

// ---- lifecycle --------------------------------------------------------------

ErrCode varInit() {
    varShutdown();
    if (!MemReady() || !AreaReady()) return err::STRUCTMEMERROR;
    if (AreaTruncate(area::VARNAMES, 0) || AreaTruncate(area::VARVALUES, 0) ||
        AreaSet(area::VARNAMES, kKinds - 1, StrDesc{"", 0}))
        return err::STRUCTMEMERROR;
    ErrCode e = growInit();
    if (e) return e;
    if (growReset(grow::INTEGERS, 2) || growReset(grow::NUMBERS, 8) || growReset(grow::ARRAYS, sizeof(ArrayDesc)) ||
        growReset(grow::ARRAYDATA, 1) || growReset(grow::NAMEINDEX, sizeof(IndexEntry)) ||
        growReset(grow::NAMEBUCKETS, 4) || growReset(grow::NAMEBYTES, 1)) {
        growShutdown();
        return err::STRUCTMEMERROR;
    }
    g_ready = true;
    // The number and date conversions read their switches from the store.
    numSysBind([](std::uint16_t pos) { return sysGet(pos); },
               [](std::uint16_t pos, std::int16_t v) { sysSet(pos, v); });
    // So does the trace log.
    TraceFlagsBind([] { return static_cast<std::uint16_t>(sysGet(SysVar::TRACE)); },
                   [](std::uint16_t flags) { sysSet(SysVar::TRACE, static_cast<std::int16_t>(flags)); });
    if (!rebuildBuckets(kFirstBuckets, 0)) {
        varShutdown();
        return err::STRUCTMEMERROR;
    }
    for (const SysVarDef& def : kSysIntDefs) {
        if ((e = createInteger(Key{def.name.data(), static_cast<std::uint16_t>(def.name.size()), false}, def.value))) {
            varShutdown();
            return e;
        }
    }
    for (std::string_view name : kSysStrDefs) {
        if ((e = createString(Key{name.data(), static_cast<std::uint16_t>(name.size()), false}, StrDesc{"", 0}))) {
            varShutdown();
            return e;
        }
    }
    return err::OK;
}

void varShutdown() {
    if (g_ready) {
        numSysBind(nullptr, nullptr);
        TraceFlagsBind(nullptr, nullptr);
    }
    if (g_ready && AreaReady()) {
        AreaTruncate(area::VARVALUES, 0);
        AreaTruncate(area::VARNAMES, 0);
    }
    growShutdown();
    resetState();
}

// ---- names ------------------------------------------------------------------

VarKind varClassify(StrDesc name) { return classify(name.ptr, name.len); }

VarRef varLookup(StrDesc name) {
    VarKind kind = classify(name.ptr, name.len);
    if (kind == VarKind::INVALID) return VarRef{kind, -1};
    return VarRef{kind, findPos(keyOf(name, kind))};
}

ErrCode varGet(StrDesc name) {
    if (name.isError()) return StrError(name);
    if (name.len && name.ptr[0] == '_' && g_hooks[hook::FIELDS]) {
        ErrCode e = g_hooks[hook::FIELDS](name, 1, nullptr);
        if (e != err::BADINPUTDATA) return e;
    }
    VarKind kind = classify(name.ptr, name.len);
    switch (kind) {
        case VarKind::INVALID: return err::SINTAXERROR;
        case VarKind::ARRAY: {
            ElementRef ref;
            ErrCode e = parseElementRef(name, ref);
            return e ? e : recorded(ctx::VarStruct, getElement(name, ref.args, ref.count));
        }
        case VarKind::STRING: {
            if (const StrDesc* c = stringConstant(name)) return StrPush(*c);
            std::int32_t pos = findPos(Key{name.ptr, name.len, false});
            return StrPush(pos < 0 ? StrDesc{"", 0} : AreaGet(area::VARVALUES, static_cast<std::uint16_t>(pos)));
        }
        case VarKind::NUMBER: {
            std::int32_t pos = findPos(Key{name.ptr, name.len, false});
            return numPush(pos < 0 ? 0 : loadNum(static_cast<std::uint16_t>(pos)));
        }
        case VarKind::INTEGER: {
            std::int32_t pos = findPos(Key{name.ptr, name.len, false});
            std::int64_t v = pos < 0 ? 0 : intSlots()[pos];
            return numPush(v * numScale());
        }
    }
    return err::SINTAXERROR;
}

ErrCode varSet(StrDesc name) {
    if (name.isError()) return recorded(ctx::VARNMASSIGN, StrError(name));
    if (name.len && name.ptr[0] == '_' && g_hooks[hook::FIELDS]) {
        ErrCode e = g_hooks[hook::FIELDS](name, 5, nullptr);
        if (e != err::BADINPUTDATA) return recorded(ctx::VARNMASSIGN, e);
    }
    if (!g_ready) return recorded(ctx::VARNMASSIGN, err::STRUCTMEMERROR);
    VarKind kind = classify(name.ptr, name.len);
    StrDesc value = StrTop();
    std::int64_t num = 0;
    Key key{name.ptr, name.len, false};
    switch (kind) {
        case VarKind::INVALID: return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
        case VarKind::ARRAY: {
            ElementRef ref;
            ErrCode e = parseElementRef(name, ref);
            if (!e) e = setElement(name, ref.args, ref.count, value);
            return recorded(ctx::VarStruct, e);
        }
        case VarKind::STRING: {
            std::int32_t pos = findPos(key);
            if (pos < 0) return recorded(ctx::VARNMASSIGN, createString(key, value));
            return recorded(ctx::VARNMASSIGN, AreaSet(area::VARVALUES, static_cast<std::uint16_t>(pos), value));
        }
        case VarKind::NUMBER: {
            if (!numRead(value, num)) return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
            std::int32_t pos = findPos(key);
            if (pos < 0) return recorded(ctx::VARNMASSIGN, createNumber(key, num));
            storeNum(static_cast<std::uint16_t>(pos), num);
            return err::OK;
        }
        case VarKind::INTEGER: {
            if (!numRead(value, num)) return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
            std::int16_t v = low16(divRound(num, numScale()));
            std::int32_t pos = findPos(key);
            if (pos < 0) return recorded(ctx::VARNMASSIGN, createInteger(key, v));
            intSlots()[pos] = v;
            return err::OK;
        }
    }
    return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
}

ErrCode varSetInteger(StrDesc name, std::int16_t value) {
    if (classify(name.ptr, name.len) == VarKind::STRING) return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
    StrMarkT m = StrMark();
    ErrCode e = numPush(static_cast<std::int64_t>(value) * numScale());
    if (!e) e = varSet(name);
    StrRelease(m);
    return e;
}

ErrCode varAssignText(StrDesc name, StrDesc text, bool raw) {
    if (text.isError()) return StrError(text);
    VarKind kind = classify(name.ptr, name.len);
    if (kind == VarKind::INVALID) return recorded(ctx::VARNMASSIGN, err::SINTAXERROR);
    bool asText = kind == VarKind::STRING;
    if (kind == VarKind::ARRAY) {
        VarKind elemKind;
        arrayKey(name, elemKind);
        asText = elemKind == VarKind::STRING;
    }
    StrMarkT m = StrMark();
    ErrCode e;
    if (asText) {
        e = StrPush(text);
    } else if (raw) {
        e = numPush(textToNum(text));
    } else {
        StrDesc clean = cleanNumeric(text);
        e = clean.isError() ? StrError(clean) : numPush(textToNum(clean));
    }
    if (!e) e = varSet(name);
    StrRelease(m);
    return e;
}

// ---- by position ------------------------------------------------------------

std::int16_t sysGet(std::uint16_t pos) {
    return pos < g_items[kindIndex(VarKind::INTEGER)] ? intSlots()[pos] : 0;
}

ErrCode sysSet(std::uint16_t pos, std::int16_t value) {
    if (pos >= g_items[kindIndex(VarKind::INTEGER)]) return err::DATAOUTBOUND;
    intSlots()[pos] = value;
    return err::OK;
}

int sysTest(std::uint16_t pos, std::uint16_t mask) {
    return (static_cast<std::uint16_t>(sysGet(pos)) & mask) ? 1 : 0;
}

int sysFlag(std::uint16_t pos, std::uint16_t mask, bool on) {
    std::uint16_t v = static_cast<std::uint16_t>(sysGet(pos));
    v = on ? static_cast<std::uint16_t>(v | mask) : static_cast<std::uint16_t>(v & ~mask);
    sysSet(pos, static_cast<std::int16_t>(v));
    return sysTest(pos, mask);
}

std::int64_t numGet(std::uint16_t pos) { return pos < g_items[kindIndex(VarKind::NUMBER)] ? loadNum(pos) : 0; }

ErrCode numSet(std::uint16_t pos, std::int64_t value) {
    if (pos >= g_items[kindIndex(VarKind::NUMBER)]) return err::DATAOUTBOUND;
    storeNum(pos, value);
    return err::OK;
}

StrDesc strGet(std::uint16_t pos) {
    if (pos >= g_items[kindIndex(VarKind::STRING)]) return StrDesc{"", 0};
    return AreaGet(area::VARVALUES, pos);
}

ErrCode strSet(std::uint16_t pos, StrDesc value) {
    if (pos >= g_items[kindIndex(VarKind::STRING)]) return err::DATAOUTBOUND;
    return AreaSet(area::VARVALUES, pos, value);
}

std::uint16_t numScale() {
    int p = sysGet(SysVar::PRECIS);
    std::uint16_t s = 1;
    for (int i = 0; i < p && s; ++i) s = static_cast<std::uint16_t>(s * 10);
    return s ? s : 1;
}

ErrCode numPush(std::int64_t value) {
    ErrCode e = StrReserve(8, 255);
    if (!e) std::memcpy(StrTopWritable(), &value, 8);
    return e;
}

bool numRead(StrDesc v, std::int64_t& out) {
    if (!v.ptr || v.len != 8) return false;
    std::memcpy(&out, v.ptr, 8);
    return true;
}

std::uint16_t varCount(VarKind kind) { return kindIndex(kind) < kKinds ? g_items[kindIndex(kind)] : 0; }

StrDesc varNames(VarKind kind) {
    if (kindIndex(kind) >= kKinds || !g_ready) return StrDesc{"", 0};
    return AreaGet(area::VARNAMES, kindIndex(kind));
}

// ---- local scopes -----------------------------------------------------------

VarMark varSnapshot() {
    VarMark m{};
    for (std::uint16_t k = 0; k < kKinds; ++k) {
        m.listBytes[k] = g_listBytes[k];
        m.listItems[k] = g_items[k];
    }
    m.integers = growCount(grow::INTEGERS);
    m.numbers = growCount(grow::NUMBERS);
    m.arrays = growCount(grow::ARRAYS);
    m.strings = g_items[kindIndex(VarKind::STRING)];
    return m;
}

ErrCode varRestore(const VarMark& mark) {
    if (!g_ready) return recorded(ctx::VarStruct, err::INTERNALERROR);
    for (std::uint16_t k = 0; k < kKinds; ++k) {
        if (AreaGet(area::VARNAMES, k).len < mark.listBytes[k] || g_items[k] < mark.listItems[k])
            return recorded(ctx::VarStruct, err::INTERNALERROR);
    }
    if (growCount(grow::INTEGERS) < mark.integers || growCount(grow::NUMBERS) < mark.numbers ||
        growCount(grow::ARRAYS) < mark.arrays || g_items[kindIndex(VarKind::STRING)] < mark.strings)
        return recorded(ctx::VarStruct, err::INTERNALERROR);
    // Name lists.
    for (std::uint16_t k = 0; k < kKinds; ++k) {
        StrDesc list = AreaGet(area::VARNAMES, k);
        if (list.len > mark.listBytes[k]) {
            ErrCode e = AreaSet(area::VARNAMES, k, StrDesc{list.ptr, mark.listBytes[k]});
            if (e) return recorded(ctx::VarStruct, e);
        }
    }
    // The index: the entries made since the mark are the newest of their buckets.
    std::uint32_t keep = 0;
    for (std::uint16_t k = 0; k < kKinds; ++k) keep += mark.listItems[k];
    std::uint32_t n = growCount(grow::NAMEINDEX);
    if (keep < n) {
        IndexEntry* e = entries();
        std::int32_t* b = buckets();
        for (std::uint32_t i = n; i-- > keep;) b[e[i].hash & g_bucketMask] = e[i].next;
        std::uint32_t bytes = e[keep].keyOff;
        growResize(grow::NAMEINDEX, keep);
        growResize(grow::NAMEBYTES, bytes);
    }
    // Values.
    growResize(grow::INTEGERS, mark.integers);
    growResize(grow::NUMBERS, mark.numbers);
    if (growCount(grow::ARRAYS) > mark.arrays) {
        std::uint32_t dataEnd = arrayDescs()[mark.arrays].dataOff;
        growResize(grow::ARRAYS, mark.arrays);
        growResize(grow::ARRAYDATA, dataEnd);
    }
    for (std::uint16_t pos = g_items[kindIndex(VarKind::STRING)]; pos-- > mark.strings;)
        AreaSet(area::VARVALUES, pos, StrDesc{"", 0});
    for (std::uint16_t k = 0; k < kKinds; ++k) {
        g_items[k] = mark.listItems[k];
        g_listBytes[k] = mark.listBytes[k];
    }
    return err::OK;
}

// ---- arrays -----------------------------------------------------------------

ErrCode arrayCreate(StrDesc name, const VarArg* args, std::uint16_t count) {
    if (!g_ready) return recorded(ctx::VarStruct, err::STRUCTMEMERROR);
    VarKind elemKind;
    Key key = arrayKey(name, elemKind);
    if (elemKind == VarKind::INVALID) return recorded(ctx::VarStruct, err::SINTAXERROR);
    if (findArray(key)) return err::OK;
    return recorded(ctx::VarStruct, createArray(key, elemKind, args, count));
}

ErrCode arrayGet(StrDesc name, const VarArg* args, std::uint16_t count) {
    return recorded(ctx::VarStruct, getElement(name, args, count));
}

ErrCode arraySet(StrDesc name, const VarArg* args, std::uint16_t count, StrDesc value) {
    return recorded(ctx::VarStruct, setElement(name, args, count, value));
}

ErrCode arrayFill(StrDesc name, std::uint32_t from, std::uint32_t to, StrDesc value) {
    if (!g_ready) return recorded(ctx::VarStruct, err::STRUCTMEMERROR);
    VarKind elemKind;
    Key key = arrayKey(name, elemKind);
    if (elemKind == VarKind::INVALID) return recorded(ctx::VarStruct, err::SINTAXERROR);
    const ArrayDesc* d = findArray(key);
    if (!d) return recorded(ctx::VarStruct, err::DIMSTRUCERROR);
    ErrCode e = checkElementValue(*d, value);
    if (e) return recorded(ctx::VarStruct, e);
    if (to == 0 || to > d->count) to = d->count;
    for (std::uint32_t at = from; at < to; ++at) writeElement(*d, at, value);
    return err::OK;
}

ErrCode arrayShape(StrDesc name, ArrayShape& out) {
    VarKind elemKind;
    Key key = arrayKey(name, elemKind);
    const ArrayDesc* d = elemKind == VarKind::INVALID ? nullptr : findArray(key);
    if (!d) return err::DIMSTRUCERROR;
    out.elemKind = static_cast<VarKind>(d->elemKind);
    out.width = d->width;
    out.dims = d->dims;
    for (int i = 0; i < 4; ++i) out.extents[i] = i < d->dims ? d->extents[i] : 0;
    out.count = d->count;
    return err::OK;
}

// ---- screen value descriptors -----------------------------------------------

ErrCode varValueDesc(std::uint16_t n, char& letter, std::int32_t& number) {
    char name[16] = "_V";
    std::size_t len = 2;
    char digits[8];
    std::size_t nd = 0;
    do {
        digits[nd++] = static_cast<char>('0' + n % 10);
        n = static_cast<std::uint16_t>(n / 10);
    } while (n);
    while (nd) name[len++] = digits[--nd];
    name[len++] = '$';
    std::int32_t pos = findPos(Key{name, static_cast<std::uint16_t>(len), false});
    if (pos < 0) return err::VARSCREENFIELD;
    StrDesc v = AreaGet(area::VARVALUES, static_cast<std::uint16_t>(pos));
    if (v.isError() || v.len == 0) return err::VARSCREENFIELD;
    letter = v.ptr[0];
    std::int64_t num = 0;
    for (std::uint16_t i = 1; i < v.len && v.ptr[i] >= '0' && v.ptr[i] <= '9' && num < 100000000; ++i)
        num = num * 10 + (v.ptr[i] - '0');
    number = static_cast<std::int32_t>(num);
    return err::OK;
}

// ---- host hooks -------------------------------------------------------------

ErrCode hookSet(std::uint16_t slot, HostHook fn, HostHook* previous) {
    if (slot >= hook::COUNT) return err::DATAOUTBOUND;
    if (previous) *previous = g_hooks[slot];
    g_hooks[slot] = fn;
    return err::OK;
}

HostHook hookGet(std::uint16_t slot) { return slot < hook::COUNT ? g_hooks[slot] : nullptr; }

ErrCode hookCall(std::uint16_t slot, StrDesc name, std::uint16_t mode, void* arg) {
    HostHook h = hookGet(slot);
    return h ? h(name, mode, arg) : err::NOTFOUND;
}

}  // namespace rt
