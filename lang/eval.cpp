#include "lang/eval.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/log.h"
#include "core/macro.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/funclist.h"
#include "lang/funcs.h"
#include "lang/numbers.h"
#include "lang/varstore.h"

namespace rt {
namespace {

// ---- Fixed lists ---------------------------------------------------------------

enum Op : std::uint8_t {
    OP_NONE = 0,
    OP_MUL = 1,
    OP_DIV,
    OP_ROUND,    // x ! n
    OP_PCT,      // x % y: y per cent of x
    OP_LESSPCT,  // x 0xF7 y: x less y per cent
    OP_ADD,
    OP_SUB,
    OP_ASSIGN,
    OP_GT,
    OP_LT,
    OP_EQ,
    OP_GE,
    OP_LE,
    OP_NE,
    OP_AND,      // &
    OP_BAR,      // single vertical bar
    OP_AT,       // @
    OP_LAND,     // &&
    OP_LOR,      // double vertical bar
    OP_DISJOINT, // @@
};

struct OpDef {
    std::string_view text;
    std::uint8_t code;
    std::uint8_t prec;
};

// The operator table: code = position in the list, higher precedence binds
// tighter, equal precedence associates to the left.
constexpr OpDef kOperators[] = {
    {"*", OP_MUL, 4},  {"/", OP_DIV, 4},  {"!", OP_ROUND, 4}, {"%", OP_PCT, 4},  {"\xF7", OP_LESSPCT, 4},
    {"+", OP_ADD, 3},  {"-", OP_SUB, 3},  {"=", OP_ASSIGN, 0}, {">", OP_GT, 2},  {"<", OP_LT, 2},
    {"==", OP_EQ, 2},  {">=", OP_GE, 2},  {"<=", OP_LE, 2},   {"<>", OP_NE, 2},  {"&", OP_AND, 1},
    {"|", OP_BAR, 5},  {"@", OP_AT, 1},   {"&&", OP_LAND, 1}, {"||", OP_LOR, 1}, {"@@", OP_DISJOINT, 1},
};
constexpr bool operatorCodesArePositions() {
    for (std::size_t i = 0; i < std::size(kOperators); ++i)
        if (kOperators[i].code != i + 1) return false;
    return std::size(kOperators) == 20;
}
static_assert(operatorCodesArePositions());

// Characters that end an operand, and those that make a two-character operator.
constexpr std::string_view kOperatorChars = "*/!%\xF7+-(;,:)=><&@|";
constexpr std::string_view kSecondChars = "=><&@|";

constexpr std::uint8_t CH_OP = 1, CH_SECOND = 2, CH_QUOTE = 4;
constexpr std::array<std::uint8_t, 256> kCharClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (char c : kOperatorChars) t[static_cast<unsigned char>(c)] |= CH_OP;
    for (char c : kSecondChars) t[static_cast<unsigned char>(c)] |= CH_SECOND;
    t['\''] |= CH_QUOTE;
    t['"'] |= CH_QUOTE;
    return t;
}();

// Dot constants ('.datey'): table and entry numbers, navigation codes, date
// multipliers and flags.
struct DotConst {
    std::string_view name;
    std::int32_t value;
};
constexpr DotConst kDotConstants[] = {
    {"envron", 0},    {"lang", 0},      {"cmdline", 1},    {"apname", 2},     {"apdesc", 3},
    {"langmodule", 4}, {"docpath", 5},  {"docroot", 5},    {"helppath", 7},   {"funclist", 8},
    {"butlabels", 9}, {"maskparms", 10}, {"datem", 100},   {"datey", 10000},  {"envvar", 9},
    {"maincond", 1},  {"pdfhead", 3},   {"dialog", 7},     {"aux", 31},       {"scrbuf", 32},
    {"fsel", 33},     {"wret", 34},     {"fnparm", 35},    {"usrfil", 36},    {"fileln", 37},
    {"usrfif", 38},   {"top", 36},      {"next", 16},      {"previous", 20},  {"bottom", 32},
    {"noprint", 8192}, {"iscgi", 16384},
};

// Operand kinds.
constexpr std::uint8_t K_STRING = 1, K_VAR = 2, K_NUMVAR = 4, K_FIELD = 8, K_ELEMENT = 16, K_CALL = 32,
                       K_GROUP = 64;

constexpr int kMaxDepth = 200;          // nesting of groups, calls and signs
constexpr std::uint8_t kMaxArgs = 16;

// ---- Tokenizer -------------------------------------------------------------------

constexpr std::uint16_t NOTOK = 0xFFFF;
constexpr std::uint8_t TF_PAREN = 1;  // the operand is followed by a parenthesised part
constexpr std::uint8_t TF_LAST = 2;   // no step follows in this text
constexpr std::uint8_t TF_EMPTY = 4;  // no operand text and no parentheses

// One tokenizer step: an operand and the operator after it.
struct Tok {
    std::int64_t num;        // number literal value, read with numScale and numPrecis
    std::uint16_t start;     // operand text (for a call, the name before '(')
    std::uint16_t len;
    std::uint16_t in;        // inside of the parentheses
    std::uint16_t inLen;
    std::uint16_t next;      // where the next step begins
    std::uint16_t nextTok;   // remembered steps: the next step of this text
    std::uint16_t childTok;  // remembered steps: the first step of the inside
    ErrCode err;             // 129 unmatched '(', 147 text after ')'
    std::uint8_t op;         // operator after the operand, OP_NONE ends the expression
    std::uint8_t prec;
    std::uint8_t kind;
    std::uint8_t func;
    std::uint8_t flags;
    std::int8_t numPrecis;   // decimals num was read with, -1 none
    std::uint16_t numScale;  // scale num was read with
};

inline bool isOp(char c) { return kCharClass[static_cast<unsigned char>(c)] & CH_OP; }

// First operator character outside quotes in [i, end); end when none. An
// unterminated quote hides the rest.
std::uint16_t findOperator(const char* p, std::uint16_t i, std::uint16_t end) {
    while (i < end) {
        std::uint8_t cls = kCharClass[static_cast<unsigned char>(p[i])];
        if (cls & CH_OP) return i;
        if (cls & CH_QUOTE) {
            const void* q = std::memchr(p + i + 1, p[i], end - i - 1u);
            if (!q) return end;
            i = static_cast<std::uint16_t>(static_cast<const char*>(q) - p + 1);
            continue;
        }
        ++i;
    }
    return end;
}

// The ')' matching the '(' at `open`, counting nested pairs outside quotes;
// end when there is none.
std::uint16_t matchParen(const char* p, std::uint16_t open, std::uint16_t end) {
    int depth = 0;
    for (std::uint16_t i = open; i < end; ++i) {
        char c = p[i];
        if (c == '\'' || c == '"') {
            const void* q = std::memchr(p + i + 1, c, end - i - 1u);
            if (!q) return end;
            i = static_cast<std::uint16_t>(static_cast<const char*>(q) - p);
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i;
        }
    }
    return end;
}

std::uint8_t operatorCode(const char* p, std::uint16_t n, std::uint8_t& prec) {
    std::string_view t(p, n);
    for (const OpDef& d : kOperators)
        if (d.text == t) {
            prec = d.prec;
            return d.code;
        }
    prec = 0;
    return OP_NONE;
}

// Kind of an operand text without parentheses: the first of ' " $ # { found
// decides; with none, a first character below 'A' is a number literal or a
// dot constant and anything else an integer variable.
std::uint8_t classify(const char* p, std::uint16_t n) {
    auto has = [&](char c) { return std::memchr(p, c, n) != nullptr; };
    if (has('\'') || has('"')) return K_STRING;
    if (has('$')) return K_VAR | K_STRING;
    if (has('#')) return K_VAR | K_NUMVAR;
    if (has('{')) return K_FIELD;
    return static_cast<unsigned char>(p[0]) < 'A' ? 0 : K_VAR;
}

// Scans the step that begins at pos in the text [.., end).
void scanStep(const char* p, std::uint16_t pos, std::uint16_t end, Tok& t) {
    t = Tok{};
    t.nextTok = t.childTok = NOTOK;
    t.numPrecis = -1;
    t.start = pos;
    std::uint16_t q = findOperator(p, pos, end);
    t.len = static_cast<std::uint16_t>(q - pos);
    if (q < end && p[q] == '(') {
        t.flags |= TF_PAREN;
        t.in = static_cast<std::uint16_t>(q + 1);
        std::uint16_t close = matchParen(p, q, end);
        if (close >= end) {
            t.inLen = static_cast<std::uint16_t>(end - t.in);
            t.err = err::LOOPFAILURE;
            t.next = end;
            t.flags |= TF_LAST;
            return;
        }
        t.inLen = static_cast<std::uint16_t>(close - t.in);
        if (t.len == 0) {
            t.kind = K_GROUP;
        } else {
            t.func = static_cast<std::uint8_t>(funcLookup(std::string_view(p + pos, t.len)));
            t.kind = t.func ? K_CALL : K_ELEMENT;
        }
        q = findOperator(p, static_cast<std::uint16_t>(close + 1), end);
        // Text, or another '(', between ')' and the next operator.
        if (q != close + 1 || (q < end && p[q] == '(')) t.err = err::SINTAXERROR;
    } else if (t.len == 0) {
        t.flags |= TF_EMPTY;
    } else {
        t.kind = classify(p + pos, t.len);
    }
    if (q >= end) {
        t.next = end;
    } else if (p[q] == ';' || p[q] == ',') {
        t.next = static_cast<std::uint16_t>(q + 1);
    } else {
        std::uint16_t n = (q + 1 < end && (kCharClass[static_cast<unsigned char>(p[q + 1])] & CH_SECOND)) ? 2 : 1;
        t.op = operatorCode(p + q, n, t.prec);
        t.next = static_cast<std::uint16_t>(q + n);
    }
    // A separator or an unknown operator text at the very end still opens an
    // (empty) further expression: 'F(a;)' has two arguments, the second empty.
    if (t.op == OP_NONE && q >= end) t.flags |= TF_LAST;
}

// Remembers the steps of [begin, end) and of every inside, depth first, in
// toks[n..cap). Returns the index of the first step, NOTOK when they do not fit.
std::uint16_t compileText(const char* p, std::uint16_t begin, std::uint16_t end, Tok* toks, std::uint16_t& n,
                          std::uint16_t cap, int depth) {
    std::uint16_t first = n, prev = NOTOK, pos = begin;
    for (;;) {
        if (n >= cap) return NOTOK;
        std::uint16_t i = n++;
        scanStep(p, pos, end, toks[i]);
        if (prev != NOTOK) toks[prev].nextTok = i;
        if ((toks[i].flags & TF_PAREN) && !toks[i].err) {
            if (depth >= kMaxDepth) return NOTOK;
            std::uint16_t child =
                compileText(p, toks[i].in, static_cast<std::uint16_t>(toks[i].in + toks[i].inLen), toks, n, cap, depth + 1);
            if (child == NOTOK) return NOTOK;
            toks[i].childTok = child;
        }
        if (toks[i].flags & TF_LAST) return first;
        pos = toks[i].next;
        prev = i;
    }
}

// ---- Preparing a text ----------------------------------------------------------------

// Parentheses must pair up (129) and spaces outside literals must touch an
// operator (147).
ErrCode checkText(StrDesc t) {
    int depth = 0;
    std::uint16_t n = t.len;
    const char* p = t.ptr;
    for (std::uint16_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c == '\'' || c == '"') {
            const void* q = std::memchr(p + i + 1, c, n - i - 1u);
            if (!q) break;
            i = static_cast<std::uint16_t>(static_cast<const char*>(q) - p);
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0) return err::LOOPFAILURE;
        }
    }
    if (depth != 0) return err::LOOPFAILURE;
    for (std::uint16_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c == '\'' || c == '"') {
            const void* q = std::memchr(p + i + 1, c, n - i - 1u);
            if (!q) break;
            i = static_cast<std::uint16_t>(static_cast<const char*>(q) - p);
        } else if (c == ' ') {
            if (i > 0 && isOp(p[i - 1])) continue;
            std::uint16_t j = i;
            while (j < n && p[j] == ' ') ++j;
            if (j < n && isOp(p[j])) {
                i = static_cast<std::uint16_t>(j - 1);
                continue;
            }
            return err::SINTAXERROR;
        }
    }
    return err::OK;
}

