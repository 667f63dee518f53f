#include "data/sqlconn.h"

#include <libpq-fe.h>
#include <poll.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "data/dictionary.h"
#include "lang/eval.h"
#include "lang/varstore.h"
#include "shell/options.h"
#include "shell/paths.h"
#include "shell/textfile.h"

namespace rt {
namespace {

struct ConnCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultClearer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using ConnHandle = std::unique_ptr<PGconn, ConnCloser>;
using ResultHandle = std::unique_ptr<PGresult, ResultClearer>;

// A slot borrows its connection from g_open; several slots may hold the same one.
struct Slot {
    PGconn* conn = nullptr;
    ResultHandle result;
};

std::array<Slot, SQL_SLOTS> g_slots;
std::array<ConnHandle, SQL_SLOTS> g_open;  // every open connection
LoginDialog g_dialog = nullptr;

constexpr std::uint16_t kTraceDone = 4;
constexpr std::uint16_t kTraceFailed = 6;
constexpr std::uint16_t kAuxKeepCase = 8;
constexpr std::uint16_t kAuxDataFolder = 1024;
constexpr std::uint16_t kAuxConnected = 2048;
constexpr std::uint16_t kCatalogueTables = 29;
constexpr int kPollMillis = 20;

constexpr const char* kRememberFiles[] = {"sqlusrprm.dat", "sqladmprm.dat", "slqusrpr2.dat"};
constexpr std::string_view kTablesStatement = "SELECT * FROM information_schema.tables WHERE table_schema='public';";
constexpr std::string_view kNumericTypes =
    "character,date,smallint,integer,bigint,decimal,numeric,real,double precision,serial,bigserial";
constexpr std::string_view kDateColumnNames = "FECHA,DATE,FEC";

std::uint16_t currentSlot() { return static_cast<std::uint16_t>(sysGet(SysVar::SQLSTK)); }
void setCurrentSlot(std::uint16_t slot) { sysSet(SysVar::SQLSTK, static_cast<std::int16_t>(slot)); }

// Records code as the pending error of `context` and returns it.
ErrCode recorded(std::uint16_t context, ErrCode code) {
    ErrorRecordSet(1, context, code, 0);
    return code;
}

// A current slot of 8 or more: _SQLSTK can be assigned by the language, so
// the statement is refused and the check written to the assertion log
// without ending the program.
ErrCode controlFailure() {
    StrMarkT m = StrMark();
    LogEntry(StrView("sqlControlFailure"), StrView("assertions.log"));
    StrRelease(m);
    ErrorRecordSet(1, ctx::SQLEXEC, err::INTERNALERROR, 0);
    return err::INTERNALERROR;
}

bool anyConnection() {
    for (const Slot& s : g_slots)
        if (s.conn) return true;
    return false;
}

// Builds one text in the free area above the string stack top. Nothing may
// be pushed while it is in use: compute pushed parts before constructing it.
class Builder {
public:
    Builder() : area_(StrScratch()) {}
    Builder& add(StrDesc s) {
        if (s.isError()) {
            error_ = StrError(s);
            return *this;
        }
        return add(s.view());
    }
    Builder& add(std::string_view v) {
        if (len_ + v.size() > area_.len) {
            error_ = err::OUTOFMEMORY;
        } else if (!v.empty()) {
            std::memcpy(area_.ptr + len_, v.data(), v.size());
            len_ += v.size();
        }
        return *this;
    }
    Builder& add(char c) { return add(std::string_view(&c, 1)); }
    Builder& addNumber(std::uint64_t n) {
        char digits[24];
        int i = sizeof digits;
        do {
            digits[--i] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n);
        return add(std::string_view(digits + i, sizeof digits - static_cast<std::size_t>(i)));
    }
    // A value quoted by the connection-string rules: between apostrophes,
    // with every apostrophe and backslash preceded by a backslash.
    Builder& addConnValue(StrDesc v) {
        add('\'');
        for (char c : v.view()) {
            if (c == '\'' || c == '\\') add('\\');
            add(c);
        }
        return add('\'');
    }
    // An item of a parameter string: between apostrophes, or double quotes
    // when it holds an apostrophe (as written when it holds both).
    Builder& addListItem(StrDesc v) {
        std::string_view s = v.view();
        char q = s.find('\'') == std::string_view::npos ? '\'' : s.find('"') == std::string_view::npos ? '"' : 0;
        if (!q) return add(s);
        return add(q).add(s).add(q);
    }
    // A folder name: "\", "/", ":" and control characters become "_", and so
    // does a name made of dots only.
    Builder& addFolderName(StrDesc v) {
        std::string_view s = v.view();
        bool dotsOnly = s.find_first_not_of('.') == std::string_view::npos;
        for (char c : s) {
            bool bad = c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 32 || dotsOnly;
            add(bad ? '_' : c);
        }
        return *this;
    }
    // Pushes the text. With `terminated` a NUL follows it inside the pushed
    // value; the returned view excludes it.
    StrDesc push(bool terminated = false) {
        if (terminated) add('\0');
        if (error_) return StrErrorValue(error_);
        if (len_ > 65535) return StrErrorValue(err::STRINGTOOLONG);
        // Something was pushed while the text was being built.
        if (StrScratch().ptr != area_.ptr) return StrErrorValue(err::INTERNALERROR);
        if (ErrCode e = StrReserve(static_cast<std::uint16_t>(len_), 255)) return StrErrorValue(e);
        StrDesc top = StrTop();
        return terminated ? StrMake(top.ptr, top.len - 1u) : top;
    }

private:
    StrScratchArea area_;
    std::size_t len_ = 0;
    ErrCode error_ = 0;
};

std::uint64_t decimalValue(std::string_view s) {
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        if (v < (1ull << 60)) v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v;
}

std::uint16_t number16(std::string_view s) {
    std::uint64_t v = decimalValue(s);
    return static_cast<std::uint16_t>(v > 65535 ? 65535 : v);
}

std::string_view cellText(const PGresult* r, int row, int column) {
    if (!r || column < 0 || row >= PQntuples(r) || column >= PQnfields(r)) return {};
    return std::string_view(PQgetvalue(r, row, column), static_cast<std::size_t>(PQgetlength(r, row, column)));
}

// ---- Statements ------------------------------------------------------------------------

// Records the failure and reports the repaired server message followed by the statement.
ErrCode failStatement(ErrCode code, StrDesc message, StrDesc statement) {
    ErrorRecordSet(1, ctx::SQLEXEC, code, 0);
    StrMarkT m = StrMark();
    ErrorDetail(code, repairMessage(message));
    ErrorDetail(code, statement, true);
    StrRelease(m);
    return code;
}

// Waits until the connection's socket is readable or a poll period passed.
void waitReadable(PGconn* c) {
    pollfd p {PQsocket(c), POLLIN, 0};
    if (p.fd >= 0) poll(&p, 1, kPollMillis);
}

// Stops the running statement and reads what is left, so the connection
// takes the next statement.
void cancelAndDrain(PGconn* c) {
    if (PGcancel* cancel = PQgetCancel(c)) {
        char buf[256];
        PQcancel(cancel, buf, sizeof buf);
        PQfreeCancel(cancel);
    }
    while (PGresult* r = PQgetResult(c)) PQclear(r);
}

// Waits for the statement sent on `c` with the progress hook: 0 with the
// last result in `out`, 162 when reading fails, or the hook's non-zero answer.
ErrCode waitWithHook(PGconn* c, HostHook hook, ResultHandle& out) {
    const StrDesc none = StrView("");
    if (!PQconsumeInput(c)) return err::SQLERROR;
    hook(none, 0, nullptr);
    ErrCode code = 0;
    do {
        waitReadable(c);
        if (!PQconsumeInput(c)) {
            cancelAndDrain(c);
            return err::SQLERROR;
        }
        code = hook(none, 2, nullptr);
    } while (code == 0 && PQisBusy(c));
    if (code) {
        cancelAndDrain(c);
        return code;
    }
    while (PGresult* r = PQgetResult(c)) out.reset(r);
    hook(none, 1, nullptr);
    return err::OK;
}

// The asynchronous form with the progress hook: as waitWithHook, 162 also
// when sending fails.
ErrCode runWithHook(PGconn* c, const char* text, HostHook hook, ResultHandle& out) {
    if (!PQsendQuery(c, text)) return err::SQLERROR;
    return waitWithHook(c, hook, out);
}

// The statement sent ahead by readAhead, its result still to be read from
// its connection (none while conn is null).
struct ReadAhead {
    PGconn* conn = nullptr;
    std::string text;
};
ReadAhead g_ahead;

// Reads and throws away the result of the statement sent ahead.
void dropReadAhead() {
    if (!g_ahead.conn) return;
    while (PGresult* r = PQgetResult(g_ahead.conn)) PQclear(r);
    g_ahead = ReadAhead{};
}

// Forgets the statement sent ahead on a connection about to close.
void forgetReadAhead(PGconn* c) {
    if (g_ahead.conn == c) g_ahead = ReadAhead{};
}

// The connection a statement on the current slot runs on: the slot's own,
// or for a slot above the connected ones (a nested read of SQLCHILD) that of
// the nearest slot below it. Null when there is none.
PGconn* statementConnection(std::uint16_t cur) {
    for (std::uint16_t i = cur + 1; i-- > 0;)
        if (g_slots[i].conn) return g_slots[i].conn;
    return nullptr;
}

ErrCode executeStatement(StrDesc statement, int slot, std::uint64_t* rowCount) {
    if (statement.isError()) return StrError(statement);
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) return controlFailure();
    PGconn* c = statementConnection(cur);
    if (c) g_slots[cur].conn = c;
    // The statement sent ahead is taken when this is the same one; any other
    // waits for it and throws it away, so that its answer can miss nothing.
    bool ahead = c && g_ahead.conn == c && g_ahead.text == statement.view();
    if (!ahead) dropReadAhead();
    if (!c) return failStatement(err::SQLERROR, MsgText(StrView("0021")), statement);
    // A NUL would end the text early and send a different statement.
    if (std::memchr(statement.ptr, 0, statement.len)) return failStatement(err::SQLERROR, StrView(""), statement);
    StrDesc text = Builder().add(statement).push(true);
    if (text.isError()) {
        dropReadAhead();
        return recorded(ctx::SQLEXEC, StrError(text));
    }

