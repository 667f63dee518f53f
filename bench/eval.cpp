// Evaluations per second of typical expressions: a number formula, a
// per-record report expression and a scan condition with a wildcard
// comparison, each evaluated from its text.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "core/runtime_core.h"
#include "core/strstack.h"
#include "lang/eval.h"
#include "lang/varstore.h"

using namespace rt;

namespace {

void setUp() {
    static bool done = false;
    if (done) return;
    done = true;
    StrStackConfigure(512);
    if (CoreInit() || varInit() || evalInit()) std::abort();
    StrMarkT m = StrMark();
    if (evalExpr(StrView("A#=12.5;B#=3.25;CITY$='MADRID';AMT#=250;D$='20241105'")) >= 128) std::abort();
    StrRelease(m);
}

void evalLoop(benchmark::State& state, StrDesc text, ErrCode expected) {
    setUp();
    StrMarkT m = StrMark();
    for (auto _ : state) {
        ErrCode e = evalExpr(text);
        if (e != expected) {
            state.SkipWithError("unexpected result");
            break;
        }
        benchmark::DoNotOptimize(StrTop().ptr);
        StrRelease(m);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_NumberFormula(benchmark::State& state) { evalLoop(state, StrView("A#+B#*2"), EVAL_NUMBER); }
void BM_ReportExpression(benchmark::State& state) {
    evalLoop(state, StrView("_n_=FN#VALN(FN$MIDS(D$;5;2));TOT#(_n_)=TOT#(_n_)+AMT#"), EVAL_NUMBER);
}
void BM_ScanCondition(benchmark::State& state) {
    evalLoop(state, StrView("CITY$=='MA*'&&AMT#>100"), EVAL_NUMBER);
}

BENCHMARK(BM_NumberFormula);
BENCHMARK(BM_ReportExpression);
BENCHMARK(BM_ScanCondition);

}  // namespace