// Copies t without the spaces outside literals into dst (room for t.len).
std::uint16_t stripSpaces(StrDesc t, char* dst) {
    std::uint16_t n = 0;
    for (std::uint16_t i = 0; i < t.len; ++i) {
        char c = t.ptr[i];
        if (c == '\'' || c == '"') {
            const void* q = std::memchr(t.ptr + i + 1, c, t.len - i - 1u);
            std::uint16_t stop = q ? static_cast<std::uint16_t>(static_cast<const char*>(q) - t.ptr) : t.len - 1u;
            std::memcpy(dst + n, t.ptr + i, stop - i + 1u);
            n = static_cast<std::uint16_t>(n + stop - i + 1u);
            i = stop;
        } else if (c != ' ') {
            dst[n++] = c;
        }
    }
    return n;
}

constexpr std::string_view kAcceptNum = "_ACCEPT#(";
constexpr std::string_view kAcceptStr = "_ACCEPT$(";
constexpr std::string_view kAcceptNumHead = "FN#VALN(FN$TRIM(FN$PARM(_$(.envvar;.dialog);";
constexpr std::string_view kAcceptNumTail = ");'FIT'))";
constexpr std::string_view kAcceptStrHead = "FN$TRIM(FN$PARM(_$(.envvar;.dialog);";
constexpr std::string_view kAcceptStrTail = ");'FIT')";

// Position of `word` at or after `from` outside quotes, or t.len.
std::uint16_t findWord(StrDesc t, std::uint16_t from, std::string_view word) {
    for (std::uint16_t i = from; i < t.len; ++i) {
        char c = t.ptr[i];
        if (c == '\'' || c == '"') {
            const void* q = std::memchr(t.ptr + i + 1, c, t.len - i - 1u);
            if (!q) return t.len;
            i = static_cast<std::uint16_t>(static_cast<const char*>(q) - t.ptr);
        } else if (c == word[0] && static_cast<std::size_t>(t.len - i) >= word.size() && std::memcmp(t.ptr + i, word.data(), word.size()) == 0) {
            return i;
        }
    }
    return t.len;
}

// Expands every `word`n) of t into head + n + tail (pushed). Returns the new
// text, t itself when there is none, or an error value (146 too long).
StrDesc expandShorthand(StrDesc t, std::string_view word, std::string_view head, std::string_view tail) {
    std::uint16_t at = findWord(t, 0, word);
    if (at >= t.len) return t;
    // First the length, then the text.
    std::uint32_t total = 0;
    for (int pass = 0; pass < 2; ++pass) {
        char* w = pass ? StrTopWritable() : nullptr;
        std::uint32_t n = 0;
        std::uint16_t from = 0;
        auto put = [&](const char* s, std::size_t k) {
            if (w) std::memcpy(w + n, s, k);
            n += static_cast<std::uint32_t>(k);
        };
        for (std::uint16_t i = findWord(t, 0, word); i < t.len; i = findWord(t, from, word)) {
            std::uint16_t open = static_cast<std::uint16_t>(i + word.size() - 1);
            std::uint16_t close = matchParen(t.ptr, open, t.len);
            if (close >= t.len) break;
            put(t.ptr + from, i - from);
            put(head.data(), head.size());
            put(t.ptr + open + 1, close - open - 1u);
            put(tail.data(), tail.size());
            from = static_cast<std::uint16_t>(close + 1);
        }
        put(t.ptr + from, t.len - from);
        if (!pass) {
            total = n;
            if (total > 65535) return StrErrorValue(err::STRINGTOOLONG);
            if (StrReserve(static_cast<std::uint16_t>(total), 255)) return StrErrorValue(err::OUTOFMEMORY);
        }
    }
    return StrTop();
}