    ResultHandle res;
    if (HostHook progress = hookGet(hook::SQLPROGRESS)) {
        ErrCode code = ahead ? waitWithHook(c, progress, res) : runWithHook(c, text.ptr, progress, res);
        g_ahead = ReadAhead{};
        if (code == err::SQLERROR) return failStatement(code, StrFromTerminated(PQerrorMessage(c)), statement);
        if (code) return recorded(ctx::SQLEXEC, code);
    } else if (ahead) {
        while (PGresult* r = PQgetResult(c)) res.reset(r);
        g_ahead = ReadAhead{};
    } else {
        res.reset(PQexec(c, text.ptr));
    }

    switch (PQresultStatus(res.get())) {
    case PGRES_COMMAND_OK:
        if (rowCount) *rowCount = decimalValue(PQcmdTuples(res.get()));
        return err::OK;
    case PGRES_TUPLES_OK: {
        int n = PQntuples(res.get());
        if (n == 0) return 2;
        std::uint16_t target;
        if (slot < 0)
            target = n <= 1 ? baseSlot() : newResultSlot();
        else
            target = static_cast<std::uint16_t>(slot > 0xFFFF ? 0xFFFF : slot);
        if (target >= SQL_SLOTS) return failStatement(err::DATAOUTBOUND, StrView(""), statement);
        Slot& dst = g_slots[target];
        if (!dst.conn) dst.conn = c;
        dst.result = std::move(res);
        setCurrentSlot(target);
        if (rowCount) *rowCount = static_cast<std::uint64_t>(n);
        return err::OK;
    }
    default: {
        const char* state = res ? PQresultErrorField(res.get(), PG_DIAG_SQLSTATE) : nullptr;
        std::uint64_t sqlstate = state ? decimalValue(state) : 0;
        ErrCode code = sqlstate == 23505 || sqlstate == 42710 ? err::DATAEXIST : err::SQLERROR;
        const char* message = res ? PQresultErrorMessage(res.get()) : PQerrorMessage(c);
        return failStatement(code, StrFromTerminated(message), statement);
    }
    }
}

// execute into `slot`, then takes the stored result out of its slot.
ErrCode queryTaking(StrDesc statement, int slot, ResultHandle& out) {
    ErrCode code = execute(statement, slot, nullptr);
    if (code == err::OK) out = std::move(g_slots[currentSlot()].result);
    return code;
}

// ---- Connections ---------------------------------------------------------------------

// The connection string; with `masked` the password is not written.
StrDesc connectString(StrDesc host, StrDesc database, StrDesc user, StrDesc password, bool masked) {
    Builder b;
    if (database.len) b.add("dbname = ").addConnValue(database).add(' ');
    b.add("host = ").addConnValue(host).add(" user = ").addConnValue(user).add(" password = ");
    if (masked)
        b.add("'********'");
    else
        b.addConnValue(password);
    return b.push(true);
}

void placeConnection(std::uint16_t slot, ConnHandle handle) {
    g_slots[slot].conn = handle.get();
    for (ConnHandle& h : g_open) {
        if (!h) {
            h = std::move(handle);
            return;
        }
    }
}

// ---- Catalogue ---------------------------------------------------------------------------

struct FieldShape {
    char type;
    std::uint16_t length;
};

FieldShape mapColumn(std::string_view name, std::string_view dataType, std::string_view charLength,
                     std::string_view precision, std::string_view scale) {
    std::uint16_t position = ListIndexOf(StrView(kNumericTypes), StrView(dataType), ',');
    if (position == 2) return {'D', 8};
    if (position >= 3) {
        std::uint64_t digits = decimalValue(scale);
        char type = digits == 0 ? 'N' : static_cast<char>('0' + (digits > 9 ? 9 : digits));
        return {type, number16(precision)};
    }
    StrMarkT m = StrMark();
    StrDesc stem = StrUpper(StrView(name.substr(0, name.find('.'))));
    bool dateName = ListIndexOf(StrView(kDateColumnNames), stem, ',') != 0;
    StrRelease(m);
    return {dateName ? 'D' : 'A', number16(charLength)};
}

struct ColumnIndexes {
    int name, type, charLength, precision, scale, position;
    explicit ColumnIndexes(const PGresult* r)
        : name(PQfnumber(r, "column_name")),
          type(PQfnumber(r, "data_type")),
          charLength(PQfnumber(r, "character_maximum_length")),
          precision(PQfnumber(r, "numeric_precision")),
          scale(PQfnumber(r, "numeric_scale")),
          position(PQfnumber(r, "ordinal_position")) {}
    FieldShape shape(const PGresult* r, int row) const {
        return mapColumn(cellText(r, row, name), cellText(r, row, type), cellText(r, row, charLength),
                         cellText(r, row, precision), cellText(r, row, scale));
    }
};

// The record slice of the column numbered `column` (its ordinal position).
bool columnSlice(const PGresult* columns, std::uint64_t column, KeySegment& out) {
    if (!columns) return false;
    ColumnIndexes ix(columns);
    std::uint32_t offset = 0;
    for (int row = 0; row < PQntuples(columns); ++row) {
        FieldShape f = ix.shape(columns, row);
        if (decimalValue(cellText(columns, row, ix.position)) == column) {
            out.offset = static_cast<std::uint16_t>(offset);
            out.length = f.length;
            return true;
        }
        offset += f.length;
    }
    return false;
}

// The keys of a catalogue table from its indexes; none gives the default key.
ErrCode catalogueKeys(std::uint16_t table, StrDesc name, const PGresult* columns) {
    StrDesc literal = quoteLiteral(name);
    StrDesc statement = Builder()
                            .add("SELECT indkey FROM pg_class, pg_index WHERE pg_class.oid = pg_index.indexrelid AND "
                                 "pg_class.oid IN (SELECT indexrelid FROM pg_index, pg_class WHERE pg_class.relname=")
                            .add(literal)
                            .add(" AND pg_class.oid=pg_index.indrelid);")
                            .push();
    ResultHandle keys;
    ErrCode code = queryTaking(statement, -1, keys);
    if (code != err::OK && code != 2) return code;
    bool keyed = false;
    for (int row = 0; keys && row < PQntuples(keys.get()); ++row) {
        KeySegment segments[KEY_SEGMENTS];
        std::uint16_t count = 0;
        std::string_view list = cellText(keys.get(), row, 0);
        while (!list.empty() && count < KEY_SEGMENTS) {
            std::size_t blank = list.find(' ');
            std::string_view item = list.substr(0, blank);
            if (!item.empty() && columnSlice(columns, decimalValue(item), segments[count])) ++count;
            list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
        }
        if (count == 0) continue;  // an index on expressions only
        if ((code = defineKey(table, count, segments))) return code;
        keyed = true;
    }
    return keyed ? err::OK : defaultKeysUpTo(table);
}

// Registers one table of the catalogue (with flags 2 its fields and keys)
// and assigns its number to the variable of its name.
ErrCode catalogueTable(StrDesc name, std::uint16_t flags) {
    StrMarkT m = StrMark();
    ErrCode code = defineTable(0, name, StrView(""));
    std::uint16_t table = tableCount();
    if (code == err::OK && (flags & 2)) {
        StrDesc literal = quoteLiteral(name);
        StrDesc statement = Builder()
                                .add("SELECT * FROM information_schema.columns WHERE TABLE_NAME=")
                                .add(literal)
                                .add(" ORDER BY ordinal_position;")
                                .push();
        ResultHandle columns;
        code = queryTaking(statement, -1, columns);
        if (code == 2) code = err::OK;
        if (columns) {
            ColumnIndexes ix(columns.get());
            for (int row = 0; code == err::OK && row < PQntuples(columns.get()); ++row) {
                FieldShape f = ix.shape(columns.get(), row);
                code = addField(StrView(cellText(columns.get(), row, ix.name)), f.length, f.type);
            }
        }
        if (code == err::OK) code = catalogueKeys(table, name, columns.get());
    }
    if (code == err::OK) {
        StrRelease(m);
        StrDesc assignment = Builder().add(name).add('=').addNumber(table).push();
        code = assignment.isError() ? StrError(assignment) : evalErrors(assignment);
    }
    StrRelease(m);
    return code;
}

// ---- Login -------------------------------------------------------------------------------

const char* rememberFile(std::uint16_t flags) {
    std::uint16_t which = (flags >> 2) & 3;
    return which < 3 ? kRememberFiles[which] : nullptr;
}

// Shows the login screen with the remembered values; the answer is pushed.
ErrCode askLogin(std::uint16_t flags, StrDesc* answer) {
    StrMarkT m = StrMark();
    StrDesc remembered = StrView("");
    if (const char* file = rememberFile(flags)) {
        StrDesc name = StrFromTerminated(file);
        StrDesc content = FileExists(name) ? FileLoad(name, 0, FILE_NONE) : remembered;
        if (!content.isError()) remembered = content;
    }
    std::string_view r = remembered.view();
    while (!r.empty() && (r.back() == '\r' || r.back() == '\n')) r.remove_suffix(1);
    remembered = StrView(r);
    StrDesc values[4];
    for (std::uint16_t i = 0; i < 4; ++i)
        values[i] = remembered.len ? ListItem(remembered, ',', i + 1u) : StrView(i == 0 ? "'localhost'" : "");

    std::string_view form = MsgText(StrView("0091")).view();
    Builder b;
    std::size_t used = 0;
    for (std::size_t at = form.find("%s"); at != std::string_view::npos; at = form.find("%s")) {
        b.add(form.substr(0, at));
        if (used < 4) b.add(values[used++]);
        form.remove_prefix(at + 2);
    }
    StrDesc spec = b.add(form).push();
    if (spec.isError()) {
        StrRelease(m);
        return StrError(spec);
    }
    StrDesc result {};
    ErrCode code = g_dialog(MsgText(StrView("0090")), spec, &result);
    if (code == err::OK && result.isError()) code = StrError(result);
    if (code) {
        StrRelease(m);
        return code;
    }
    *answer = StrReturn(m, result);
    return err::OK;
}

// Step "trying P" of the login: parameters from a parameter string, the
// command line or a parameter file, then connect. *attempted tells whether a
// connection was asked of the server.
ErrCode tryLogin(StrDesc p, std::uint16_t flags, bool* attempted) {
    *attempted = false;
    StrMarkT m = StrMark();
    StrDesc host, database, user, password, params;
    if (ListCount(p, ',') < 4) {
        host = OptionLookup(StrView("sqlhost"));
        if (host.len) {
            database = OptionLookup(StrView("database"));
            user = OptionLookup(StrView("user"));
            password = OptionLookup(StrView("passw"));
        } else {
            // A parameter set: the file's lines joined with ":" (a bare
            // name is also looked for in the data folders).
            StrDesc file = p.len ? p : StrView("sqlparams.dat");
            StrDesc set = TextFileJoin(file, 0, 0, StrView(":"));
            if (set.isError()) {
                ErrorRecordSet(1, ctx::SQLCONNECT, err::SQLERROR, 0);
                ErrorDetail(err::SQLERROR, file);
                StrRelease(m);
                return err::SQLERROR;
            }
            host = KeyValueFind(set, StrView("sqlhost"), 3);
            database = KeyValueFind(set, StrView("database"), 3);
            user = KeyValueFind(set, StrView("user"), 3);
            password = KeyValueFind(set, StrView("passw"), 3);
        }
        params = Builder()
                     .addListItem(host).add(',')
                     .addListItem(database).add(',')
                     .addListItem(user).add(',')
                     .addListItem(password)
                     .push();
    } else {
        const char* file = rememberFile(flags);
        if (file && StrToInt(ListItemValue(p, ',', 5)))
            FileStorePrivate(StrFromTerminated(file), p);  // a failed save does not stop the login
        host = StrUnquote(ListItem(p, ',', 1));
        database = StrUnquote(ListItem(p, ',', 2));
        user = StrUnquote(ListItem(p, ',', 3));
        password = StrUnquote(ListItem(p, ',', 4));
        params = p;
    }
    *attempted = true;
    ErrCode code = connect(host, database, user, password, flags);
    if (code == err::OK && !params.isError())
        AreaSet(area::ENV, AreaGet(area::ENV, 11).len ? 12 : 11, params);
    StrRelease(m);
    return code;
}

}  // namespace

