// The throwaway server of the test run is reachable from inside ctest.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <memory>

#include "tests/support/pg_test.h"

TEST(TestServer, FreshDatabaseAcceptsConnectionsAndStatements) {
    REQUIRE_DATABASE(info, "harness");
    std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(info.c_str()), PQfinish);
    ASSERT_EQ(PQstatus(c.get()), CONNECTION_OK) << PQerrorMessage(c.get());
    std::unique_ptr<PGresult, decltype(&PQclear)> r(
        PQexec(c.get(), "CREATE TABLE t(k int primary key); INSERT INTO t VALUES (1),(2); SELECT count(*) FROM t"),
        PQclear);
    ASSERT_EQ(PQresultStatus(r.get()), PGRES_TUPLES_OK) << PQerrorMessage(c.get());
    EXPECT_STREQ(PQgetvalue(r.get(), 0, 0), "2");
    EXPECT_STREQ(PQdb(c.get()), "harness");
}