// The prepared text pushed on the string stack, or an error value.
StrDesc prepareText(StrDesc text) {
    ErrCode e = checkText(text);
    if (e) return StrErrorValue(e);
    if (StrReserve(text.len, 255)) return StrErrorValue(err::OUTOFMEMORY);
    StrTopShrink(stripSpaces(text, StrTopWritable()));
    StrDesc t = expandShorthand(StrTop(), kAcceptNum, kAcceptNumHead, kAcceptNumTail);
    if (!t.isError()) t = expandShorthand(t, kAcceptStr, kAcceptStrHead, kAcceptStrTail);
    return t;
}

// ---- The cache of prepared texts ---------------------------------------------------------

constexpr std::size_t kSlotBytes = 4096;
constexpr std::size_t kSets = 16, kWays = 4;

struct SlotHead {
    std::uint64_t hash;
    std::uint32_t used;  // last use, for replacement
    std::uint16_t origLen, prepLen, nTok;
    std::uint16_t pins;  // evaluations running on this slot
    bool valid;
    bool hasToks;
};
// One remembered text: the original text, the prepared text and its steps.
struct Slot {
    SlotHead head;
    alignas(8) char data[kSlotBytes];
    char* orig() { return data; }
    char* prep() { return data + head.origLen; }
    std::size_t toksAt() const { return (static_cast<std::size_t>(head.origLen) + head.prepLen + 7) & ~std::size_t{7}; }
    Tok* toks() { return reinterpret_cast<Tok*>(data + toksAt()); }
    std::uint16_t tokCapacity() const {
        std::size_t at = toksAt();
        return at >= kSlotBytes ? 0 : static_cast<std::uint16_t>((kSlotBytes - at) / sizeof(Tok));
    }
};
Slot g_cache[kSets * kWays];
std::uint32_t g_clock = 0;

// Eight bytes at a time (a byte-by-byte hash was a measurable part of
// evaluating a short condition once per scanned row).
std::uint64_t hashText(StrDesc t) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = 1469598103934665603ull ^ t.len;
    std::uint16_t i = 0;
    for (; i + 8 <= t.len; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, t.ptr + i, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    std::uint64_t w = 0;
    for (std::uint16_t k = 0; i < t.len; ++i, k += 8) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(t.ptr[i])) << k;
    h = (h ^ w) * kMul;
    return h ^ (h >> 32);
}

void cacheClear() {
    for (Slot& s : g_cache) s.head = SlotHead{};
    g_clock = 0;
}

// ---- Evaluation -------------------------------------------------------------------

// A prepared text being evaluated.
struct Eval {
    const char* p = nullptr;
    std::uint16_t len = 0;
    Tok* toks = nullptr;  // remembered steps, or null: steps are scanned as they come
    std::int64_t scale = 100;
    int precis = 2;
    ErrCode soft = 0;     // first code 122-127 (other than 123) of the current expression
    bool reported = false;
};

int g_depth = 0;
FuncImpl g_functions[FUNC_COUNT + 1] = {};
FieldAccess g_fields;

void refreshScale(Eval& ev) {
    ev.scale = numScale();
    if (ev.scale <= 0) ev.scale = 1;
    ev.precis = numPrecision();
}

// The cursor over the steps of one text (the whole text or an inside).
struct Cur {
    Eval* ev;
    std::uint16_t end;
    Tok* t;   // current step
    Tok own;  // its storage when steps are scanned as they come
};

void curOpen(Cur& c, Eval* ev, std::uint16_t begin, std::uint16_t end, std::uint16_t firstTok) {
    c.ev = ev;
    c.end = end;
    if (ev->toks && firstTok != NOTOK) {
        c.t = &ev->toks[firstTok];
    } else {
        scanStep(ev->p, begin, end, c.own);
        c.t = &c.own;
    }
}

bool curAdvance(Cur& c) {
    if (c.t->flags & TF_LAST) return false;
    if (c.ev->toks) {
        c.t = &c.ev->toks[c.t->nextTok];
    } else {
        std::uint16_t from = c.own.next;
        scanStep(c.ev->p, from, c.end, c.own);
    }
    return true;
}

std::uint16_t operandEnd(const Eval& ev, const Tok& t) {
    if (!(t.flags & TF_PAREN)) return static_cast<std::uint16_t>(t.start + t.len);
    std::uint32_t e = static_cast<std::uint32_t>(t.in) + t.inLen + 1u;
    return static_cast<std::uint16_t>(e > ev.len ? ev.len : e);
}

// A value: a number, or a string (on the string stack, or a literal inside
// the prepared text).
struct Val {
    std::int64_t num = 0;
    StrDesc s{"", 0};
    StrMarkT mark = 0;          // string stack before the value
    const Tok* tok = nullptr;   // the operand's step when the value is a plain operand
    std::uint16_t from = 0, to = 0;  // text covered
    std::uint8_t kind = 0;      // operand kind (0 for computed values)
    bool isStr = false;
    bool target = false;        // an operand left of '=': not evaluated
};

ErrCode report(Eval& ev, ErrCode code, std::uint16_t from, std::uint16_t to) {
    if (code >= 128 && !ev.reported) {
        ev.reported = true;
        ErrorRecordSet(1, ctx::ExpExec, code, 0);
        ErrorDetail(code, StrMake(ev.p + from, to > from ? to - from : 0), true);
    }
    return code;
}

ErrCode reportTok(Eval& ev, ErrCode code, const Tok& t) { return report(ev, code, t.start, operandEnd(ev, t)); }

ErrCode evalList(Cur& c, Val& v, bool top);
ErrCode evalExpression(Cur& c, Val& v);
ErrCode climb(Cur& c, Val& left, std::uint8_t minPrec);

// Takes the number or string a call left on top of the string stack.
void takeResult(Val& v, bool isStr) {
    if (StrMark() == v.mark) {  // nothing was pushed
        v.isStr = isStr;
        v.s = StrDesc{"", 0};
        v.num = 0;
        return;
    }
    StrDesc top = StrTop();
    v.isStr = isStr;
    if (isStr) {
        v.s = top;
    } else {
        if (!numRead(top, v.num)) v.num = 0;
        StrRelease(v.mark);
    }
}

// Evaluates the arguments of a call or element into VarArgs (strings stay
// on the string stack). Empty arguments are the number 0.
ErrCode evalIndexes(Cur& args, VarArg* out, std::uint16_t& count) {
    count = 0;
    if (args.t->start == args.end) return 0;  // '()': none
    for (;;) {
        Val a;
        ErrCode e = evalExpression(args, a);
        if (e >= 128) return e;
        if (count < kMaxArgs) {
            VarArg& x = out[count++];
            x = VarArg{};
            if (e != err::NULLEXPRESSION && a.isStr) {
                x.text = true;
                x.str = a.s;
            } else {
                x.num = e == err::NULLEXPRESSION ? 0 : a.num;
            }
        }
        if (!curAdvance(args)) return 0;
    }
}

}  // namespace

struct EvalCursor {
    Cur* cur;
    bool atEnd;
};