// ---- Login and connections -----------------------------------------------------------------

LoginDialog loginDialogSet(LoginDialog dialog) {
    LoginDialog old = g_dialog;
    g_dialog = dialog;
    return old;
}

ErrCode login(StrDesc source, std::uint16_t flags) {
    StrMarkT m = StrMark();
    StrDesc p = source;
    ErrCode refused = err::OK;  // the server refused the last connection asked of it
    for (;;) {
        if (p.isError()) {
            StrRelease(m);
            return StrError(p);
        }
        if (p.len) {
            bool attempted = false;
            ErrCode code = tryLogin(p, flags, &attempted);
            if (code != err::SQLERROR) {
                StrRelease(m);
                return code;
            }
            refused = attempted ? code : err::OK;
        }
        StrRelease(m);
        // Without a login screen nobody can correct the parameters: a refused
        // connection is the login's result (it must not pass as a cancel).
        if (!g_dialog) return refused ? refused : err::USERCANCELED;
        if (ErrCode code = askLogin(flags, &p)) return code;
    }
}

ErrCode connect(StrDesc host, StrDesc database, StrDesc user, StrDesc password, std::uint16_t flags) {
    for (StrDesc v : {host, database, user, password})
        if (v.isError()) return StrError(v);
    if (user.len == 0) user = StrView("guest");
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) return controlFailure();
    if (g_slots[cur].conn) {
        std::uint16_t free = SQL_NOSLOT;
        for (std::uint16_t i = 0; i < SQL_SLOTS && free == SQL_NOSLOT; ++i)
            if (!g_slots[i].conn) free = i;
        if (free == SQL_NOSLOT) return recorded(ctx::SQLCONNECT, err::OUTOFMEMORY);
        setCurrentSlot(cur = free);
    }

    StrMarkT m = StrMark();
    ErrCode code = err::OK;
    StrDesc info = connectString(host, database, user, password, false);
    if (info.isError()) {
        code = recorded(ctx::SQLCONNECT, StrError(info));
    } else {
        ConnHandle conn(PQconnectdb(info.ptr));
        bool good = conn && PQstatus(conn.get()) == CONNECTION_OK && PQsetClientEncoding(conn.get(), "WIN1252") == 0;
        if (!good) {
            code = recorded(ctx::SQLCONNECT, err::SQLERROR);
            StrMarkT mm = StrMark();
            ErrorDetail(code, repairMessage(StrFromTerminated(conn ? PQerrorMessage(conn.get()) : "")));
            StrRelease(mm);
        }
        placeConnection(cur, std::move(conn));
        if (!good) {
            disconnect();
        } else {
            sysFlag(SysVar::AUXSTAT, kAuxConnected, true);
            if ((flags & 3) && database.len && tableCount() == 0) code = loadCatalogue(flags);
        }
    }
    StrRelease(m);
    StrDesc masked = connectString(host, database, user, password, true);
    StrDesc line = Builder().add(masked).add(' ').addNumber(code).push();
    LogLine(line, code < 3 ? kTraceDone : kTraceFailed);
    StrRelease(m);
    return code;
}

