// Test support for the throwaway PostgreSQL server started by tools/pg-server.sh.
//
// Each suite works in its own database, made fresh by `freshDatabase`. When no
// server is configured (PGHOST unset) the test is skipped, except when
// TRENDOR_REQUIRE_DB=1 (set by CI), where that is a failure.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct pg_conn;

namespace testsupport {

// The value of an environment variable, "" when unset.
std::string envOr(const char* name);

// A plain libpq connection to prepare and inspect a test database.
class PgAdmin {
public:
    explicit PgAdmin(const std::string& info);
    ~PgAdmin();
    PgAdmin(const PgAdmin&) = delete;
    PgAdmin& operator=(const PgAdmin&) = delete;
    pg_conn* get() const { return conn_; }
    bool ok() const;
    // Runs a statement; a failure fails the current test.
    void exec(const std::string& sql);
    // Rows of a query, columns joined by "|" (NULL written as "~").
    std::vector<std::string> rows(const std::string& sql);
    // The first row of rows(), "" when none.
    std::string one(const std::string& sql);
    // The first column of every row.
    std::vector<std::string> column(const std::string& sql);
    // A value quoted as an SQL literal.
    std::string literal(const std::string& v);

private:
    pg_conn* conn_;
};

// Drops and creates database `name` on the test server. Returns a libpq
// connection string for it, or "" after skipping/failing the current test.
std::string freshDatabase(const std::string& name);

// True when the current test was skipped or failed by freshDatabase.
bool databaseUnavailable();

}  // namespace testsupport

// Use at the top of a database test body.
#define REQUIRE_DATABASE(var, name)                                   \
    std::string var = ::testsupport::freshDatabase(name);             \
    if (var.empty()) return