namespace {

ErrCode pushArgument(const Val& a, ErrCode code, std::uint8_t& kind) {
    ErrCode e;
    if (code == err::NULLEXPRESSION) {
        kind = 0;
        e = AreaPush(area::FNARGS, StrMake(&EVAL_EMPTYARG, 1));
    } else if (a.isStr) {
        kind = 1;
        e = AreaPush(area::FNARGS, a.s);
    } else {
        kind = 0;
        std::int64_t n = a.num;
        e = AreaPush(area::FNARGS, StrMake(reinterpret_cast<const char*>(&n), 8));
    }
    return e;
}

ErrCode argsInto(EvalCursor& ec, std::uint8_t max, std::uint8_t& count, std::uint8_t* kinds) {
    Eval& ev = *ec.cur->ev;
    count = 0;
    if (max > kMaxArgs) max = kMaxArgs;
    while (count < max && !ec.atEnd) {
        StrMarkT m = StrMark();
        Val a;
        ErrCode e = evalExpression(*ec.cur, a);
        if (e >= 128) {
            StrRelease(m);
            return e;
        }
        std::uint8_t kind = 0;
        ErrCode pe = pushArgument(a, e, kind);
        StrRelease(m);
        if (pe) return reportTok(ev, pe, *ec.cur->t);
        kinds[count++] = kind;
        ec.atEnd = !curAdvance(*ec.cur);
    }
    return 0;
}

void openArgs(Cur& args, EvalCursor& ec, Eval& ev, const Tok& t) {
    curOpen(args, &ev, t.in, static_cast<std::uint16_t>(t.in + t.inLen), t.childTok);
    ec.cur = &args;
    ec.atEnd = t.inLen == 0;  // '()': no argument
}

struct DepthGuard {
    bool ok;
    DepthGuard() : ok(++g_depth <= kMaxDepth) {}
    ~DepthGuard() { --g_depth; }
};

// ---- Operands --------------------------------------------------------------------

ErrCode evalGroup(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    DepthGuard depth;
    if (!depth.ok) return reportTok(ev, err::SINTAXERROR, t);
    Cur sub;
    curOpen(sub, &ev, t.in, static_cast<std::uint16_t>(t.in + t.inLen), t.childTok);
    Val r;
    ErrCode e = evalList(sub, r, false);
    if (e >= 128) return e;
    v.num = r.num;
    v.s = r.s;
    v.isStr = r.isStr;
    v.kind = static_cast<std::uint8_t>(K_GROUP | (r.isStr ? K_STRING : 0));
    return e;
}

ErrCode evalCall(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    FuncImpl impl = g_functions[t.func];
    if (!impl) return reportTok(ev, err::FEATUREREMOVED, t);
    DepthGuard depth;
    if (!depth.ok) return reportTok(ev, err::SINTAXERROR, t);
    std::uint16_t base = AreaCount(area::FNARGS);
    Cur args;
    EvalCursor ec;
    openArgs(args, ec, ev, t);
    FuncCall call;
    call.number = t.func;
    call.argBase = base;
    ErrCode e = argsInto(ec, kFunctions[t.func - 1].evaluated, call.count, call.kinds);
    if (e < 128) {
        call.rest = &ec;
        e = impl(call);
    }
    AreaTruncate(area::FNARGS, base);
    refreshScale(ev);
    if (e >= 128) {
        StrRelease(v.mark);
        return reportTok(ev, e, t);
    }
    takeResult(v, call.resultIsString);
    return e;
}

// Element kind of an array name 'M#(': string, number or integer elements.
bool elementIsString(StrDesc name) {
    for (std::uint16_t i = 0; i < name.len; ++i) {
        char c = name.ptr[i];
        if (c == '@' || c == '(') return false;
        if (c == '$') return true;
        if (c == '#') return false;
    }
    return false;
}

// '_NAME(...)': host hook slot 2 with the name up to its '(' and a FuncCall
// holding the evaluated arguments. Mode 1 reads (the hook pushes the value
// and sets resultIsString), mode 5 assigns the value on top of the string stack.
ErrCode hostCall(Eval& ev, const Tok& t, std::uint16_t mode, bool& isStr) {
    HostHook hook = hookGet(hook::CALLS);
    if (!hook) return err::SINTAXERROR;
    std::uint16_t base = AreaCount(area::FNARGS);
    Cur args;
    EvalCursor ec;
    openArgs(args, ec, ev, t);
    FuncCall call;
    call.argBase = base;
    ErrCode e = argsInto(ec, kMaxArgs, call.count, call.kinds);
    if (e < 128) {
        call.rest = &ec;
        e = hook(StrMake(ev.p + t.start, t.len + 1u), mode, &call);
    }
    AreaTruncate(area::FNARGS, base);
    isStr = call.resultIsString;
    return e;
}

ErrCode evalElement(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    StrDesc name = StrMake(ev.p + t.start, t.len + 1u);  // with its '('
    DepthGuard depth;
    if (!depth.ok) return reportTok(ev, err::SINTAXERROR, t);
    if (name.ptr[0] == '_') {
        if (!hookGet(hook::CALLS)) return err::NULLEXPRESSION;  // no value
        bool isStr = false;
        ErrCode e = hostCall(ev, t, 1, isStr);
        refreshScale(ev);
        if (e >= 128) {
            StrRelease(v.mark);
            return reportTok(ev, e, t);
        }
        takeResult(v, isStr);
        return e;
    }
    Cur args;
    curOpen(args, &ev, t.in, static_cast<std::uint16_t>(t.in + t.inLen), t.childTok);
    VarArg idx[kMaxArgs];
    std::uint16_t n = 0;
    ErrCode e = evalIndexes(args, idx, n);
    if (e >= 128) return e;
    StrMarkT m = StrMark();
    e = arrayGet(name, idx, n);
    if (e) {
        StrRelease(v.mark);
        return reportTok(ev, e, t);
    }
    bool isStr = elementIsString(name);
    StrDesc top = StrTop();
    if (isStr) {
        // Keep only the element above the value's mark.
        v.s = StrReturn(v.mark, top);
        v.isStr = true;
        if (v.s.isError()) return reportTok(ev, StrError(v.s), t);
    } else {
        numRead(top, v.num);
        StrRelease(m);
        StrRelease(v.mark);
    }
    return 0;
}

ErrCode evalField(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    if (!g_fields.read) return reportTok(ev, err::FILEOUTBOUND, t);
    char type = 'A';
    ErrCode e = g_fields.read(StrMake(ev.p + t.start, t.len), type);
    if (e >= 128) {
        StrRelease(v.mark);
        return reportTok(ev, e, t);
    }
    StrDesc text = StrTop();
    switch (type) {
        case 'A': case 'B': case 'C': case 'D': case 'F': v.kind = K_FIELD | K_STRING; break;
        default: v.kind = K_FIELD; break;
    }
    bool numeric = type == 'N' || type == 'L' || (type >= '1' && type <= '9');
    if (numeric) {
        v.num = textToNum(text);
        StrRelease(v.mark);
    } else {
        v.s = text;
        v.isStr = true;
    }
    return 0;
}

ErrCode evalVariable(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    ErrCode e = varGet(StrMake(ev.p + t.start, t.len));
    if (e) {
        StrRelease(v.mark);
        return reportTok(ev, e, t);
    }
    if (t.kind & K_STRING) {
        v.s = StrTop();
        v.isStr = true;
    } else {
        numRead(StrTop(), v.num);
        StrRelease(v.mark);
    }
    return 0;
}

ErrCode evalLiteral(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    const Tok& t = *c.t;
    const char* p = ev.p + t.start;
    v.isStr = true;
    if (t.len >= 2 && (p[0] == '\'' || p[0] == '"') && p[t.len - 1] == p[0]) {
        v.s = StrMake(p + 1, t.len - 2u);
        return 0;
    }
    // A quote without its pair: the text as written, in upper case.
    if (StrReserve(t.len, 255)) return reportTok(ev, err::OUTOFMEMORY, t);
    char* w = StrTopWritable();
    for (std::uint16_t i = 0; i < t.len; ++i) w[i] = charUpper(p[i]);
    v.s = StrTop();
    return 0;
}

std::int64_t numberLiteral(Eval& ev, Tok& t) {
    if (t.numPrecis == ev.precis && t.numScale == ev.scale) return t.num;
    const char* p = ev.p + t.start;
    std::int64_t value;
    bool done = false;
    if (t.len > 1 && p[0] == '.') {
        unsigned char c1 = static_cast<unsigned char>(p[1]);
        if ((c1 >= 'a' && c1 <= 'z') || (c1 >= 'A' && c1 <= 'Z')) {
            std::string_view name(p + 1, t.len - 1u);
            value = 0;
            for (const DotConst& d : kDotConstants)
                if (d.name == name) {
                    value = static_cast<std::int64_t>(d.value) * ev.scale;
                    done = true;
                    break;
                }
            if (!done) {
                value = textToNum(StrMake(p + 1, t.len - 1u));
                done = true;
            }
        }
    }
    if (!done) value = textToNum(StrMake(p, t.len));
    t.num = value;
    t.numPrecis = static_cast<std::int8_t>(ev.precis);
    t.numScale = static_cast<std::uint16_t>(ev.scale);
    return value;
}

// One operand: the value of the current step's operand. Codes: 0, 123 (an
// empty operand: the number 0), other codes below 128 with the value, or an
// error (reported).
ErrCode evalOperand(Cur& c, Val& v) {
    Eval& ev = *c.ev;
    Tok& t = *c.t;
    // Member by member: assigning a whole temporary here went through an
    // unaligned stack copy that stalled on every operand.
    v.num = 0;
    v.s = StrDesc{"", 0};
    v.isStr = false;
    v.target = false;
    v.mark = StrMark();
    v.tok = &t;
    v.kind = t.kind;
    v.from = t.start;
    v.to = operandEnd(ev, t);
    if (t.err) return reportTok(ev, t.err, t);
    if (t.op == OP_ASSIGN) {
        v.target = true;
        return 0;
    }
    if (t.flags & TF_PAREN) {
        if (t.kind & K_GROUP) return evalGroup(c, v);
        if (t.kind & K_ELEMENT) return evalElement(c, v);
        return evalCall(c, v);
    }
    if (t.flags & TF_EMPTY) return err::NULLEXPRESSION;
    if (t.kind & K_FIELD) return evalField(c, v);
    if (t.kind & K_VAR) return evalVariable(c, v);
    if (t.kind & K_STRING) return evalLiteral(c, v);
    if (t.kind) return reportTok(ev, err::SINTAXERROR, t);
    v.num = numberLiteral(ev, t);
    return 0;
}

// ---- Operators -------------------------------------------------------------------

// x / d rounded half away from zero (d != 0).
inline __int128 divRound(__int128 x, __int128 d) {
    __int128 q = x / d, r = x % d;
    if (r < 0) r = -r;
    __int128 ad = d < 0 ? -d : d;
    if (2 * r >= ad) q += ((x < 0) != (d < 0)) ? -1 : 1;
    return q;
}

// Results beyond 64 bits wrap around.
inline std::int64_t wrap(__int128 v) { return static_cast<std::int64_t>(static_cast<unsigned __int128>(v)); }
inline std::int64_t wrapAdd(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int64_t wrapSub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

constexpr std::int64_t kPow10[] = {1,
                                   10,
                                   100,
                                   1000,
                                   10000,
                                   100000,
                                   1000000,
                                   10000000,
                                   100000000,
                                   1000000000,
                                   10000000000,
                                   100000000000,
                                   1000000000000,
                                   10000000000000,
                                   100000000000000,
                                   1000000000000000,
                                   10000000000000000,
                                   100000000000000000,
                                   1000000000000000000};

std::int64_t numericOp(const Eval& ev, std::uint8_t op, std::int64_t a, std::int64_t b) {
    const std::int64_t s = ev.scale;
    switch (op) {
        case OP_MUL: return wrap(divRound(static_cast<__int128>(a) * b, s));
        case OP_DIV: return b == 0 ? 0 : wrap(divRound(static_cast<__int128>(a) * s, b));
        case OP_ROUND: {
            std::int64_t n = b / s;
            if (n >= ev.precis) return a;  // above _PRECIS the value stays as it is
            if (n < ev.precis - 18) return 0;
            std::int64_t unit = kPow10[ev.precis - n];
            return wrap(divRound(a, unit) * unit);
        }
        case OP_PCT: return wrap(divRound(divRound(static_cast<__int128>(a) * b, 100), s));
        case OP_LESSPCT: return wrapSub(a, wrap(divRound(divRound(static_cast<__int128>(a) * b, 100), s)));
        case OP_ADD: return wrapAdd(a, b);
        case OP_SUB: return wrapSub(a, b);
        case OP_GT: return a > b ? s : 0;
        case OP_LT: return a < b ? s : 0;
        case OP_EQ: return a == b ? s : 0;
        case OP_GE: return a >= b ? s : 0;
        case OP_LE: return a <= b ? s : 0;
        case OP_NE: return a != b ? s : 0;
        case OP_AND: return wrap(static_cast<__int128>((a / s) & (b / s)) * s);
        case OP_BAR:
        case OP_AT: {
            std::int64_t i = a / s, j = b / s;
            return (i & j) ? 0 : wrap(static_cast<__int128>(i | j) * s);
        }
        case OP_LAND: return (a != 0 && b != 0) ? s : 0;
        case OP_LOR: return (a != 0 || b != 0) ? s : 0;
        case OP_DISJOINT: {
            std::int64_t i = a / s, j = b / s;
            return ((i | j) != 0 && (i & j) == 0) ? s : 0;
        }
    }
    return 0;
}

// Byte comparison over the common length, then the longer is greater.
int compareBytes(StrDesc a, StrDesc b) {
    std::uint16_t n = a.len < b.len ? a.len : b.len;
    int r = n ? std::memcmp(a.ptr, b.ptr, n) : 0;
    if (r) return r < 0 ? -1 : 1;
    return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
}

bool equalFold(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i] && charUpper(a[i]) != charUpper(b[i])) return false;
    return true;
}

