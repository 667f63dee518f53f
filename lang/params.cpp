#include "lang/params.h"

#include "core/lists.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "shell/textfile.h"

namespace rt {
namespace {

struct ParamGroup {
    std::uint8_t threshold;
    std::string_view names[19];
};

// The name lists, highest threshold first.
constexpr ParamGroup kGroups[] = {
    {100, {"ACCEPT_PRC%", "WINNAME$", "PROG_MODE$", "PARM_FILE$", "PARM_FILE_WRITE$", "SOURCEFILE%",
           "IMP_MODE%", "RD_EXP$", "WR_EXP$", "EOT_EXP$", "RD_COND$", "TARGET$", "LOAD_IMPORT$",
           "MNU_IMPORT$", "AUTO_IMPORT$", "STRUCT$"}},
    {90, {"DEVICE$", "DOCNAME$", "ACBOUND$", "INDEX%", "LIMITS$", "AUXLOAD$", "RESET$", "STEPS$", "PRCNAME$"}},
    {70, {"ATEND$", "BRKEND$", "BREAK$", "COND$", "MAXLINE%", "LINESTEP%", "TOTALBASE%", "CONTINUE%",
          "EXTRASTEP%", "TITLE$", "WD"}},
    {50, {"FD$", "ALARM$", "ASSIGN$", "LNASSIGN$", "FILEDEF$", "PERFORM$", "UPDFIELDS$", "WIDTHS$", "TYPES$",
          "WINDOWS$", "CLEAR$", "ON_CONFIRM$", "ON_CANCEL$", "USR_COND$", "IK$(1)", "IK$(2)", "IK$(3)"}},
    {30, {"NUMCAB$", "WRITECAB0$", "WRITECABS$", "WRITELINS$", "FITCLC$", "FTCLC$", "READCABS$", "READLINS$",
          "LNINS$", "LNDEL$", "ALARMLINS$", "BOUNDS$", "DOCTYPETXT$", "MODE$", "FASTFIND$", "FLDUPDATE$",
          "BEGINFLD%", "MAXLIN%"}},
    {10, {"SCREENSIZE$", "SET$", "OPEN$", "EDIT$", "NOEDIT$", "WRITE$", "DOC$", "DOCSETS$", "HELP$", "SAVED$",
          "HIDDEN$", "RELOPT%", "UNICNDX%", "AUTONDX%", "KEYMAP%", "SCANDEF$", "SCANWIN$", "SCANSET$",
          "VOIDMODE%"}},
    {0, {"MODULES$", "MENU$", "CALLER$", "SUBMENU$", "LOAD$", "EXEC$", "COUNTER$", "MAX_IDS_ATTR%", "STATMSG$"}},
};

static_assert(kGroups[0].names[15] == "STRUCT$" && kGroups[3].names[16] == "IK$(3)");
static_assert(kGroups[5].names[18] == "VOIDMODE%" && kGroups[6].names[8] == "STATMSG$");

constexpr std::uint16_t kPrefixEntry = 8;  // entry of the work table 9: the name prefixes

constexpr std::string_view kOperators = "*/!%\xF7+-(;,:)=><&@|";

bool isOperator(char c) { return kOperators.find(c) != std::string_view::npos; }
bool isSecondChar(char c) { return c == '=' || c == '>' || c == '<' || c == '&' || c == '@' || c == '|'; }

}  // namespace

std::string_view paramBareName(std::uint8_t code) {
    for (const ParamGroup& g : kGroups) {
        if (code < g.threshold) continue;
        int item = code - g.threshold;
        if (item < 1 || item > 19) return {};
        return g.names[item - 1];
    }
    return {};
}

StrDesc paramName(std::uint8_t code) {
    StrMarkT m = StrMark();
    StrDesc bare = StrView(paramBareName(code));
    std::int16_t aux = sysGet(SysVar::AUX);
    StrDesc prefix{"", 0};
    if (bare.len && aux > 0) prefix = ListItem(AreaGet(area::WORK, kPrefixEntry), ',', static_cast<std::uint16_t>(aux));
    if (prefix.isError() || prefix.len == 0) return StrReturn(m, bare);
    return StrReturn(m, StrConcatN({prefix, StrView("."), bare}));
}

StrDesc paramValue(std::uint8_t code) {
    StrMarkT m = StrMark();
    StrDesc name = paramName(code);
    if (name.isError() || name.len == 0 || AreaCount(area::TASKSTACK) == 0) return StrReturn(m, StrDesc{"", 0});
    return StrReturn(m, ParamGet(name));
}

std::int32_t paramInt(std::uint8_t code) {
    StrScope scope;
    std::int64_t v = StrToInt64(paramValue(code));
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

StrDesc evalParam(StrDesc text) {
    if (text.isError()) return text;
    StrMarkT m = StrMark();
    StrDesc t = StrTrim(text);
    // The first operand: up to the first operator character outside quotes;
    // a name followed by '(' extends over its parenthesised part.
    std::uint16_t i = 0;
    char quote = 0;
    for (; i < t.len; ++i) {
        char c = t.ptr[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (isOperator(c)) {
            break;
        }
    }
    StrDesc operand = StrMake(t.ptr, i);
    if (i < t.len && t.ptr[i] == '(') {
        int depth = 0;
        for (; i < t.len; ++i) {
            char c = t.ptr[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                ++i;
                break;
            }
        }
    }
    // Its kind: the first of ' " $ # { ( found in it decides.
    bool isString = false;
    for (char k : {'\'', '"', '$', '#', '{', '('}) {
        if (StrFindChar(operand, 0, k, true) != STR_NPOS) {
            isString = k == '\'' || k == '"' || k == '$';
            break;
        }
    }
    bool stringExpr = isString && operand.len;
    if (stringExpr && i < t.len) {
        char op = t.ptr[i];
        bool twoChars = i + 1 < t.len && isSecondChar(t.ptr[i + 1]);
        stringExpr = (op == '+' || op == '=') && !twoChars;
    }
    if (!stringExpr) return StrReturn(m, text);
    return StrReturn(m, evalText(t));
}

}  // namespace rt
