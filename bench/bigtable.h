// The million-row table of the navigation benchmarks: 1,000,000 rows with a
// two-column primary key, generated once on the server with one INSERT ...
// SELECT over generate_series (BIGTABLE_REBUILD=1 generates it again).
//
// The database is kept in the runtime's own character set, Windows-1252
// (database "bigtable_win1252", byte-order collation), as the application's
// databases are: the server then sends rows as they are stored. With
// BIGTABLE_ENCODING=UTF8 it is "bigtable_utf8" instead, where the server
// converts every value it sends to the runtime (its client encoding is
// WIN1252) while a plain libpq program receives UTF-8 unconverted.
//
// Needs a server: PGHOST, PGPORT, PGUSER, PGPASSWORD as set by
// tools/pg-server.sh.
#pragma once
#include <libpq-fe.h>

#include "data/dictionary.h"
#include "data/sqlconn.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace bigtable {

inline constexpr int kRows = 1000000;

inline std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline bool utf8Database() { return env("BIGTABLE_ENCODING") == "UTF8"; }
inline const std::string kDatabase = utf8Database() ? "bigtable_utf8" : "bigtable_win1252";

inline std::string connInfo(const std::string& db) {
    return "host=" + env("PGHOST") + " port=" + env("PGPORT") + " user=" + env("PGUSER") +
           " password=" + env("PGPASSWORD") + " dbname=" + db;
}

using Conn = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

inline bool ok(PGresult* r) {
    auto st = PQresultStatus(r);
    return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
}

// Creates the database and the table when they are missing. "" on success.
inline std::string generate() {
    Conn admin(PQconnectdb(connInfo("postgres").c_str()), PQfinish);
    if (PQstatus(admin.get()) != CONNECTION_OK) return PQerrorMessage(admin.get());
    Result exists(PQexec(admin.get(), ("SELECT 1 FROM pg_database WHERE datname = '" + kDatabase + "'").c_str()),
                  PQclear);
    if (PQntuples(exists.get()) == 0) {
        std::string create = "CREATE DATABASE " + kDatabase + " TEMPLATE template0 LC_COLLATE 'C' LC_CTYPE 'C' ENCODING " +
                             (utf8Database() ? "'UTF8'" : "'WIN1252'");
        Result r(PQexec(admin.get(), create.c_str()), PQclear);
        if (!ok(r.get())) return PQerrorMessage(admin.get());
    }
    Conn c(PQconnectdb(connInfo(kDatabase).c_str()), PQfinish);
    if (PQstatus(c.get()) != CONNECTION_OK) return PQerrorMessage(c.get());
    Result count(PQexec(c.get(), "SELECT count(*) FROM big"), PQclear);
    bool present = ok(count.get()) && std::atoi(PQgetvalue(count.get(), 0, 0)) == kRows;
    if (present && env("BIGTABLE_REBUILD") != "1") return "";
    for (const char* sql : {
             "DROP TABLE IF EXISTS big",
             "CREATE TABLE big (\"GRP\" integer NOT NULL, \"SEQ\" integer NOT NULL, \"NAME\" varchar(20), "
             "\"AMOUNT\" numeric(12,2), PRIMARY KEY (\"GRP\", \"SEQ\"))",
             "INSERT INTO big SELECT i / 1000, i % 1000, 'name ' || i, (i % 100000) / 100.0 "
             "FROM generate_series(0, 999999) AS i",
             "VACUUM ANALYZE big",
         }) {
        Result r(PQexec(c.get(), sql), PQclear);
        if (!ok(r.get())) return std::string(sql) + ": " + PQerrorMessage(c.get());
    }
    return "";
}

// The reference every benchmark compares with: one plain libpq query over the
// whole table in key order, every value touched. Returns the rows read.
inline int plainScan(PGconn* c, std::uint64_t& bytes) {
    Result r(PQexec(c, "SELECT * FROM big ORDER BY \"GRP\",\"SEQ\""), PQclear);
    int rows = PQntuples(r.get());
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < 4; ++j) bytes += std::strlen(PQgetvalue(r.get(), i, j));
    return rows;
}

// Connects the runtime to the table and defines it in the dictionary as
// table 1 with its two-field key (the runtime core must be started). "" on success.
inline std::string defineInRuntime() {
    using namespace rt;
    std::string host = env("PGHOST"), user = env("PGUSER"), pw = env("PGPASSWORD");
    if (connect(StrView(host), StrView(kDatabase), StrView(user), StrView(pw), 0)) return "connect failed";
    if (defineTable(0, StrView("big"), StrView("")) || addField(StrView("GRP"), 6, 'N') ||
        addField(StrView("SEQ"), 4, 'N') || addField(StrView("NAME"), 20, 'A') ||
        addField(StrView("AMOUNT"), 12, '2'))
        return "dictionary failed";
    KeySegment key[2] = {{0, 6}, {6, 4}};
    if (defineKey(1, 2, key)) return "key failed";
    return "";
}

}  // namespace bigtable