// String '==': equal bytes, or (unless _AUXSTAT bit 128) a right side with a
// '*': 'AB*' matches a left side starting with AB, '*AB*' one containing AB,
// both ignoring case.
bool wildEqual(StrDesc a, StrDesc b) {
    if (a.len == b.len && (a.len == 0 || std::memcmp(a.ptr, b.ptr, a.len) == 0)) return true;
    const char* star = b.len ? static_cast<const char*>(std::memchr(b.ptr, '*', b.len)) : nullptr;
    if (!star || sysTest(SysVar::AUXSTAT, 128)) return false;
    std::size_t k = static_cast<std::size_t>(star - b.ptr);
    if (k > 0) return a.len >= k && equalFold(a.ptr, b.ptr, k);
    const char* rest = b.ptr + 1;
    std::size_t restLen = b.len - 1u;
    const char* star2 = restLen ? static_cast<const char*>(std::memchr(rest, '*', restLen)) : nullptr;
    std::size_t m = star2 ? static_cast<std::size_t>(star2 - rest) : restLen;
    if (m == 0) return true;
    for (std::size_t i = 0; i + m <= a.len; ++i)
        if (equalFold(a.ptr + i, rest, m)) return true;
    return false;
}

void becomeNumber(Val& left, const Val& right, std::int64_t r) {
    StrRelease(left.mark);
    left.num = r;
    left.isStr = false;
    left.s = StrDesc{"", 0};
    left.kind = 0;
    left.tok = nullptr;
    left.to = right.to;
}

