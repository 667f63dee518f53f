// The SQL connection: eight connection slots, each holding a connection (or
// none) and a stored result (or none); the login with its parameter sources
// and remembered values; `execute`, the one door to the server; the loading
// of the database catalogue into the data dictionary; SQL text literals and
// the repair of server messages.
//
// The current slot is the system variable _SQLSTK; its connection runs every
// statement. Several slots may hold the same connection: a slot that receives
// a stored result gets a copy of the current connection, and a statement run
// on a slot without one works on the connection of the nearest slot below
// (the nested reads of SQLCHILD). Rows and server messages arrive as
// Windows-1252.
//
// Results of `execute`: 0 done (rows stored, or command done), 2 the query
// returned no row, 162 SQLERROR, 183 "Data Already exist" (unique violation or
// existing object), 168 DATAOUTBOUND (no slot free for a multi-row result).
// A current slot of 8 or more is refused with 141 and logged as the
// assertion "sqlControlFailure".
#pragma once
#include <cstdint>

#include "core/errcode.h"
#include "core/strdesc.h"

namespace rt {

constexpr std::uint16_t SQL_SLOTS = 8;
constexpr std::uint16_t SQL_NOSLOT = 0xFFFF;

// ---- Login and connections --------------------------------------------------------

// The login screen: shows `fieldSpec` titled `title`. Accepted: returns 0 and
// sets *answer to the answers as one parameter string (pushed above the
// caller's mark). Otherwise returns its code (122 when cancelled).
using LoginDialog = ErrCode (*)(StrDesc title, StrDesc fieldSpec, StrDesc* answer);
// Installs the login screen (null: none, the dialog step answers 122) and
// returns the previous one.
LoginDialog loginDialogSet(LoginDialog dialog);

// Logs in. `source` is a parameter string "host,database,user,password[,remember]"
// or, with fewer than four items, a parameter file name ("" = "sqlparams.dat");
// the command-line keys "sqlhost", "database", "user", "passw" win over a file
// when "sqlhost" is given. A failure (162) asks the login screen, whose
// answer is tried in turn; the screen's code (122) ends the login. Without a
// login screen the login ends with 162 when the server refused the
// connection, else (no parameters could be read) with 122. Flags: 1,2
// catalogue (see connect); bits 2-3 ((flags >> 2) & 3) choose the
// remembered-login file: "sqlusrprm.dat", "sqladmprm.dat", "slqusrpr2.dat",
// none. On success the parameter string is stored as environment string 11
// (12 when 11 is already set).
ErrCode login(StrDesc source, std::uint16_t flags);

// Opens a connection on the current slot, or on the first slot without one
// when the current slot is taken (145 when all eight are). An empty user is
// "guest". Sets _AUXSTAT 2048. With flags 1 or 2, a database name and an
// empty dictionary, the catalogue is loaded and its result is returned.
// Failure: 162 with the repaired server message as error detail.
ErrCode connect(StrDesc host, StrDesc database, StrDesc user, StrDesc password, std::uint16_t flags);

// Closes the current slot's connection (every slot holding it loses it) and
// moves _SQLSTK down to the nearest lower slot that still has a connection,
// or 0.
void disconnect();

// Closes every connection and releases every stored result.
void SqlShutdown();

// ---- Statements and results -------------------------------------------------------------

// Runs one statement on the current connection; synchronously, or through
// host hook 23 when it is installed. A result of rows is stored in `slot`
// (-1: the base slot for 0..1 rows, a new result slot for more), which
// becomes current. *rowCount (when given) receives the rows returned or
// affected. Failures are recorded (context SQLEXEC) with the repaired server
// message, CR LF and the statement as error detail. The statement is written
// to the trace log with level 4 (result below 3) or 6.
ErrCode execute(StrDesc statement, int slot = -1, std::uint64_t* rowCount = nullptr);
// execute with slot -1 and no count.
ErrCode run(StrDesc statement);

// Sends a statement ahead on the current connection without waiting for it,
// so that the server works on it while the program goes on: the next execute
// of the same text on that connection takes its result instead of sending it
// again (and writes the trace line then). Any other statement, on any
// connection, first waits for it and throws it away, so that the early
// answer can miss no change the program makes; a second readAhead does the
// same with the first. Does nothing when the statement cannot be sent now.
void readAhead(StrDesc statement);

// Value of (row, column) of a slot's stored result (0-based); a slot below 8
// becomes current first, others read the current slot. "" when there is no
// such value. A view, valid until the slot's result is released or replaced.
StrDesc resultValue(std::uint32_t row, std::uint32_t column, std::uint16_t slot = SQL_NOSLOT);
// resultValue of `count` columns of a row from firstColumn on, into
// values[]. 141 for a current slot of 8 or more.
ErrCode resultRow(std::uint32_t row, std::uint32_t firstColumn, std::uint16_t slot, StrDesc* values,
                  std::uint16_t count);
// Rows of a slot's stored result (0 when none); a slot below 8 becomes current.
std::uint32_t resultRows(std::uint16_t slot = SQL_NOSLOT);
// Releases a slot's stored result (-1: the current slot).
void releaseResult(int slot = -1);

// The first slot 1..7 holding the current connection or none, and no result;
// it receives the current connection. SQL_NOSLOT when none is free.
std::uint16_t newResultSlot();
// The lowest slot holding the current connection.
std::uint16_t baseSlot();
// True when the slot holds a connection / a stored result.
bool slotConnected(std::uint16_t slot);
bool slotHasResult(std::uint16_t slot);

// ---- Catalogue -----------------------------------------------------------------------------

// Names of the tables of schema public, comma-separated, in the server's
// order (pushed); "" on failure.
StrDesc tableList();

// Fills the empty data dictionary from the catalogue: at most 29 tables of
// schema public; with flags 2 also their columns (type mapping below) and
// keys (indexes; none gives the default key). Each table's name is then
// assigned its number as a variable. 175 when the table list cannot be read;
// otherwise the first error ends the load. Types: date -> D 8; smallint ..
// bigserial -> N (or the scale digit) of numeric_precision; others -> A (D
// for columns named FECHA, DATE, FEC) of character_maximum_length.
ErrCode loadCatalogue(std::uint16_t flags);

// ---- Texts ---------------------------------------------------------------------------------

// A SQL string literal (pushed): 'T' when T holds no apostrophe or double
// quote; otherwise E'...' with ' written \x27, " written \x22 and every
// backslash doubled.
StrDesc quoteLiteral(StrDesc text);

// A server message cleaned for display (pushed): trailing characters below
// 'A' (as signed bytes) removed, the UTF-8 pairs of « and » made double
// quotes, those of ó and ñ made single bytes.
StrDesc repairMessage(StrDesc text);

// Per-database folders: when host or database is given, the working folder
// becomes host\database\datas (created with its sibling host\database\data),
// environment string 5 becomes "..\data" and _AUXSTAT 1024 is set. Folder
// names have "\", "/" and ":" replaced by "_". 0xFFFF when the folder cannot
// be entered (the working folder stays, environment string 5 is still set).
ErrCode selectDatabaseFolder(StrDesc host, StrDesc database);

}  // namespace rt