void disconnect() {
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) {
        controlFailure();
        return;
    }
    if (PGconn* c = g_slots[cur].conn) {
        forgetReadAhead(c);
        for (Slot& s : g_slots)
            if (s.conn == c) s.conn = nullptr;
        for (ConnHandle& h : g_open)
            if (h.get() == c) h.reset();
    }
    std::uint16_t next = 0;
    for (std::uint16_t j = cur; j-- > 0;) {
        if (g_slots[j].conn) {
            next = j;
            break;
        }
    }
    setCurrentSlot(next);
    if (!anyConnection()) sysFlag(SysVar::AUXSTAT, kAuxConnected, false);
}

void SqlShutdown() {
    g_ahead = ReadAhead{};
    for (Slot& s : g_slots) {
        s.result.reset();
        s.conn = nullptr;
    }
    for (ConnHandle& h : g_open) h.reset();
    setCurrentSlot(0);
    sysFlag(SysVar::AUXSTAT, kAuxConnected, false);
}

// ---- Statements and results -------------------------------------------------------------------

ErrCode execute(StrDesc statement, int slot, std::uint64_t* rowCount) {
    if (rowCount) *rowCount = 0;
    StrMarkT m = StrMark();
    ErrCode code = executeStatement(statement, slot, rowCount);
    StrRelease(m);
    LogLine(statement, code < 3 ? kTraceDone : kTraceFailed);
    return code;
}