ErrCode assign(Cur& c, Val& left, Val& right);

ErrCode apply(Cur& c, std::uint8_t op, Val& left, Val& right) {
    Eval& ev = *c.ev;
    if (op == OP_ASSIGN) return assign(c, left, right);
    if (left.target || right.target) return report(ev, err::SINTAXERROR, left.from, right.to);
    if (!left.isStr && !right.isStr) {
        becomeNumber(left, right, numericOp(ev, op, left.num, right.num));
        return 0;
    }
    if (left.isStr && right.isStr) {
        std::int64_t s = ev.scale;
        switch (op) {
            case OP_ADD: {
                std::uint32_t n = static_cast<std::uint32_t>(left.s.len) + right.s.len;
                if (n > 65535) return report(ev, err::STRINGTOOLONG, left.from, right.to);
                if (StrReserve(static_cast<std::uint16_t>(n), 255)) return report(ev, err::OUTOFMEMORY, left.from, right.to);
                char* w = StrTopWritable();
                if (left.s.len) std::memcpy(w, left.s.ptr, left.s.len);
                if (right.s.len) std::memcpy(w + left.s.len, right.s.ptr, right.s.len);
                left.s = StrReturn(left.mark, StrTop());
                left.kind = 0;
                left.tok = nullptr;
                left.to = right.to;
                return 0;
            }
            case OP_EQ: becomeNumber(left, right, wildEqual(left.s, right.s) ? s : 0); return 0;
            case OP_NE: becomeNumber(left, right, compareBytes(left.s, right.s) != 0 ? s : 0); return 0;
            case OP_GT: becomeNumber(left, right, compareBytes(left.s, right.s) > 0 ? s : 0); return 0;
            case OP_LT: becomeNumber(left, right, compareBytes(left.s, right.s) < 0 ? s : 0); return 0;
            case OP_GE: becomeNumber(left, right, compareBytes(left.s, right.s) >= 0 ? s : 0); return 0;
            case OP_LE: becomeNumber(left, right, compareBytes(left.s, right.s) <= 0 ? s : 0); return 0;
            default: return report(ev, err::SINTAXERROR, left.from, right.to);
        }
    }
    // A numeric field on the left takes a text on the right as a number.
    if (!left.isStr && (left.kind & K_FIELD) && !(left.kind & K_STRING)) {
        becomeNumber(left, right, numericOp(ev, op, left.num, textToNum(right.s)));
        return 0;
    }
    return report(ev, err::TYPEMISMATCH, left.from, right.to);
}

// One operator: the one after the current operand, applied to `left` and the
// right side (the next operand with every operator that binds tighter).
ErrCode applyStep(Cur& c, Val& left) {
    Eval& ev = *c.ev;
    std::uint8_t op = c.t->op, prec = c.t->prec;
    if (!curAdvance(c)) return report(ev, err::INTERNALERROR, left.from, left.to);
    Val right;
    ErrCode e = evalOperand(c, right);
    if (e >= 128) return e;
    if (e == err::TYPEWARNING && op == OP_ASSIGN) return report(ev, err::TYPEMISMATCH, right.from, right.to);
    if (e == err::NULLEXPRESSION) {
        // An empty operand is the number 0, and the operator after it applies
        // to it and the operand that follows: '-5' is 0-5, 'a*-b' is a*(0-b).
        if (left.isStr || c.t->op == OP_NONE) return report(ev, err::SINTAXERROR, left.from, right.to);
        right.kind = 0;
        right.tok = nullptr;
        DepthGuard depth;
        if (!depth.ok) return report(ev, err::SINTAXERROR, left.from, right.to);
        e = applyStep(c, right);
        if (e) return e;
    } else if (e && !ev.soft) {
        ev.soft = e;
    }
    while (c.t->op != OP_NONE && (c.t->prec > prec || (op == OP_ASSIGN && c.t->op == OP_ASSIGN))) {
        DepthGuard depth;
        if (!depth.ok) return report(ev, err::SINTAXERROR, left.from, right.to);
        e = climb(c, right, c.t->prec);
        if (e) return e;
    }
    return apply(c, op, left, right);
}

ErrCode climb(Cur& c, Val& left, std::uint8_t minPrec) {
    while (c.t->op != OP_NONE && c.t->prec >= minPrec) {
        ErrCode e = applyStep(c, left);
        if (e) return e;
    }
    return 0;
}

// One expression, from the current step to the step that ends it (left current).
ErrCode evalExpression(Cur& c, Val& v) {
    ErrCode e = evalOperand(c, v);
    if (e >= 128) return e;
    bool empty = e == err::NULLEXPRESSION;
    if (e && !empty && !c.ev->soft) c.ev->soft = e;
    if (c.t->op == OP_NONE) return empty ? err::NULLEXPRESSION : 0;
    if (empty) v.kind = 0;
    e = climb(c, v, 0);
    return e;
}

// Every expression of a text, left to right; the value of the last one.
ErrCode evalList(Cur& c, Val& v, bool top) {
    StrMarkT m = StrMark();
    for (;;) {
        if (top) c.ev->soft = 0;
        ErrCode e = evalExpression(c, v);
        if (e >= 128) return e;
        if (!curAdvance(c)) return e;
        StrRelease(m);
    }
}

// ---- Assignment --------------------------------------------------------------------

// The value of an assignment on top of the string stack (numbers as 8 bytes).
ErrCode pushValue(const Val& v) {
    if (!v.isStr) return numPush(v.num);
    StrDesc top = StrTop();
    if (top.ptr == v.s.ptr && top.len == v.s.len && StrMark() > v.mark) return 0;
    return StrPush(v.s);
}

// Accumulator n + k, or the accumulator named in _ACUMX$ + k.
ErrCode assignAccumulator(Eval& ev, const Tok& t, const Val& value) {
    if (value.isStr) return err::TYPEMISMATCH;
    Cur args;
    curOpen(args, &ev, t.in, static_cast<std::uint16_t>(t.in + t.inLen), t.childTok);
    VarArg a[kMaxArgs];
    std::uint16_t n = 0;
    ErrCode e = evalIndexes(args, a, n);
    if (e >= 128) return e;
    if (n == 0) return err::SINTAXERROR;
    std::int64_t index;
    if (a[0].text) {
        std::uint16_t pos = ListIndexOf(strGet(SysStr::ACUMX), a[0].str, ',');
        if (pos == 0) return err::DATAOUTBOUND;
        index = pos - 1;
    } else {
        index = a[0].num / ev.scale;
    }
    if (n > 1 && !a[1].text) index += a[1].num / ev.scale;
    if (index < 0 || index > 0x7FFFFFFF) return err::DATAOUTBOUND;
    StrDesc name = StrView("_#(");
    VarArg at;
    at.num = index * ev.scale;
    ArrayShape shape;
    if (arrayShape(name, shape)) {
        VarArg bound;
        bound.num = (index < 1 ? 1 : index) * ev.scale;
        e = arrayCreate(name, &bound, 1);
        if (e) return e;
    }
    StrMarkT m = StrMark();
    std::int64_t v = value.num;
    e = arraySet(name, &at, 1, StrMake(reinterpret_cast<const char*>(&v), 8));
    StrRelease(m);
    return e;
}

