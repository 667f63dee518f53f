#include "lang/funclist.h"

#include "core/strarea.h"

namespace rt {
namespace {

constexpr std::uint16_t kFuncListEntry = 8;  // environment entry '.funclist'

}  // namespace

void funcListStore() {
    if (!AreaReady() || AreaGet(area::ENV, kFuncListEntry).len) return;
    char text[FUNC_COUNT * 12];
    std::size_t n = 0;
    for (const FuncDef& f : kFunctions) {
        if (n) text[n++] = '\0';
        for (char c : f.name) text[n++] = c;
    }
    AreaSet(area::ENV, kFuncListEntry, StrMake(text, n));
}

std::uint16_t funcLookup(std::string_view name) {
    for (std::uint16_t i = 0; i < FUNC_COUNT; ++i)
        if (kFunctions[i].name == name) return static_cast<std::uint16_t>(i + 1);
    // Every name of the list is ASCII, so ASCII upper case is the whole of
    // the case-insensitive match.
    char up[16];
    if (name.size() > sizeof(up)) return 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        up[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    std::string_view u(up, name.size());
    for (std::uint16_t i = 0; i < FUNC_COUNT; ++i)
        if (kFunctions[i].name == u) return static_cast<std::uint16_t>(i + 1);
    return 0;
}

}  // namespace rt