ErrCode run(StrDesc statement) { return execute(statement, -1, nullptr); }

void readAhead(StrDesc statement) {
    dropReadAhead();
    std::uint16_t cur = currentSlot();
    PGconn* c = cur < SQL_SLOTS ? statementConnection(cur) : nullptr;
    if (!c || statement.isError() || std::memchr(statement.ptr, 0, statement.len)) return;
    // Only on a connection at rest: a failed transaction or a statement
    // still running is left to execute to report.
    PGTransactionStatusType t = PQtransactionStatus(c);
    if (t != PQTRANS_IDLE && t != PQTRANS_INTRANS) return;
    std::string text(statement.view());
    if (PQsendQuery(c, text.c_str())) g_ahead = ReadAhead{c, std::move(text)};
}

StrDesc resultValue(std::uint32_t row, std::uint32_t column, std::uint16_t slot) {
    if (slot < SQL_SLOTS) setCurrentSlot(slot);
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) return StrErrorValue(controlFailure());
    const PGresult* r = g_slots[cur].result.get();
    if (row > 0x7FFFFFFF || column > 0x7FFFFFFF) return StrView("");
    return StrView(cellText(r, static_cast<int>(row), static_cast<int>(column)));
}

ErrCode resultRow(std::uint32_t row, std::uint32_t firstColumn, std::uint16_t slot, StrDesc* values,
                  std::uint16_t count) {
    if (slot < SQL_SLOTS) setCurrentSlot(slot);
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) return controlFailure();
    const PGresult* r = g_slots[cur].result.get();
    const bool present = r && row < static_cast<std::uint32_t>(PQntuples(r));
    const std::uint32_t columns = present ? static_cast<std::uint32_t>(PQnfields(r)) : 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint32_t column = firstColumn + i;
        if (column >= columns) {
            values[i] = StrView("");
            continue;
        }
        const int at = static_cast<int>(row), col = static_cast<int>(column);
        values[i] = StrMake(PQgetvalue(r, at, col), static_cast<std::size_t>(PQgetlength(r, at, col)));
    }
    return err::OK;
}

