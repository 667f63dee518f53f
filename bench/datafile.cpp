// The data-file layer over the million-row table of bench/bigtable.h (two-
// column primary key GRP, SEQ):
// - the paged scan (scanStep with a condition translated to SQL and a
//   per-record expression evaluated on every row) against a plain libpq
//   program fetching SELECT * ... ORDER BY the key (goal: at least 40% of its
//   rows per second);
// - record-by-record NXT navigation (goal: at least 3,000 records/s);
// - counting the rows of a key range with a condition against the same
//   SELECT COUNT(*) with a row-value range (goal: within twice the time).
//
// Needs a server: PGHOST, PGPORT, PGUSER, PGPASSWORD as set by
// tools/pg-server.sh.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bigtable.h"
#include "core/runtime_core.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlcond.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "data/sqlmulti.h"
#include "datafile/datafile.h"
#include "datafile/dfbind.h"
#include "datafile/scan.h"
#include "datafile/verbs.h"
#include "lang/eval.h"
#include "lang/varstore.h"

using namespace rt;
using namespace bigtable;

namespace {

// The runtime, connected, with "big" as data file 1: GRP N6, SEQ N4, NAME
// A20, AMOUNT 2 12; key 1 GRP+SEQ. "" on success.
std::string setUp() {
    static std::string failure = [] {
        if (env("PGHOST").empty()) return std::string("PGHOST is not set (start tools/pg-server.sh)");
        std::string g = generate();
        if (!g.empty()) return g;
        StrStackConfigure(512);
        if (CoreInit() || varInit() || dictionaryReset() || evalInit()) return std::string("runtime start failed");
        sqlMultiInit();
        dataFileBind();
        if (std::string d = defineInRuntime(); !d.empty()) return d;
        if (openFile(1, 0)) return std::string("open failed");
        return std::string();
    }();
    return failure;
}

// CPU seconds a server process has used so far, read from /proc when the
// server runs on this machine; -1 otherwise.
double serverCpuSeconds(long pid) {
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::FILE* f = pid > 0 ? std::fopen(path.c_str(), "r") : nullptr;
    if (!f) return -1;
    char buf[1024];
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    // Fields 14 and 15 (utime, stime) follow the command name in parentheses.
    const char* p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The server process behind the runtime's connection.
long runtimeServerPid() {
    static long pid = [] {
        StrScope scope;
        return run(StrView("SELECT pg_backend_pid();")) == 0 ? std::atol(resultValue(0, 0).str().c_str()) : 0L;
    }();
    return pid;
}

// Reports the server's CPU time per iteration since `before`: a scan cannot
// be faster than the server produces its rows.
void reportServerCpu(benchmark::State& state, long pid, double before) {
    if (const double after = serverCpuSeconds(pid); before >= 0 && after >= 0)
        state.counters["server_ms"] = (after - before) * 1000.0 / static_cast<double>(state.iterations());
}

// The whole table by scanStep, from the first record; with `full` every row
// meets the condition and the per-record expression adds its amount to T#.
// Returns the records read, or -1 when the expression failed.
long long scanWholeTable(bool full) {
    const StrDesc condition = StrView(full ? "AMOUNT{big}>=0" : "");
    const StrDesc expression = StrView(full ? "T#=T#+AMOUNT{big}" : "");
    long long rows = 0;
    evalErrors(StrView("T#=0"));
    clearRecord(1);
    std::uint16_t flags = 0;
    while (scanStep(1, flags, condition, StrView("")) == 0) {
        if (full && evalErrors(expression)) return -1;
        ++rows;
        flags = scanflag::ADVANCE;
    }
    return rows;
}

// The whole table by scanStep. Argument 1: with the condition and the
// per-record expression; 0: the scan alone, for comparison.
void BM_ScanStepWholeTable(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    const bool full = state.range(0) != 0;
    long long rows = 0;
    const double serverBefore = serverCpuSeconds(runtimeServerPid());
    for (auto _ : state) rows = scanWholeTable(full);
    if (rows != kRows) return state.SkipWithError("not every row was read once");
    reportServerCpu(state, runtimeServerPid(), serverBefore);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
    StrScope scope;
    state.SetLabel("total " + evalText(StrView("T#")).str());
}
BENCHMARK(BM_ScanStepWholeTable)->Arg(1)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: one plain libpq query over the whole table in key order,
// every value touched.
void BM_PlainLibpqWholeTable(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    Conn c(PQconnectdb(connInfo(kDatabase).c_str()), PQfinish);
    std::uint64_t bytes = 0;
    int rows = 0;
    const double serverBefore = serverCpuSeconds(PQbackendPID(c.get()));
    for (auto _ : state) rows = plainScan(c.get(), bytes);
    benchmark::DoNotOptimize(bytes);
    reportServerCpu(state, PQbackendPID(c.get()), serverBefore);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainLibpqWholeTable)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The goal's comparison, side by side: each iteration times the plain libpq
// scan and then the full scanStep scan, one right after the other, so that
// both see the machine in the same state; the counters are the medians over
// the iterations (scan_share: the scan's rows/s over the plain program's).
void BM_ScanStepVersusPlainLibpq(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    Conn c(PQconnectdb(connInfo(kDatabase).c_str()), PQfinish);
    using Clock = std::chrono::steady_clock;
    std::vector<double> plainRates, scanRates, shares;
    for (auto _ : state) {
        std::uint64_t bytes = 0;
        Clock::time_point t0 = Clock::now();
        int plainRows = plainScan(c.get(), bytes);
        Clock::time_point t1 = Clock::now();
        long long scanRows = scanWholeTable(true);
        Clock::time_point t2 = Clock::now();
        benchmark::DoNotOptimize(bytes);
        if (plainRows != kRows || scanRows != kRows) return state.SkipWithError("not every row was read once");
        plainRates.push_back(plainRows / std::chrono::duration<double>(t1 - t0).count());
        scanRates.push_back(static_cast<double>(scanRows) / std::chrono::duration<double>(t2 - t1).count());
        shares.push_back(scanRates.back() / plainRates.back());
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["plain_rows/s"] = median(plainRates);
    state.counters["scan_rows/s"] = median(scanRates);
    state.counters["scan_share"] = median(shares);
}
BENCHMARK(BM_ScanStepVersusPlainLibpq)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();

// Record-by-record navigation: FILELOCATE('NXT') from the middle of the table.
void BM_NextRecord(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    if (findKey(1, 1, StrView("   500   0"), 0) != 0) return state.SkipWithError("find failed");
    for (auto _ : state)
        if (navigateVerb(1, StrView("NXT")) != 0) return state.SkipWithError("NXT failed");
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NextRecord)->Iterations(5000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Counting the rows of GRP 100..299 that meet a condition, as the statistics
// scan does before it reads them.
void BM_CountKeyRange(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    std::uint32_t n = 0;
    for (auto _ : state) {
        n = countWhere(1, 1, StrView("   100   0"), StrView("   299 999"), StrView("AMOUNT{big}>=500"));
    }
    state.counters["rows"] = n;
}
BENCHMARK(BM_CountKeyRange)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CountKeyRangePlainLibpq(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    Conn c(PQconnectdb(connInfo(kDatabase).c_str()), PQfinish);
    std::string n;
    for (auto _ : state) {
        Result r(PQexec(c.get(), "SELECT COUNT(*) FROM big WHERE (\"GRP\",\"SEQ\") >= (100,0) AND "
                                 "(\"GRP\",\"SEQ\") <= (299,999) AND \"AMOUNT\" >= 500"),
                 PQclear);
        n = PQgetvalue(r.get(), 0, 0);
    }
    state.counters["rows"] = std::stod(n.empty() ? "0" : n);
}
BENCHMARK(BM_CountKeyRangePlainLibpq)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
