// The expression evaluator: every computed value of the runtime (assignments,
// conditions, defaults and checks of screens, report totals, parameter files,
// command arguments) is a line of text evaluated here.
//
// Results are left on the string stack above the caller's mark: a number as
// its 8-byte scaled value (numRead), a string as its bytes. On a failure
// (122 or more) the string stack and the function-argument stack are back at
// their entry marks; codes of 128 or more are recorded (ExpExec) with the
// failing operand's text added to the error detail.
//
// A text is checked (parentheses 129, misplaced spaces 147), stripped of its
// spaces outside literals and its dialog shorthands expanded before each
// evaluation; that preparation and the tokenizer's split of the text into
// operands and operators are remembered per text in a small cache, so a text
// evaluated again (a scan condition, a report total) skips them.
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

constexpr ErrCode EVAL_NUMBER = 0;
constexpr ErrCode EVAL_STRING = 1;

namespace area {
constexpr std::uint16_t RETVALUES = 30;  // stack table: values returned by scripts
constexpr std::uint16_t FNARGS = 35;     // stack table: arguments of a function call
}  // namespace area

// An argument given empty ('F(1;;3)') is this one-byte text with kind 0; a
// function reads it as the empty string, so the argument takes its default.
constexpr char EVAL_EMPTYARG = '\x1B';

// --- Entry points ----------------------------------------------------------

// 0 when the result is a number, 1 when it is a string (the value on the
// string stack), otherwise the code. 123 (Null Expression): there was no
// value (an empty text); the number 0 is left. Other codes from 122 to 127
// (125, a function's result of the other type) leave the value as well.
ErrCode evalExpr(StrDesc text);
// 1 (true) or 0 (false), or the code (122 or more) of a failed evaluation.
// An empty text is true; a number is true when it is not 0; a string is false.
// Nothing is left on the string stack.
ErrCode evalCondition(StrDesc text);
// The scaled number; 0 when the evaluation fails or gives a string.
std::int64_t evalNumber(StrDesc text);
// The value as text (pushed): a number with _PRECIS decimals, a string as it
// is; "" for an empty text; the error value of the code on failure.
StrDesc evalText(StrDesc text);
// The number rounded half away from zero to an integer. When the text does
// not give a number, the line "Errode:<code> (<text>)" goes to the trace log
// (flags 1) and the result is 0. Nothing is left on the string stack.
std::int64_t evalInteger(StrDesc text);
// The code when it is 128 or more, else 0 (the value is discarded).
ErrCode evalErrors(StrDesc text);
// Reads the file, turns each carriage return and each line feed into ';' and
// evaluates the text as one expression list (one assignment per line).
// A missing file gives 164 (File Not Found, name in the error detail) when
// required, else 0; otherwise the evaluation's code when 128 or more, else 0.
ErrCode evalFile(StrDesc name, bool required);

// --- The tokenizer, for readers of expression texts ---------------------------

// One step of the tokenizer: an operand and the operator that follows it.
struct EvalStep {
    std::uint16_t start = 0, len = 0;  // operand text (a call's or an element's name before its '(')
    std::uint16_t in = 0, inLen = 0;   // inside of the parentheses, when `paren`
    std::uint16_t end = 0;             // end of the operand, its parenthesised part included
    std::uint16_t next = 0;            // where the next step begins
    ErrCode err = 0;                   // 129 a '(' without its ')', 147 text between ')' and an operator
    std::uint8_t op = 0;               // code of the operator after the operand; 0: the expression ends
    std::uint8_t kind = 0;             // operand kind bits (1 string, 2 variable, 4 number variable,
                                       // 8 field, 16 element, 32 call, 64 group)
    bool paren = false;                // the operand has a parenthesised part
    bool last = false;                 // the text ends with this step
};
// The text as the evaluator reads it (pushed): parentheses paired (129),
// spaces next to operators only (147) and removed outside literals, dialog
// shorthands expanded. The error value on failure; nothing is recorded.
StrDesc evalPrepare(StrDesc text);
// The step of a prepared text that begins at `pos`, reading up to `end`
// (a step that ends an expression at ';' or ',' has op 0 and is not last).
void evalStep(StrDesc text, std::uint16_t pos, std::uint16_t end, EvalStep& out);

