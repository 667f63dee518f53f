// Variable store: lookup, read and write of a number variable among about
// 200 variables (the system variables plus 160 application variables of
// every kind), the way the evaluator reaches a variable for every operand.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/runtime_core.h"
#include "core/strstack.h"
#include "lang/varstore.h"

namespace {

using namespace rt;

struct Store {
    Store() {
        StrStackConfigure(512);
        if (CoreInit() || varInit()) std::abort();
        char name[16];
        for (int i = 0; i < 40; ++i) {
            std::snprintf(name, sizeof name, "N%d#", i);
            set(name, i * 100);
            std::snprintf(name, sizeof name, "I%d%%", i);
            set(name, i * 100);
            std::snprintf(name, sizeof name, "C%d", i);
            set(name, i * 100);
            std::snprintf(name, sizeof name, "S%d$", i);
            StrScope scope;
            StrPush(StrView("text"));
            varSet(StrFromTerminated(name));
        }
        set("A#", 150);
        set("B#", 250);
    }
    ~Store() {
        varShutdown();
        CoreShutdown();
    }
    static void set(const char* name, std::int64_t v) {
        StrScope scope;
        numPush(v);
        if (varSet(StrFromTerminated(name))) std::abort();
    }
};

Store& store() {
    static Store s;
    return s;
}

void BM_Lookup(benchmark::State& state) {
    store();
    StrDesc name = StrView("B#");
    for (auto _ : state) benchmark::DoNotOptimize(varLookup(name));
}
BENCHMARK(BM_Lookup);

// varGet pushes the value; the caller releases it.
void BM_GetNumber(benchmark::State& state) {
    store();
    StrDesc name = StrView("B#");
    StrMarkT m = StrMark();
    std::int64_t v = 0;
    for (auto _ : state) {
        varGet(name);
        numRead(StrTop(), v);
        StrRelease(m);
    }
    benchmark::DoNotOptimize(v);
}
BENCHMARK(BM_GetNumber);

// Read, add, write back: one evaluator assignment 'B#=B#+A#' worth of store work.
void BM_ReadReadWrite(benchmark::State& state) {
    store();
    StrDesc a = StrView("A#"), b = StrView("B#");
    StrMarkT m = StrMark();
    for (auto _ : state) {
        std::int64_t x = 0, y = 0;
        varGet(b);
        numRead(StrTop(), x);
        varGet(a);
        numRead(StrTop(), y);
        StrRelease(m);
        numPush(x + y - 150);
        varSet(b);
        StrRelease(m);
    }
}
BENCHMARK(BM_ReadReadWrite);

// The same through positions once the name is resolved.
void BM_ByPosition(benchmark::State& state) {
    store();
    std::uint16_t pos = static_cast<std::uint16_t>(varLookup(StrView("B#")).pos);
    for (auto _ : state) {
        numSet(pos, numGet(pos) + 1);
    }
}
BENCHMARK(BM_ByPosition);

void BM_GetInteger(benchmark::State& state) {
    store();
    StrDesc name = StrView("_DEVWID");
    StrMarkT m = StrMark();
    for (auto _ : state) {
        varGet(name);
        StrRelease(m);
    }
}
BENCHMARK(BM_GetInteger);

}  // namespace
