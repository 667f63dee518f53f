#include "tests/support/pg_test.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

namespace testsupport {
namespace {

bool g_unavailable = false;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Quotes a value by the libpq connection-string rules.
std::string connValue(const std::string& v) {
    std::string out = "'";
    for (char c : v) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

std::string connInfo(const std::string& db) {
    return "host=" + connValue(env("PGHOST")) + " port=" + connValue(env("PGPORT")) + " user=" +
           connValue(env("PGUSER")) + " password=" + connValue(env("PGPASSWORD")) + " dbname=" + connValue(db);
}

}  // namespace

std::string envOr(const char* name) { return env(name); }

PgAdmin::PgAdmin(const std::string& info) : conn_(PQconnectdb(info.c_str())) {}
PgAdmin::~PgAdmin() { PQfinish(conn_); }
bool PgAdmin::ok() const { return PQstatus(conn_) == CONNECTION_OK; }

void PgAdmin::exec(const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn_, sql.c_str()), PQclear);
    auto st = PQresultStatus(r.get());
    ASSERT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn_);
}

std::vector<std::string> PgAdmin::rows(const std::string& sql) {
    std::vector<std::string> out;
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn_, sql.c_str()), PQclear);
    EXPECT_EQ(PQresultStatus(r.get()), PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn_);
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        std::string row;
        for (int j = 0; j < PQnfields(r.get()); ++j) {
            if (j) row += "|";
            row += PQgetisnull(r.get(), i, j) ? "~" : PQgetvalue(r.get(), i, j);
        }
        out.push_back(row);
    }
    return out;
}

std::string PgAdmin::one(const std::string& sql) {
    auto r = rows(sql);
    return r.empty() ? "" : r[0];
}

std::vector<std::string> PgAdmin::column(const std::string& sql) {
    std::vector<std::string> out;
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn_, sql.c_str()), PQclear);
    for (int i = 0; i < PQntuples(r.get()); ++i) out.emplace_back(PQgetvalue(r.get(), i, 0));
    return out;
}

std::string PgAdmin::literal(const std::string& v) {
    char* q = PQescapeLiteral(conn_, v.data(), v.size());
    std::string s = q ? q : "";
    PQfreemem(q);
    return s;
}

bool databaseUnavailable() { return g_unavailable; }

std::string freshDatabase(const std::string& name) {
    g_unavailable = true;
    if (env("PGHOST").empty()) {
        if (env("TRENDOR_REQUIRE_DB") == "1") {
            ADD_FAILURE() << "no test database server (PGHOST unset) but TRENDOR_REQUIRE_DB=1";
        } else {
            GTEST_MESSAGE_("no test database server (run through make test)",
                           ::testing::TestPartResult::kSkip);
        }
        return "";
    }
    std::unique_ptr<PGconn, decltype(&PQfinish)> admin(PQconnectdb(connInfo("postgres").c_str()), PQfinish);
    if (PQstatus(admin.get()) != CONNECTION_OK) {
        ADD_FAILURE() << "cannot reach the test server: " << PQerrorMessage(admin.get());
        return "";
    }
    for (const std::string& sql : {"DROP DATABASE IF EXISTS \"" + name + "\" WITH (FORCE)",
                                   "CREATE DATABASE \"" + name + "\" ENCODING 'UTF8' TEMPLATE template0"}) {
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(admin.get(), sql.c_str()), PQclear);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            ADD_FAILURE() << sql << ": " << PQerrorMessage(admin.get());
            return "";
        }
    }
    g_unavailable = false;
    return connInfo(name);
}

}  // namespace testsupport