std::uint32_t resultRows(std::uint16_t slot) {
    if (slot < SQL_SLOTS) setCurrentSlot(slot);
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) {
        controlFailure();
        return 0;
    }
    const PGresult* r = g_slots[cur].result.get();
    return r ? static_cast<std::uint32_t>(PQntuples(r)) : 0;
}

void releaseResult(int slot) {
    std::uint16_t s = slot < 0 ? currentSlot() : static_cast<std::uint16_t>(slot > 0xFFFF ? 0xFFFF : slot);
    if (s >= SQL_SLOTS) {
        controlFailure();
        return;
    }
    g_slots[s].result.reset();
}

std::uint16_t newResultSlot() {
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) {
        controlFailure();
        return SQL_NOSLOT;
    }
    PGconn* c = g_slots[cur].conn;
    for (std::uint16_t i = 1; i < SQL_SLOTS; ++i) {
        Slot& s = g_slots[i];
        if ((s.conn == c || !s.conn) && !s.result) {
            s.conn = c;
            return i;
        }
    }
    return SQL_NOSLOT;
}

std::uint16_t baseSlot() {
    std::uint16_t cur = currentSlot();
    if (cur >= SQL_SLOTS) {
        controlFailure();
        return SQL_NOSLOT;
    }
    for (std::uint16_t i = 0; i < SQL_SLOTS; ++i)
        if (g_slots[i].conn == g_slots[cur].conn) return i;
    return cur;
}

