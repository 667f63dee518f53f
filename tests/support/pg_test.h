// Test support for the throwaway PostgreSQL server started by tools/pg-server.sh.
//
// Each suite works in its own database, made fresh by `freshDatabase`. When no
// server is configured (PGHOST unset) the test is skipped, except when
// TRENDOR_REQUIRE_DB=1 (set by CI), where that is a failure.
#pragma once
#include <string>

namespace testsupport {

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