// --- Built-in function calls -------------------------------------------------

// The unevaluated rest of a call's argument list.
struct EvalCursor;

struct FuncCall {
    std::uint16_t number = 0;  // position in kFunctions (lang/funclist.h)
    std::uint8_t count = 0;    // arguments evaluated before the call
    std::uint8_t kinds[16] = {};  // per evaluated argument: 0 number, 1 string
    // Argument i is entry argBase + i of the function-argument stack (a
    // number as its 8 bytes, a string as its bytes, EVAL_EMPTYARG when empty).
    std::uint16_t argBase = 0;
    EvalCursor* rest = nullptr;   // arguments not evaluated
    bool resultIsString = false;  // set by the implementation
};

// An implementation leaves its result on top of the string stack, sets
// resultIsString, and returns 0 or a code (122 or more). It may evaluate or
// skip the unevaluated arguments through the cursor functions below. The
// argument stack is cut back after the call whatever the outcome.
using FuncImpl = ErrCode (*)(FuncCall& call);

// Registers the implementation of function `number` (null removes it). A call
// to a listed function without an implementation fails with 148
// (FEATUREREMOVED).
void evalSetFunction(std::uint16_t number, FuncImpl impl);
FuncImpl evalGetFunction(std::uint16_t number);

// True when no argument is left.
bool evalCursorAtEnd(const EvalCursor* c);
// Evaluates the next argument and leaves its value on the string stack
// (codes as evalExpr; 123 for an empty argument); 65535 when none is left.
ErrCode evalCursorNext(EvalCursor* c);
// Passes over the next argument without evaluating it; false when none is left.
bool evalCursorSkip(EvalCursor* c);
// The text of the next argument (a view valid during the call), passing over
// it; the error value 65535 when none is left.
StrDesc evalCursorText(EvalCursor* c);
// The text of the next operand, passing over it and the operator after it
// ('C#*2' gives C# then 2); the error value 65535 when none is left.
StrDesc evalCursorOperand(EvalCursor* c);
// Evaluates up to `max` (at most 16) further arguments, pushing each on the
// function-argument stack (last on top) and appending its kind to kinds;
// count receives how many were evaluated. A failing argument stops with its
// code (the values pushed so far stay: the caller cuts the stack back).
ErrCode evalArgs(EvalCursor* c, std::uint8_t max, std::uint8_t& count, std::uint8_t* kinds);

// '_NAME(...)' that is not a built-in function goes to host hook slot 2
// (lang/varstore.h) with the name up to its '(' and, as arg, a FuncCall whose
// arguments are evaluated: mode 1 reads (the hook pushes the value and sets
// resultIsString), mode 5 assigns the value on top of the string stack.
// Without the hook a read gives no value (123) and an assignment 147.

// --- Field references ('FIELD{FILE}') ----------------------------------------

struct FieldAccess {
    // Pushes the field's stored text and gives its type letter.
    ErrCode (*read)(StrDesc ref, char& type) = nullptr;
    // Stores text into the field.
    ErrCode (*write)(StrDesc ref, StrDesc text) = nullptr;
};
// Installs the data-file layer's field access; without it a field reference
// fails with 161 (FILEOUTBOUND).
void evalSetFieldAccess(const FieldAccess& access);

// --- Life cycle --------------------------------------------------------------

// Forgets the remembered texts, stores the function list (environment entry
// 8, '.funclist'), registers the built-in functions (lang/funcs.h) and makes
// the evaluator the expression hook of MacroExpand.
// Called once by start-up after the variable store.
ErrCode evalInit();
// Forgets the remembered texts and the field access (registered functions stay).
void evalShutdown();

}  // namespace rt
