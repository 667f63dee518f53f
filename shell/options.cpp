#include "shell/options.h"

#include <cstring>

#include "core/lists.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "shell/environ.h"

namespace rt {
namespace {

constexpr const char* OPTION_TABLE =
    "?;HELP,APNAME,APSTART,DPATH,SCRWID,SCRHIG,INPUT,OUTPUT,FILE,INDEX,DEVICE,RUN,MODE,TRACE,"
    "CONFIG,HOST,DATABASE,USER,PASSW";

constexpr bool optionTableMatchesNumbers() {
    // The named option numbers are positions in the table.
    int items = 1;
    for (const char* p = OPTION_TABLE; *p; ++p) items += *p == ',';
    return items == opt::COUNT;
}
static_assert(optionTableMatchesNumbers());

// Replaces every occurrence of `from` outside quotes by `to` until none is
// left (each pass may leave a new one behind, as "   " does).
StrDesc replaceUntilGone(StrDesc s, StrDesc from, StrDesc to) {
    StrMarkT m = StrMark();
    while (!s.isError() && StrFindText(s, from, false) != 65535) {
        s = StrReturn(m, StrReplaceAll(s, from, to, false));
    }
    return StrReturn(m, s);
}

}  // namespace

StrDesc CmdLineNormalize(StrDesc raw) {
    if (raw.isError()) return raw;
    StrMarkT m = StrMark();
    StrDesc s = StrTrim(raw, StrView(" \t"), 3);
    s = replaceUntilGone(s, StrView("  "), StrView(" "));
    s = StrReplaceAll(s, StrView(" --"), StrView(" /"), false);
    s = StrReplaceAll(s, StrView(" -"), StrView(" /"), false);
    return StrReturn(m, s);
}

StrDesc CmdLineNormalizeArgs(int argc, const char* const* argv) {
    StrMarkT m = StrMark();
    std::size_t total = 0;
    for (int i = 0; i < argc; ++i) total += std::strlen(argv[i]) + 3;
    if (total > 65535) return StrReturn(m, StrErrorValue(err::BADCOMMANDLINE));
    if (StrReserve(static_cast<std::uint16_t>(total), 255)) return StrReturn(m, StrErrorValue(err::OUTOFMEMORY));
    char* out = StrTopWritable();
    std::size_t n = 0;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        std::size_t len = std::strlen(a);
        if (i > 0) out[n++] = ' ';
        // The program name is quoted when it holds a blank, as a Windows
        // command line shows it, so that it stays the first item.
        bool quote = i == 0 && std::strpbrk(a, " \t") && !std::strchr(a, '"');
        if (quote) out[n++] = '"';
        std::memcpy(out + n, a, len);
        n += len;
        if (quote) out[n++] = '"';
    }
    if (n > 0 && static_cast<unsigned char>(out[n - 1]) <= 13) --n;
    StrDesc joined = StrMake(out, n);
    return StrReturn(m, CmdLineNormalize(joined));
}

StrDesc OptionName(std::uint16_t n) {
    if (n == 0 || n > opt::COUNT) return StrView("");
    return ListItem(StrView(OPTION_TABLE), ',', n);
}

StrDesc OptionLookup(StrDesc name) {
    if (name.isError()) return name;
    StrMarkT m = StrMark();
    StrDesc line = EnvGet(envstr::CMDLINE);
    StrDesc v = KeyValueFind(line, name, 3);
    if (!v.isError() && v.len == 0 && name.len > 0) {
        StrDesc other = static_cast<unsigned char>(name[0]) <= '`' ? StrLower(name) : StrUpper(name);
        v = KeyValueFind(EnvGet(envstr::CMDLINE), other, 3);
    }
    return StrReturn(m, v);
}

StrDesc OptionValue(std::uint16_t n) {
    if (n == 0 || n > opt::COUNT) return StrView("");
    return OptionLookup(OptionName(n));
}

std::uint16_t OptionIndexIn(std::uint16_t n, StrDesc list) {
    StrMarkT m = StrMark();
    std::uint16_t i = ListIndexOf(list, OptionValue(n), ',');
    StrRelease(m);
    return i;
}

}  // namespace rt
