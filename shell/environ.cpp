#include "shell/environ.h"

#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "core/lists.h"
#include "core/messages.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "shell/options.h"
#include "shell/paths.h"
#include "shell/textfile.h"

extern char** environ;

namespace rt {
namespace {

constexpr const char* FOLDER_KINDS =
    "APPPATH_RUNPATH,APPPATH_DEFAULT,APPPATH_DATA,APPPATH_DOCS,APPPATH_HELP,APPPATH_BACKUP,APPPATH_BACKREL";
constexpr const char* OS_VARIABLES =
    "ALLUSERSPROFILE,APPDATA,CommonProgramFiles,HOMEDRIVE,HOMEPATH,ProgramFiles,SYSTEMDRIVE,SystemRoot,"
    "TEMP,USERPROFILE";
constexpr const char* ENV_NAMES = "COMMANDLINE,APNAME,APDESCRIP,LANGMODULE.DOCPATH,DATAPATH,HELPPATH";
constexpr const char* DATABASE_NAMES = "DATABASE_HOST,DATABASE_DBNAME,DATABASE_USER,DATABASE_PASSW";

// The value of a second-stage name (pushed or a view).
StrDesc stage2Value(StrDesc name) {
    switch (ListIndexOf(StrView(ENV_NAMES), name, ',')) {
    case 1: return EnvGet(envstr::CMDLINE);
    case 2: return AppPrefix();
    case 3: return EnvGet(envstr::APDESC);
    case 4: return EnvGet(envstr::LANGMODULE);
    case 5: return EnvGet(envstr::DOCPATH);
    case 6: return EnvGet(envstr::DOCS);
    default: break;
    }
    std::uint16_t db = ListIndexOf(StrView(DATABASE_NAMES), name, ',');
    if (db) return ListItemValue(EnvGet(envstr::DATABASE), ',', db);
    return StrView("");
}

// Replaces every "%" + name + "%" of s (plain search) by value.
StrDesc replaceReference(StrDesc s, StrDesc name, StrDesc value) {
    StrMarkT m = StrMark();
    StrDesc ref = StrConcatN({StrView("%"), name, StrView("%")});
    return StrReturn(m, StrReplaceAll(s, ref, value, true));
}

// The pair of "%" at or after `from`: false when there is none.
bool findReference(StrDesc s, std::uint16_t from, std::uint16_t& open, std::uint16_t& close) {
    open = StrFindChar(s, from, '%', true);
    if (open == STR_NPOS) return false;
    close = StrFindChar(s, static_cast<std::uint16_t>(open + 1), '%', true);
    return close != STR_NPOS;
}

// Second stage, from position `from`: every %NAME% pair in turn gets its
// environment value ("" for unknown names). The scan goes on after each
// inserted value, so a value that itself holds "%" is never expanded again.
StrDesc expandStage2(StrDesc s, std::uint16_t from) {
    StrMarkT m = StrMark();
    std::uint16_t open = 0, close = 0;
    while (!s.isError() && findReference(s, from, open, close)) {
        StrDesc name = StrMid(s, open + 1, static_cast<std::uint16_t>(close - open - 1));
        StrDesc value = stage2Value(name);
        if (value.isError()) return StrReturn(m, value);
        std::uint16_t valueLen = value.len;
        s = StrReturn(m, replaceReference(s, name, value));
        from = static_cast<std::uint16_t>(open + valueLen);
    }
    return StrReturn(m, s);
}

}  // namespace

StrDesc EnvGet(std::uint16_t entry) { return AreaGet(area::ENV, entry); }

ErrCode EnvSet(std::uint16_t entry, StrDesc value) { return AreaSet(area::ENV, entry, value); }

StrDesc AppPrefix() { return StrMid(EnvGet(envstr::APNAME), 0, 2); }

StrDesc EnvVar(StrDesc name) {
    if (name.isError()) return name;
    StrMarkT m = StrMark();
    const char* key = StrTerminated(name);
    const char* value = std::getenv(key);
    if (!value) {
        // Variable names of the system the applications come from are not
        // case-sensitive: take the first entry that matches in any case.
        for (char** e = environ; e && *e; ++e) {
            const char* eq = std::strchr(*e, '=');
            if (eq && static_cast<std::size_t>(eq - *e) == name.len && strncasecmp(*e, key, name.len) == 0) {
                value = eq + 1;
                break;
            }
        }
    }
    return StrReturn(m, value ? StrFromTerminated(value) : StrView(""));
}

StrDesc EnvExpand(StrDesc text) {
    if (text.isError()) return text;
    StrMarkT m = StrMark();
    StrDesc lowerOs = StrLower(StrView(OS_VARIABLES));
    StrMarkT base = StrMark();
    StrDesc s = text;
    std::uint16_t from = 0, open = 0, close = 0;
    // First stage: folder kinds and operating-system variables. The first
    // other name hands the rest of the text to the second stage, which
    // leaves no reference behind.
    while (!s.isError() && findReference(s, from, open, close)) {
        StrDesc name = StrMid(s, open + 1, static_cast<std::uint16_t>(close - open - 1));
        StrDesc value;
        if (std::uint16_t kind = ListIndexOf(StrView(FOLDER_KINDS), name, ',')) {
            value = FolderPath(kind);
        } else if (ListIndexOf(StrView(OS_VARIABLES), name, ',')) {
            value = EnvVar(name);
        } else if (StrDesc lower = StrLower(name); ListIndexOf(lowerOs, lower, ',')) {
            value = EnvVar(lower);
        } else {
            s = StrReturn(base, expandStage2(s, open));
            break;
        }
        if (value.isError()) return StrReturn(m, value);
        std::uint16_t valueLen = value.len;
        s = StrReturn(base, replaceReference(s, name, value));
        from = static_cast<std::uint16_t>(open + valueLen);
    }
    return StrReturn(m, s);
}

StrDesc FolderPath(std::uint16_t n) {
    StrMarkT m = StrMark();
    switch (n) {
    case folder::RUNPATH: {
        StrDesc program = ListItem(EnvGet(envstr::CMDLINE), ' ', 1);
        program = StrUnquote(StrTrim(program));
        return StrReturn(m, PathPart(PathNormalize(program), pathpart::DRIVE | pathpart::FOLDER));
    }
    case folder::DEFAULT: return StrReturn(m, EnvGet(envstr::DOCPATH));
    case folder::DATA: {
        // The data folder lies next to the application folder on drives F:
        // and later, next to the documents folder otherwise.
        StrDesc drive = PathPart(FolderPath(folder::RUNPATH), pathpart::DRIVE);
        bool late = drive.len > 0 && static_cast<unsigned char>(drive[0]) >= 'F';
        StrDesc base = late ? EnvGet(envstr::DOCPATH) : FolderPath(folder::DOCS);
        return StrReturn(m, PathResolve(base, StrView("..\\data")));
    }
    case folder::DOCS: {
        StrDesc docs = EnvGet(envstr::DOCS);
        return StrReturn(m, docs.len ? docs : CurrentFolder());
    }
    case folder::HELP: {
        StrDesc help = EnvGet(envstr::HELPPATH);
        return StrReturn(m, help.len ? help : PathJoin(EnvGet(envstr::DOCPATH), StrView("Help")));
    }
    case folder::BACKUP: return StrReturn(m, PathJoin(EnvGet(envstr::DOCS), StrView("Backups")));
    case folder::BACKREL: {
        StrDesc p = PathJoin(CurrentFolder(), StrView("Backups"));
        p = PathJoin(p, ListItemValue(EnvGet(envstr::DATABASE), ',', 1));
        p = PathJoin(p, ListItemValue(EnvGet(envstr::DATABASE), ',', 2));
        return StrReturn(m, p);
    }
    default: return StrReturn(m, StrView(""));
    }
}

StrDesc FolderFile(StrDesc name, std::uint16_t n) {
    StrMarkT m = StrMark();
    return StrReturn(m, PathJoin(FolderPath(n), name));
}

ErrCode FolderSetup(std::uint16_t mode) {
    if (!(mode & 3)) return err::BADINPUTDATA;
    StrMarkT m = StrMark();
    ErrCode e = err::OK;
    if (mode & 1) {
        if (EnvGet(envstr::DOCPATH).len == 0) e = EnvSet(envstr::DOCPATH, FolderPath(folder::RUNPATH));
        if (!e && EnvGet(envstr::HELPPATH).len == 0) e = EnvSet(envstr::HELPPATH, FolderPath(folder::HELP));
    }
    if (!e && (mode & 2)) {
        StrDesc apps = OptionValue(opt::DPATH);
        if (apps.len == 0) apps = PathResolve(CurrentFolder(), StrView("..\\APPS"));
        e = EnvSet(envstr::DOCPATH, apps);
        // The help folder follows the new data folder.
        if (!e) e = EnvSet(envstr::HELPPATH, PathJoin(EnvGet(envstr::DOCPATH), StrView("Help")));
    }
    if (!e && (mode & 8)) {
        StrDesc backup = FolderPath(folder::BACKUP);
        if (!FileExists(backup)) e = FolderCreate(backup);
    }
    StrRelease(m);
    return e;
}

std::uint16_t LangIndex() {
    StrDesc code = EnvGet(envstr::LANGMODULE);
    if (code.isError() || code.len == 0) return 0;
    return ListIndexOf(StrView(LANGUAGE_CODES), code, ',');
}

StrDesc LangFileName(StrDesc name, std::uint16_t index) {
    if (name.isError()) return name;
    if (index == 65535) index = LangIndex();
    StrMarkT m = StrMark();
    StrDesc suffix = ListItem(StrView(LANGUAGE_SUFFIXES), ',', index);
    if (suffix.len == 0) return StrReturn(m, name);
    // The suffix goes before the first "." of the file name (not of a folder).
    std::uint16_t slash = StrFindLastChar(name, '\\', true);
    std::uint16_t nameStart = slash == STR_NPOS ? 0 : static_cast<std::uint16_t>(slash + 1);
    std::uint16_t dot = StrFindChar(name, nameStart, '.', true);
    if (dot == STR_NPOS) dot = name.len;
    return StrReturn(m, StrConcatN({StrMid(name, 0, dot), suffix, StrMid(name, dot)}));
}

}  // namespace rt
