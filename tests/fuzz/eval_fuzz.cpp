// libFuzzer target: any bytes as an expression. The evaluator must never
// crash, must leave exactly one value (or none after a failure) on the string
// stack and must cut the function-argument stack back. Every built-in
// function is given a stand-in that walks the unevaluated arguments through
// the cursor, so calls, argument stacks and nested evaluations are exercised.
//
// Run: eval_fuzz tests/fuzz/corpus/eval -max_len=512
#include <cstdint>
#include <cstdlib>

#include "core/errors.h"
#include "core/runtime_core.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/funclist.h"
#include "lang/varstore.h"

using namespace rt;

namespace {

// Walks the rest of the arguments in one of three ways chosen by the
// function number, nesting an evaluation of argument texts for some.
ErrCode standIn(FuncCall& call) {
    StrMarkT m = StrMark();
    switch (call.number % 4) {
        case 0:
            while (!evalCursorAtEnd(call.rest)) {
                ErrCode e = evalCursorNext(call.rest);
                if (e >= 128) return e;
                StrRelease(m);
            }
            break;
        case 1:
            while (evalCursorSkip(call.rest)) {
            }
            break;
        case 2:
            while (!evalCursorAtEnd(call.rest)) {
                StrDesc t = evalCursorText(call.rest);
                if (t.isError()) break;
                if (StrPush(t)) return err::OUTOFMEMORY;
                ErrCode e = evalErrors(StrTop());
                StrRelease(m);
                if (e) return e;
            }
            break;
        default:
            while (!evalCursorAtEnd(call.rest)) evalCursorOperand(call.rest);
            break;
    }
    StrRelease(m);
    call.resultIsString = call.count && call.kinds[0] == 1;
    if (call.resultIsString) return StrPush(AreaGet(area::FNARGS, call.argBase));
    return numPush(call.count);
}

void init() {
    StrStackConfigure(512);
    if (CoreInit() || varInit() || evalInit()) std::abort();
    for (std::uint16_t i = 1; i <= FUNC_COUNT; ++i) evalSetFunction(i, standIn);
    sysSet(SysVar::TRACE, 0);  // no trace log lines from evalInteger
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = (init(), true);
    (void)ready;
    if (size > 8192) return 0;
    VarMark vars = varSnapshot();
    StrDesc text = StrMake(reinterpret_cast<const char*>(data), size);
    StrMarkT m = StrMark();
    std::uint16_t args = AreaCount(area::FNARGS);

    ErrCode e = evalExpr(text);
    if (StrMark() != (e >= 128 ? m : m + 1)) std::abort();
    if (AreaCount(area::FNARGS) != args) std::abort();
    StrRelease(m);

    evalCondition(text);
    StrDesc t = evalText(text);
    if (StrMark() != (t.isError() ? m : m + 1)) std::abort();
    StrRelease(m);
    evalInteger(text);
    if (StrMark() != m || AreaCount(area::FNARGS) != args) std::abort();

    ErrorRecordClear();
    varRestore(vars);
    // Inputs may change the switches the evaluator reads; each starts afresh.
    sysSet(SysVar::PRECIS, 2);
    sysSet(SysVar::AUXSTAT, 0);
    sysSet(SysVar::TRACE, 0);
    strSet(SysStr::ACUMX, StrView(""));
    return 0;
}