ErrCode assignElement(Eval& ev, const Tok& t, const Val& value) {
    StrDesc name = StrMake(ev.p + t.start, t.len + 1u);
    if (name.ptr[0] == '_') {
        // The value is on top when the hook runs: the arguments are
        // evaluated above it and released again.
        StrMarkT m = StrMark();
        ErrCode e = pushValue(value);
        bool isStr = false;
        if (!e) e = hostCall(ev, t, 5, isStr);
        StrRelease(m);
        return e;
    }
    Cur args;
    curOpen(args, &ev, t.in, static_cast<std::uint16_t>(t.in + t.inLen), t.childTok);
    VarArg idx[kMaxArgs];
    std::uint16_t n = 0;
    ErrCode e = evalIndexes(args, idx, n);
    if (e >= 128) return e;
    if (elementIsString(name) != value.isStr) return err::TYPEMISMATCH;
    std::int64_t num = value.num;
    StrDesc bytes = value.isStr ? value.s : StrMake(reinterpret_cast<const char*>(&num), 8);
    return arraySet(name, idx, n, bytes);
}

ErrCode assignField(Eval& ev, const Tok& t, const Val& value) {
    if (!g_fields.write) return err::FILEOUTBOUND;
    StrMarkT m = StrMark();
    StrDesc text = value.isStr ? value.s : numToText(value.num, ev.precis);
    ErrCode e = StrError(text);
    if (!e) e = g_fields.write(StrMake(ev.p + t.start, t.len), text);
    StrRelease(m);
    return e;
}

ErrCode assignVariable(Eval& ev, const Tok& t, const Val& value) {
    if (static_cast<bool>(t.kind & K_STRING) != value.isStr) return err::TYPEMISMATCH;
    StrMarkT m = StrMark();
    ErrCode e = pushValue(value);
    if (!e) e = varSet(StrMake(ev.p + t.start, t.len));
    StrRelease(m);
    return e;
}

ErrCode assign(Cur& c, Val& left, Val& right) {
    Eval& ev = *c.ev;
    if (!left.target || right.target) return report(ev, err::SINTAXERROR, left.from, right.to);
    const Tok& t = *left.tok;
    ErrCode e;
    {
        DepthGuard depth;
        if (!depth.ok) return report(ev, err::SINTAXERROR, left.from, right.to);
        if (t.flags & TF_PAREN) {
            if ((t.kind & K_CALL) && t.func == fn::ACCUM) e = assignAccumulator(ev, t, right);
            else if (t.kind & K_ELEMENT) e = assignElement(ev, t, right);
            else e = err::SINTAXERROR;
        } else if (t.kind & K_FIELD) {
            e = assignField(ev, t, right);
        } else if (t.kind & K_VAR) {
            e = assignVariable(ev, t, right);
        } else {
            e = err::SINTAXERROR;
        }
    }
    refreshScale(ev);
    if (e >= 128) return reportTok(ev, e, t);
    // The assigned value is the result.
    left.num = right.num;
    left.s = right.s;
    left.isStr = right.isStr;
    left.kind = 0;
    left.tok = nullptr;
    left.target = false;
    left.to = right.to;
    return 0;
}

// ---- Entry -----------------------------------------------------------------------------

// A text ready to evaluate: the prepared text in the cache or on the string stack.
struct Prepared {
    const char* p = nullptr;
    std::uint16_t len = 0;
    Tok* toks = nullptr;
    Slot* slot = nullptr;  // pinned while the evaluation runs
};

Slot* cacheFind(StrDesc text, std::uint64_t h) {
    Slot* set = &g_cache[(h & (kSets - 1)) * kWays];
    for (std::size_t w = 0; w < kWays; ++w) {
        SlotHead& s = set[w].head;
        if (s.valid && s.hash == h && s.origLen == text.len && std::memcmp(set[w].orig(), text.ptr, text.len) == 0)
            return &set[w];
    }
    return nullptr;
}

Slot* cacheVictim(std::uint64_t h) {
    Slot* set = &g_cache[(h & (kSets - 1)) * kWays];
    Slot* best = nullptr;
    for (std::size_t w = 0; w < kWays; ++w) {
        SlotHead& s = set[w].head;
        if (s.pins) continue;
        if (!s.valid) return &set[w];
        if (!best || s.used < best->head.used) best = &set[w];
    }
    return best;
}

// Prepares the text (from the cache when it was seen before). On success the
// caller unpins the slot; an uncached prepared text lies on the string stack.
ErrCode prepare(StrDesc text, Prepared& out) {
    std::uint64_t h = hashText(text);
    if (Slot* s = cacheFind(text, h)) {
        SlotHead& hd = s->head;
        hd.used = ++g_clock;
        hd.pins++;
        out = Prepared{s->prep(), hd.prepLen, hd.hasToks ? s->toks() : nullptr, s};
        return 0;
    }
    StrMarkT m = StrMark();
    StrDesc prep = prepareText(text);
    if (prep.isError()) {
        StrRelease(m);
        return StrError(prep);
    }
    Slot* s = cacheVictim(h);
    if (s && static_cast<std::size_t>(text.len) + prep.len + 8 + sizeof(Tok) <= kSlotBytes) {
        SlotHead& hd = s->head;
        hd = SlotHead{};
        hd.hash = h;
        hd.origLen = text.len;
        hd.prepLen = prep.len;
        std::memcpy(s->orig(), text.ptr, text.len);
        std::memcpy(s->prep(), prep.ptr, prep.len);
        StrRelease(m);
        std::uint16_t n = 0;
        hd.hasToks = compileText(s->prep(), 0, hd.prepLen, s->toks(), n, s->tokCapacity(), 0) != NOTOK;
        hd.nTok = hd.hasToks ? n : 0;
        hd.valid = true;
        hd.used = ++g_clock;
        hd.pins = 1;
        out = Prepared{s->prep(), hd.prepLen, hd.hasToks ? s->toks() : nullptr, s};
        return 0;
    }
    // Kept on the string stack for this evaluation only.
    out = Prepared{prep.ptr, prep.len, nullptr, nullptr};
    return 0;
}

struct Pin {
    Slot* slot;
    ~Pin() {
        if (slot) slot->head.pins--;
    }
};

// Evaluates the text; on success the value is in v (a string above `mark`).
ErrCode run(StrDesc text, Val& v, Eval& ev, Prepared& prep) {
    ev.p = prep.p;
    ev.len = prep.len;
    ev.toks = prep.toks;
    refreshScale(ev);
    DepthGuard depth;
    if (!depth.ok) return report(ev, err::SINTAXERROR, 0, ev.len);
    Cur c;
    curOpen(c, &ev, 0, ev.len, 0);
    ErrCode e = evalList(c, v, true);
    (void)text;
    if (e < 128 && ev.soft && e != err::NULLEXPRESSION) e = ev.soft;
    return e;
}

// The common entry: the value in v, the string stack holding the prepared
// text and values above `mark` (the caller releases). Errors are recorded.
ErrCode evaluate(StrDesc text, Val& v) {
    if (text.isError()) return StrError(text);
    Prepared prep;
    ErrCode e = prepare(text, prep);
    if (e) {
        ErrorRecordSet(1, ctx::ExpExec, e, 0);
        ErrorDetail(e, text, true);
        return e;
    }
    Pin pin{prep.slot};
    Eval ev;
    std::uint16_t base = AreaCount(area::FNARGS);
    e = run(text, v, ev, prep);
    AreaTruncate(area::FNARGS, base);
    return e;
}

ErrCode macroEval(StrDesc expr, StrDesc& result, bool& numeric) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(expr, v);
    if (e >= 128) {
        StrRelease(m);
        result = StrErrorValue(e);
        return e;
    }
    numeric = !v.isStr || e == err::NULLEXPRESSION;
    if (numeric) {
        std::int64_t n = e == err::NULLEXPRESSION ? 0 : v.num;
        StrRelease(m);
        result = StrReturn(m, numToText(n, numPrecision()));
    } else {
        result = StrReturn(m, v.s);
    }
    return StrError(result);
}

}  // namespace

