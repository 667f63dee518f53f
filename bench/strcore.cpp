// Costs of the string core's hot paths: pushing and releasing values, list
// item access on quoted and unquoted lists, and option key lookup.
#include <benchmark/benchmark.h>

#include <string>

#include "core/lists.h"
#include "core/runtime_core.h"
#include "core/strfuncs.h"
#include "core/strstack.h"

namespace {

using namespace rt;

struct Core {
    Core() {
        CoreReset();
        StrStackConfigure(512);
        CoreInit();
    }
    ~Core() { CoreReset(); }
};

// 64 items; quoted items hold a separator inside their quotes.
std::string makeList(bool quoted) {
    std::string l;
    for (int i = 1; i <= 64; ++i) {
        if (i > 1) l += ',';
        l += quoted ? "'item " + std::to_string(i) + ",x'" : "item" + std::to_string(i);
    }
    return l;
}

void BM_PushRelease(benchmark::State& state) {
    Core core;
    std::string value(static_cast<std::size_t>(state.range(0)), 'x');
    StrDesc v = StrView(value);
    for (auto _ : state) {
        StrMarkT m = StrMark();
        StrPush(v);
        benchmark::DoNotOptimize(StrTop().ptr);
        StrRelease(m);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PushRelease)->Arg(8)->Arg(1024);

void BM_ListItem(benchmark::State& state) {
    Core core;
    std::string list = makeList(state.range(1) != 0);
    StrDesc l = StrView(list);
    auto n = static_cast<std::uint16_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(ListItem(l, ',', n));
    state.SetLabel(state.range(1) ? "quoted" : "plain");
}
BENCHMARK(BM_ListItem)->ArgsProduct({{1, 10, 50}, {0, 1}});

void BM_ListCount(benchmark::State& state) {
    Core core;
    std::string list = makeList(state.range(0) != 0);
    StrDesc l = StrView(list);
    for (auto _ : state) benchmark::DoNotOptimize(ListCount(l, ','));
    state.SetLabel(state.range(0) ? "quoted" : "plain");
}
BENCHMARK(BM_ListCount)->Arg(0)->Arg(1);

void BM_KeyValueFind(benchmark::State& state) {
    Core core;
    const std::string options =
        "prog.exe /APNAME=TR /APSTART='TRMENU' /DPATH='D:\\data\\trendor' /MODE=1 /TRACE=5 "
        "/sqlhost=localhost /database=stats /user=viewer /passw='s3cret:x'";
    StrDesc text = StrView(options);
    StrDesc key = StrView(state.range(0) ? "passw" : "APNAME");
    for (auto _ : state) {
        StrMarkT m = StrMark();
        benchmark::DoNotOptimize(KeyValueFind(text, key, 3));
        StrRelease(m);
    }
    state.SetLabel(state.range(0) ? "last key" : "first key");
}
BENCHMARK(BM_KeyValueFind)->Arg(0)->Arg(1);

}  // namespace
