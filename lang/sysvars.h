// The system variables: 44 integer variables at integer positions 0-43 and
// three string variables at string positions 0-2, created by varInit in
// this order with these defaults. The runtime reads and writes them by
// position (sysGet(SysVar::PRECIS), strGet(SysStr::LTEXT)).
#pragma once
#include <cstdint>
#include <string_view>

namespace rt {

enum class SysVar : std::uint16_t {
    AUXSTAT = 0,  // auxiliary status bits
    RELRES,       // outcome of the last relational read
    CURFIL,       // current data-file number
    CUREDFLD,     // current field of the active screen / pressed report-window button
    DEVHIG,       // output device page height in lines
    DEVWID,       // output device width in columns
    DEVLIN,       // current line on the output device
    DEVPOS,       // current column on the output device
    DEVPAG,       // current page on the output device
    CURROW,       // row counter for applications
    STAT,         // choice returned by the general button and list windows
    LASTKEY,      // last logical key of the screens
    SGN,          // -1 / 1 during the before / after pass of relational updates
    UPSTAT,       // update switches of the data-file layer
    IER,          // outcome of SORT$('MOVE') and of data-capture operations
    SYSCOMPAT,    // system compatibility bits
    SQLSTK,       // current connection slot of the SQL layer
    COUNT,        // counter for applications
    HCOUNT,       // counter for applications
    ADMSTAT,      // administration status for applications
    COMPAT,       // compatibility bits
    SCRSTAT,      // screen-state bits
    LMAX,         // for applications (line maximum)
    LNUM,         // for applications (line number)
    LLST,         // for applications (last line)
    HNUM,         // for applications
    SAFE,         // for applications
    LB,           // for applications
    AUX,          // selects the prefix of task parameter names
    KEYMAP,       // key map in force
    SERIAL,       // scanner serial slot + 256, 0 when none
    TRACE,        // trace bits
    PRECIS,       // decimals of all numbers
    BYEAR,        // base century year for two-digit years
    BKYEAR,       // two-digit break year
    DX,           // device-specific value read by the printer layer
    INHND,        // handle of the open INPUT replay file, 0 when none
    OUTHND,       // 1 while the OUTPUT record file is active
    DATE,         // for applications
    DOCST,        // document status for applications
    WMAXROW,      // maximum rows of a window
    USER01,       // free for applications
    USER02,
    USER03,
};

enum class SysStr : std::uint16_t {
    ACUM = 0,  // accumulator names
    ACUMX,     // accumulator name list searched by _#('name')
    LTEXT,
};

struct SysVarDef {
    std::string_view name;
    std::int16_t value;
};

// The integer definition list, in position order.
inline constexpr SysVarDef kSysIntDefs[] = {
    {"_AUXSTAT", 0},  {"_RELRES", 0},  {"_CURFIL", 0},   {"_CUREDFLD", 0},  {"_DEVHIG", 24},
    {"_DEVWID", 80},  {"_DEVLIN", 0},  {"_DEVPOS", 0},   {"_DEVPAG", 0},    {"_CURROW", 0},
    {"_STAT", 0},     {"_LASTKEY", 4}, {"_SGN", 0},      {"_UPSTAT", 1},    {"_IER", 0},
    {"_SYSCOMPAT", 0},{"_SQLSTK", 0},  {"_COUNT", 0},    {"_HCOUNT", 0},    {"_ADMSTAT", 0},
    {"_COMPAT", 0},   {"_SCRSTAT", 0}, {"_LMAX", 0},     {"_LNUM", 0},      {"_LLST", 0},
    {"_HNUM", 0},     {"_SAFE", 0},    {"_LB", 128},     {"_AUX", 0},       {"_KEYMAP", 0},
    {"_SERIAL", 0},   {"_TRACE", 1},   {"_PRECIS", 2},   {"_BYEAR", 2000},  {"_BKYEAR", 80},
    {"_DX", 0},       {"_INHND", 0},   {"_OUTHND", 0},   {"_DATE", 0},      {"_DOCST", 0},
    {"_WMAXROW", 0},  {"_USER01", 0},  {"_USER02", 0},   {"_USER03", 0},
};

// The string definition list (all start empty).
inline constexpr std::string_view kSysStrDefs[] = {"_ACUM$", "_ACUMX$", "_LTEXT$"};

constexpr std::uint16_t SYSINT_COUNT = sizeof(kSysIntDefs) / sizeof(kSysIntDefs[0]);
constexpr std::uint16_t SYSSTR_COUNT = sizeof(kSysStrDefs) / sizeof(kSysStrDefs[0]);
static_assert(SYSINT_COUNT == 44 && static_cast<std::uint16_t>(SysVar::USER03) == 43);
static_assert(SYSSTR_COUNT == 3 && static_cast<std::uint16_t>(SysStr::LTEXT) == 2);
static_assert(kSysIntDefs[static_cast<int>(SysVar::TRACE)].name == "_TRACE");
static_assert(kSysIntDefs[static_cast<int>(SysVar::PRECIS)].name == "_PRECIS");
static_assert(kSysIntDefs[static_cast<int>(SysVar::WMAXROW)].name == "_WMAXROW");

}  // namespace rt
