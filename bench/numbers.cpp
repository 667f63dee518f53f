// Number and mask conversions: every literal of an expression and every
// number shown or stored goes through them.
#include <benchmark/benchmark.h>

#include "core/runtime_core.h"
#include "core/strstack.h"
#include "lang/masks.h"
#include "lang/numbers.h"

namespace {

struct Runtime {
    Runtime() {
        rt::StrStackConfigure(512);
        rt::CoreInit();
        rt::numLocaleInit();
    }
    ~Runtime() { rt::CoreReset(); }
};

Runtime& runtime() {
    static Runtime r;
    return r;
}

void TextToNum(benchmark::State& state) {
    runtime();
    rt::StrDesc text = rt::StrView(" -1234567.895 ");
    for (auto _ : state) benchmark::DoNotOptimize(rt::textToNum(text));
}
BENCHMARK(TextToNum);

void NumToText(benchmark::State& state) {
    runtime();
    rt::StrMarkT m = rt::StrMark();
    std::int64_t raw = -123456789012;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rt::numToText(raw));
        rt::StrRelease(m);
    }
}
BENCHMARK(NumToText);

void MaskFormatNumber(benchmark::State& state) {
    runtime();
    rt::StrMarkT m = rt::StrMark();
    rt::StrDesc mask = rt::StrView("###,###,##0,.02");
    rt::StrDesc value = rt::StrView("-1234567.895");
    for (auto _ : state) {
        benchmark::DoNotOptimize(rt::maskFormat(mask, value));
        rt::StrRelease(m);
    }
}
BENCHMARK(MaskFormatNumber);

void ToStoredNumber(benchmark::State& state) {
    runtime();
    rt::StrMarkT m = rt::StrMark();
    rt::StrDesc typed = rt::StrView("  001234.567 ");
    for (auto _ : state) {
        benchmark::DoNotOptimize(rt::toStored('2', typed, 12));
        rt::StrRelease(m);
    }
}
BENCHMARK(ToStoredNumber);

}  // namespace