bool slotConnected(std::uint16_t slot) { return slot < SQL_SLOTS && g_slots[slot].conn; }
bool slotHasResult(std::uint16_t slot) { return slot < SQL_SLOTS && g_slots[slot].result; }

// ---- Catalogue --------------------------------------------------------------------------------

StrDesc tableList() {
    StrMarkT m = StrMark();
    std::int16_t saved = sysGet(SysVar::SQLSTK);
    std::uint16_t slot = newResultSlot();
    ResultHandle tables;
    ErrCode code = queryTaking(StrView(kTablesStatement), slot == SQL_NOSLOT ? 0xFFFF : slot, tables);
    sysSet(SysVar::SQLSTK, saved);
    int column = tables ? PQfnumber(tables.get(), "table_name") : -1;
    if (code != err::OK || column < 0) return StrReturn(m, StrView(""));
    Builder b;
    for (int row = 0; row < PQntuples(tables.get()); ++row) {
        if (row) b.add(',');
        b.add(cellText(tables.get(), row, column));
    }
    StrDesc list = b.push();
    return StrReturn(m, list.isError() ? StrView("") : list);
}

ErrCode loadCatalogue(std::uint16_t flags) {
    if (tableCount() != 0) return err::OK;
    std::int16_t saved = sysGet(SysVar::SQLSTK);
    std::uint16_t slot = newResultSlot();
    ResultHandle tables;
    ErrCode code = queryTaking(StrView(kTablesStatement), slot == SQL_NOSLOT ? 0xFFFF : slot, tables);
    if (code == 2) {
        code = err::OK;  // no table to register
    } else if (code != err::OK) {
        code = err::PERMISSIONDENIED;
    } else {
        sysFlag(SysVar::AUXSTAT, kAuxKeepCase, true);
        int column = PQfnumber(tables.get(), "table_name");
        int rows = PQntuples(tables.get());
        if (column < 0) code = err::PERMISSIONDENIED;
        for (int i = 0; code == err::OK && i < rows && i < kCatalogueTables; ++i)
            code = catalogueTable(StrView(cellText(tables.get(), i, column)), flags);
    }
    tables.reset();
    sysSet(SysVar::SQLSTK, saved);
    return code;
}