StrDesc evalPrepare(StrDesc text) {
    if (text.isError()) return text;
    StrMarkT m = StrMark();
    StrDesc t = prepareText(text);
    if (t.isError()) {
        StrRelease(m);
        return t;
    }
    return StrReturn(m, t);
}

void evalStep(StrDesc text, std::uint16_t pos, std::uint16_t end, EvalStep& out) {
    out = EvalStep{};
    if (text.isError()) {
        out.err = StrError(text);
        out.last = true;
        return;
    }
    if (end > text.len) end = text.len;
    if (pos > end) pos = end;
    Tok t;
    scanStep(text.ptr, pos, end, t);
    out.start = t.start;
    out.len = t.len;
    out.paren = (t.flags & TF_PAREN) != 0;
    out.in = t.in;
    out.inLen = t.inLen;
    out.end = out.paren ? static_cast<std::uint16_t>(t.in + t.inLen + (t.err == err::LOOPFAILURE ? 0 : 1))
                        : static_cast<std::uint16_t>(t.start + t.len);
    out.next = t.next;
    out.err = t.err;
    out.op = t.op;
    out.kind = t.kind;
    out.last = (t.flags & TF_LAST) != 0;
}

ErrCode evalExpr(StrDesc text) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    if (e >= 128) {
        StrRelease(m);
        return e;
    }
    if (v.isStr && e != err::NULLEXPRESSION) {
        StrDesc r = StrReturn(m, v.s);
        if (r.isError()) return StrError(r);
        return e ? e : EVAL_STRING;
    }
    StrRelease(m);
    ErrCode pe = numPush(e == err::NULLEXPRESSION ? 0 : v.num);
    if (pe) return pe;
    return e;
}

ErrCode evalCondition(StrDesc text) {
    if (!text.isError() && text.len == 0) return 1;
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    StrRelease(m);
    if (e >= 122 && e != err::NULLEXPRESSION && e != err::TYPEWARNING) return e;
    if (v.isStr) return 0;
    return v.num != 0 ? 1 : 0;
}

std::int64_t evalNumber(StrDesc text) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    StrRelease(m);
    if (e >= 128 || v.isStr) return 0;
    return v.num;
}

StrDesc evalText(StrDesc text) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    if (e >= 128) {
        StrRelease(m);
        return StrErrorValue(e);
    }
    if (e == err::NULLEXPRESSION) return StrReturn(m, StrDesc{"", 0});
    if (v.isStr) return StrReturn(m, v.s);
    std::int64_t n = v.num;
    StrRelease(m);
    StrDesc r = numToText(n, numPrecision());
    return StrReturn(m, r);
}

std::int64_t evalInteger(StrDesc text) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    StrRelease(m);
    if (e != EVAL_NUMBER || v.isStr) {
        char line[64];
        int n = std::snprintf(line, sizeof(line), "Errode:%u (", static_cast<unsigned>(v.isStr && e == 0 ? 1 : e));
        if (n > 0 && StrReserve(static_cast<std::uint16_t>(n + (text.isError() ? 0 : text.len) + 1), 255) == 0) {
            char* w = StrTopWritable();
            std::memcpy(w, line, n);
            if (!text.isError()) std::memcpy(w + n, text.ptr, text.len);
            w[n + (text.isError() ? 0 : text.len)] = ')';
            LogLine(StrTop(), 1);
        }
        StrRelease(m);
        return 0;
    }
    std::int64_t s = numScale();
    if (s <= 0) s = 1;
    return static_cast<std::int64_t>(divRound(v.num, s));
}

ErrCode evalErrors(StrDesc text) {
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evaluate(text, v);
    StrRelease(m);
    return e >= 128 ? e : 0;
}

ErrCode evalFile(StrDesc name, bool required) {
    if (name.isError()) return StrError(name);
    std::uint16_t probe = FileOpen(name, fileflag::READONLY | fileflag::QUIET);
    if (probe >= FILE_HANDLES) {
        if (!required) return 0;
        ErrorRecordSet(1, ctx::ExpExec, err::FILENOTFOUND, 0);
        return ErrorDetail(err::FILENOTFOUND, name);
    }
    FileClose(probe);
    StrMarkT m = StrMark();
    StrDesc content = FileLoad(name, 0, FILE_NONE);
    if (content.isError()) {
        StrRelease(m);
        ErrCode e = StrError(content);
        return e == err::NOTFOUND ? err::FILENOTFOUND : e;
    }
    // Each line is one expression of the list.
    char* w = StrTopWritable();
    for (std::uint16_t i = 0; i < content.len; ++i)
        if (w[i] == '\r' || w[i] == '\n') w[i] = ';';
    ErrCode e = evalErrors(content);
    StrRelease(m);
    return e;
}

// ---- Functions and cursors --------------------------------------------------------------

void evalSetFunction(std::uint16_t number, FuncImpl impl) {
    if (number >= 1 && number <= FUNC_COUNT) g_functions[number] = impl;
}

FuncImpl evalGetFunction(std::uint16_t number) {
    return number >= 1 && number <= FUNC_COUNT ? g_functions[number] : nullptr;
}

bool evalCursorAtEnd(const EvalCursor* c) { return !c || c->atEnd; }

ErrCode evalCursorNext(EvalCursor* c) {
    if (!c || c->atEnd) return err::NOTFOUND;
    StrMarkT m = StrMark();
    Val v;
    ErrCode e = evalExpression(*c->cur, v);
    if (e >= 128) {
        StrRelease(m);
        return e;
    }
    c->atEnd = !curAdvance(*c->cur);
    if (v.isStr && e != err::NULLEXPRESSION) {
        StrDesc r = StrReturn(m, v.s);
        if (r.isError()) return StrError(r);
        return e ? e : EVAL_STRING;
    }
    StrRelease(m);
    ErrCode pe = numPush(e == err::NULLEXPRESSION ? 0 : v.num);
    return pe ? pe : e;
}

bool evalCursorSkip(EvalCursor* c) {
    if (!c || c->atEnd) return false;
    while (c->cur->t->op != OP_NONE) curAdvance(*c->cur);
    c->atEnd = !curAdvance(*c->cur);
    return true;
}

StrDesc evalCursorText(EvalCursor* c) {
    if (!c || c->atEnd) return StrErrorValue(err::NOTFOUND);
    const Eval& ev = *c->cur->ev;
    std::uint16_t from = c->cur->t->start;
    while (c->cur->t->op != OP_NONE) curAdvance(*c->cur);
    std::uint16_t to = operandEnd(ev, *c->cur->t);
    c->atEnd = !curAdvance(*c->cur);
    return StrMake(ev.p + from, to - from);
}

StrDesc evalCursorOperand(EvalCursor* c) {
    if (!c || c->atEnd) return StrErrorValue(err::NOTFOUND);
    const Eval& ev = *c->cur->ev;
    const Tok& t = *c->cur->t;
    StrDesc r = StrMake(ev.p + t.start, operandEnd(ev, t) - t.start);
    c->atEnd = !curAdvance(*c->cur);
    return r;
}

ErrCode evalArgs(EvalCursor* c, std::uint8_t max, std::uint8_t& count, std::uint8_t* kinds) {
    count = 0;
    if (!c) return 0;
    return argsInto(*c, max, count, kinds);
}

void evalSetFieldAccess(const FieldAccess& access) { g_fields = access; }

ErrCode evalInit() {
    cacheClear();
    g_depth = 0;
    funcListStore();
    funcBind();
    MacroHooks hooks = MacroGetHooks();
    hooks.eval = macroEval;
    MacroSetHooks(hooks);
    return 0;
}

void evalShutdown() {
    cacheClear();
    g_fields = FieldAccess{};
    MacroHooks hooks = MacroGetHooks();
    if (hooks.eval == macroEval) {
        hooks.eval = nullptr;
        MacroSetHooks(hooks);
    }
}

}  // namespace rt
