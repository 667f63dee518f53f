// Test support of the data-file tests: a clean runtime with the variable
// store, the evaluator, the dictionary and the data-file bindings; a login
// to a fresh database of the throwaway server; a plain libpq connection to
// prepare and inspect the tables.
#pragma once
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/strarea.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "data/sqlconn.h"
#include "data/sqlmulti.h"
#include "datafile/datafile.h"
#include "datafile/dfbind.h"
#include "datafile/record.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "tests/support/pg_test.h"
#include "tests/support/runtime_fixture.h"

namespace dftest {

inline constexpr auto env = testsupport::envOr;

inline rt::StrDesc S(const std::string& s) { return rt::StrMake(s.data(), s.size()); }

using Admin = testsupport::PgAdmin;

// A field of a dictionary table: name, width, type.
struct Field {
    const char* name;
    std::uint16_t width;
    char type;
};

class DataFileTest : public testsupport::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_EQ(rt::varInit(), 0);
        ASSERT_EQ(rt::dictionaryReset(), 0);
        ASSERT_EQ(rt::evalInit(), 0);
        rt::sqlMultiInit();
        rt::dataFileBind();
    }
    void TearDown() override {
        rt::dataFilesShutdown();
        rt::sqlMultiShutdown();
        rt::SqlShutdown();
        rt::evalShutdown();
        rt::varShutdown();
        RuntimeTest::TearDown();
    }
    // Logs in to the database `db` (made fresh by REQUIRE_DATABASE).
    rt::ErrCode connectTo(const std::string& db) {
        std::string host = env("PGHOST"), user = env("PGUSER"), pw = env("PGPASSWORD");
        return rt::connect(rt::StrView(host), rt::StrView(db), rt::StrView(user), rt::StrView(pw), 0);
    }
    // Defines a table with its fields and keys (each key a list of segments
    // {offset, length}); returns its number.
    std::uint16_t define(const char* name, std::initializer_list<Field> fields,
                         std::initializer_list<std::vector<rt::KeySegment>> keys) {
        EXPECT_EQ(rt::defineTable(0, rt::StrView(name), rt::StrView("")), 0);
        std::uint16_t t = rt::tableCount();
        for (const Field& f : fields) EXPECT_EQ(rt::addField(rt::StrView(f.name), f.width, f.type), 0);
        for (const auto& k : keys)
            EXPECT_EQ(rt::defineKey(t, static_cast<std::uint16_t>(k.size()), k.data()), 0);
        if (keys.size() == 0) {
            EXPECT_EQ(rt::defaultKeysUpTo(t), 0);
        }
        return t;
    }
    std::string working(std::uint16_t t) { return testsupport::show(rt::recordCopy(t, rt::copy::WORKING)); }
    std::string asRead(std::uint16_t t) { return testsupport::show(rt::recordCopy(t, rt::copy::ASREAD)); }
    std::string field(std::uint16_t t, std::uint16_t f) {
        rt::StrScope scope;
        return testsupport::show(rt::fieldValue(t, f));
    }
    void set(std::uint16_t t, std::uint16_t f, const std::string& text) {
        ASSERT_EQ(rt::setField(t, f, S(text)), 0) << text;
    }
    // Sends every statement to a trace file of a temporary folder, and reads
    // the statements sent since the last call.
    void traceStatements() {
        tracePath_ = (dir_.path() / "trace.txt").string();
        ASSERT_EQ(rt::AreaSet(rt::area::WORK, rt::area::WORK_LOGPATH, S(tracePath_)), 0);
        rt::sysSet(rt::SysVar::TRACE, 1 | 2 | 4);
    }
    std::vector<std::string> statements() {
        std::string text = dir_.read("trace.txt");
        std::vector<std::string> lines;
        std::size_t at = text.find_first_not_of("\r\n", seen_);
        while (at != std::string::npos && at < text.size()) {
            std::size_t end = text.find_first_of("\r\n", at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? end : text.find_first_not_of("\r\n", end);
        }
        seen_ = text.size();
        return lines;
    }
    // Evaluates an expression; its value as text ("<error N>" on failure).
    std::string eval(const std::string& text) {
        rt::StrScope scope;
        return testsupport::show(rt::evalText(S(text)));
    }

private:
    testsupport::TempDir dir_;
    std::string tracePath_;
    std::size_t seen_ = 0;
};

}  // namespace dftest