// ---- Texts ------------------------------------------------------------------------------------

StrDesc quoteLiteral(StrDesc text) {
    if (text.isError()) return text;
    std::string_view v = text.view();
    Builder b;
    if (v.find_first_of("'\"") == std::string_view::npos) return b.add('\'').add(v).add('\'').push();
    b.add("E'");
    for (char c : v) {
        if (c == '\'')
            b.add("\\x27");
        else if (c == '"')
            b.add("\\x22");
        else if (c == '\\')
            b.add("\\\\");
        else
            b.add(c);
    }
    return b.add('\'').push();
}

StrDesc repairMessage(StrDesc text) {
    if (text.isError()) return text;
    std::string_view v = text.view();
    while (!v.empty() && static_cast<signed char>(v.back()) < 65) v.remove_suffix(1);
    Builder b;
    for (std::size_t i = 0; i < v.size(); ++i) {
        auto c = static_cast<unsigned char>(v[i]);
        auto next = i + 1 < v.size() ? static_cast<unsigned char>(v[i + 1]) : 0u;
        if (c == 0xC2 && (next == 0xAB || next == 0xBB)) {  // « »
            b.add('"');
            ++i;
        } else if (c == 0xC3 && (next == 0xB3 || next == 0xB1)) {  // ó ñ
            b.add(static_cast<char>(next == 0xB3 ? 0xF3 : 0xF1));
            ++i;
        } else {
            b.add(v[i]);
        }
    }
    return b.push();
}

ErrCode selectDatabaseFolder(StrDesc host, StrDesc database) {
    if (host.isError() || database.isError()) return err::BADINPUTDATA;
    if (host.len == 0 && database.len == 0) return err::OK;
    StrMarkT m = StrMark();
    Builder base;
    base.addFolderName(host);
    if (host.len && database.len) base.add('\\');
    base.addFolderName(database);
    StrDesc folder = base.push();
    StrDesc work = Builder().add(folder).add("\\datas").push();
    StrDesc sibling = Builder().add(folder).add("\\data").push();
    ErrCode code = err::OK;
    if (work.isError() || sibling.isError()) {
        code = err::NOTFOUND;
    } else {
        // Created on first use; a folder that exists is entered as it is.
        if (!FileExists(work)) {
            FolderCreate(work);
            FolderCreate(sibling);
        }
        if (FolderChange(work) != err::OK) code = err::NOTFOUND;
    }
    AreaSet(area::ENV, 5, StrView("..\\data"));
    if (code == err::OK) sysFlag(SysVar::AUXSTAT, kAuxDataFolder, true);
    StrRelease(m);
    return code;
}

}  // namespace rt
