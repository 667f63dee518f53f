// Navigation over a table of 1,000,000 rows with a two-column primary key:
// scan pages of 512 rows in key order (the data-file scan) and single-row
// NXT steps, with the statements in the general form (NULL rules written
// out) and in the index form (plain and row-value comparisons), against a
// plain libpq SELECT * ... ORDER BY over the whole table.
//
// Needs a server: PGHOST, PGPORT, PGUSER, PGPASSWORD as set by
// tools/pg-server.sh. The table is generated once (bench/bigtable.h).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/bigtable.h"
#include "core/runtime_core.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqldriver.h"
#include "datafile/record.h"
#include "lang/varstore.h"

using namespace rt;

namespace {

using namespace bigtable;

constexpr std::uint32_t kPage = 512;

// The runtime, connected, with the table "big" in the dictionary: GRP N6,
// SEQ N4, NAME A20, AMOUNT 2 12; key 1 GRP+SEQ. "" on success.
std::string setUp() {
    static std::string failure = [] {
        if (env("PGHOST").empty()) return std::string("PGHOST is not set (start tools/pg-server.sh)");
        std::string g = generate();
        if (!g.empty()) return g;
        StrStackConfigure(512);
        if (CoreInit() || varInit() || dictionaryReset()) return std::string("runtime start failed");
        if (std::string d = defineInRuntime(); !d.empty()) return d;
        if (recordInit(1)) return std::string("record buffers failed");
        if (!sqlForm(1, 1).indexForm) return std::string("the key should be NOT NULL");
        return std::string();
    }();
    return failure;
}

SqlForm generalForm() { return SqlForm{}; }
SqlForm indexForm() { return sqlForm(1, 1); }

// The key value of GRP/SEQ as the record holds it.
std::string keyOf(int grp, int seq) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%-6d%-4d", grp, seq);
    return buf;
}

// One scan page from key value `from` (inclusive): every row loaded into the
// record; `next` receives the key value of the page's last row (where the
// next page starts, as the scan does). Returns the rows of the page.
std::uint32_t page(const std::string& from, const SqlForm& form, std::string& next) {
    StrScope scope;
    StrDesc stmt = pageStatement(1, 1, StrMake(from.data(), from.size()), StrView("\xFF"), StrView(""), kPage, form);
    std::uint16_t slot = newResultSlot();
    if (stmt.isError() || slot == SQL_NOSLOT) return 0;
    ErrCode code = execute(stmt, slot, nullptr);
    std::uint32_t n = code == 0 ? resultRows(slot) : 0;
    for (std::uint32_t r = 0; r < n; ++r) loadRow(1, r, slot, LoadInto::WORKING);
    next = n == kPage ? keyValue(1, 1).str() : std::string();
    releaseResult(slot);
    return n;
}

void pagesAt(benchmark::State& state, const SqlForm& form, int grp) {
    std::string from = keyOf(grp, 0), next;
    std::uint64_t rows = 0;
    for (auto _ : state) {
        rows += page(from, form, next);
        from = next;
    }
    state.counters["rows/page"] = benchmark::Counter(static_cast<double>(rows) / static_cast<double>(state.iterations()));
}

void BM_PageGeneralForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    pagesAt(state, generalForm(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_PageGeneralForm)->Arg(0)->Arg(500)->Arg(990)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_PageIndexForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    pagesAt(state, indexForm(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_PageIndexForm)->Arg(0)->Arg(500)->Arg(990)->Iterations(200)->Unit(benchmark::kMillisecond);

// The whole table in key order, page by page (each page starting again at the
// previous page's last key value).
void wholeTableByPages(benchmark::State& state, const SqlForm& form) {
    std::uint64_t rows = 0;
    for (auto _ : state) {
        std::string from, next;
        std::uint32_t n;
        rows = 0;
        while ((n = page(from, form, next)) == kPage) {
            rows += n - 1;
            from = next;
        }
        rows += n;
    }
    state.counters["rows"] = static_cast<double>(rows);
    if (rows != static_cast<std::uint64_t>(kRows)) state.SkipWithError("not every row was read once");
}

void BM_WholeTableByPagesIndexForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    wholeTableByPages(state, indexForm());
}
BENCHMARK(BM_WholeTableByPagesIndexForm)->Iterations(3)->Unit(benchmark::kMillisecond);

// Minutes: run it alone with --benchmark_filter=WholeTableByPagesGeneral.
void BM_WholeTableByPagesGeneralForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    wholeTableByPages(state, generalForm());
}
BENCHMARK(BM_WholeTableByPagesGeneralForm)->Iterations(1)->Unit(benchmark::kMillisecond);

// The reference: one plain libpq query over the whole table, every value touched.
void BM_WholeTablePlainLibpq(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    Conn c(PQconnectdb(connInfo(kDatabase).c_str()), PQfinish);
    std::uint64_t bytes = 0;
    int rows = 0;
    for (auto _ : state) rows = plainScan(c.get(), bytes);
    benchmark::DoNotOptimize(bytes);
    state.counters["rows"] = rows;
}
BENCHMARK(BM_WholeTablePlainLibpq)->Iterations(3)->Unit(benchmark::kMillisecond);

// Single-row NXT steps through readRecord (the driver picks the index form),
// and the same steps with the general form's statements.
void BM_NextStepIndexForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    findByKey(1, 1, StrView("500   0   "), 0);
    for (auto _ : state) readRecord(1, nav::NXT);
}
BENCHMARK(BM_NextStepIndexForm)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_NextStepGeneralForm(benchmark::State& state) {
    if (std::string f = setUp(); !f.empty()) return state.SkipWithError(f.c_str());
    SqlForm form = generalForm();
    findByKey(1, 1, StrView("500   0   "), 0);
    for (auto _ : state) {
        StrScope scope;
        StrDesc v = keyValue(1, 1);
        if (run(readStatement(1, 1, nav::NXT, v, StrView(""), StrView(""), form)) == 0)
            loadRow(1, 0, baseSlot(), LoadInto::BOTH);
    }
}
BENCHMARK(BM_NextStepGeneralForm)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
