// The built-in function list of the language. A function's number is its
// position in the list (from 1); the evaluator recognises 'NAME(...)' when
// NAME is in the list (as written, then in upper case) and hands the call to
// the implementation registered for that number (evalSetFunction, lang/eval.h).
#pragma once
#include <cstdint>
#include <string_view>

namespace rt {

struct FuncDef {
    std::string_view name;
    // Arguments the evaluator evaluates before the call (at most 16); the rest
    // of the argument list reaches the implementation unevaluated. SQLCHILD
    // evaluates its own, after moving the connection slot.
    std::uint8_t evaluated;
};

constexpr std::uint8_t FUNC_ALLARGS = 16;

inline constexpr FuncDef kFunctions[] = {
    {"_#", FUNC_ALLARGS},      {"FN#FLEN", FUNC_ALLARGS},  {"FN#SLEN", FUNC_ALLARGS},
    {"FN#PARM", FUNC_ALLARGS}, {"FN#VALN", FUNC_ALLARGS},  {"FN#ACUM", 0},
    {"CHK#", 1},               {"FILEFIND", FUNC_ALLARGS}, {"FILEREL", 4},
    {"FILELOCATE", FUNC_ALLARGS}, {"FILESEL", FUNC_ALLARGS}, {"FN$CHNG", FUNC_ALLARGS},
    {"FN$CHRS", FUNC_ALLARGS}, {"FN$DATE", FUNC_ALLARGS},  {"FN$FLDS", 0},
    {"FN$MASK", FUNC_ALLARGS}, {"FN$MIDS", FUNC_ALLARGS},  {"FN$PARM", FUNC_ALLARGS},
    {"FN$TRIM", FUNC_ALLARGS}, {"ENVELOP$", FUNC_ALLARGS}, {"CHK$", 1},
    {"SORT$", FUNC_ALLARGS},   {"EXEC$", FUNC_ALLARGS},    {"READ$", FUNC_ALLARGS},
    {"WRITE", FUNC_ALLARGS},   {"MACRO$", FUNC_ALLARGS},   {"ENVRON$", FUNC_ALLARGS},
    {"_$", FUNC_ALLARGS},      {"KEY$", FUNC_ALLARGS},     {"TIME$", FUNC_ALLARGS},
    {"IER", FUNC_ALLARGS},     {"EXP$", 1},                {"SQLCHILD", 0},
};

constexpr std::uint16_t FUNC_COUNT = sizeof(kFunctions) / sizeof(kFunctions[0]);

// Function numbers the runtime refers to by name.
namespace fn {
constexpr std::uint16_t ACCUM = 1;     // _#
constexpr std::uint16_t FN_ACUM = 6;   // FN#ACUM
constexpr std::uint16_t CHK_NUM = 7;   // CHK#
constexpr std::uint16_t FILEREL = 9;
constexpr std::uint16_t FN_FLDS = 15;  // FN$FLDS
constexpr std::uint16_t CHK_STR = 21;  // CHK$
constexpr std::uint16_t ENVTABLE = 28; // _$
constexpr std::uint16_t EXP_STR = 32;  // EXP$
constexpr std::uint16_t SQLCHILD = 33;
}  // namespace fn

static_assert(FUNC_COUNT == 33);
static_assert(kFunctions[fn::ACCUM - 1].name == "_#" && kFunctions[fn::FN_ACUM - 1].name == "FN#ACUM");
static_assert(kFunctions[fn::CHK_STR - 1].name == "CHK$" && kFunctions[fn::ENVTABLE - 1].name == "_$");
static_assert(kFunctions[fn::EXP_STR - 1].name == "EXP$" && kFunctions[fn::SQLCHILD - 1].name == "SQLCHILD");

// The number of the function called `name` (as written, then in upper case);
// 0 when it is not a built-in function.
std::uint16_t funcLookup(std::string_view name);

// Stores the list, names separated by NUL characters, in environment entry 8
// ('.funclist') when that entry is empty. Moves StringArea text.
void funcListStore();

}  // namespace rt
