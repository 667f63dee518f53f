#include "shell/paths.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/errors.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/osname.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "shell/environ.h"

namespace rt {
namespace {

constexpr std::uint16_t CURRENT_FOLDER_MAX = 384;

// The operating system's name for a runtime name; false when it cannot be mapped.
bool osName(StrDesc name, char (&out)[OSNAME_BYTES]) {
    return FileSystemName(name, out, sizeof out) == 0;
}

// Pushes `len` bytes copied from p with "/" turned into "\".
StrDesc pushNormalized(const char* p, std::size_t len) {
    if (len > 65535) return StrErrorValue(err::STRINGTOOLONG);
    if (StrReserve(static_cast<std::uint16_t>(len), 255)) return StrErrorValue(err::OUTOFMEMORY);
    char* out = StrTopWritable();
    for (std::size_t i = 0; i < len; ++i) out[i] = p[i] == '/' ? '\\' : p[i];
    return StrTop();
}

struct PathPieces {
    StrDesc drive, folder, name, ext;
};

// Splits a path at the first ":" (drive), the last "\" (folder) and the last
// "." after it (extension).
PathPieces split(StrDesc path) {
    PathPieces p;
    std::uint16_t colon = StrFindChar(path, 0, ':', true);
    std::uint16_t afterDrive = colon == STR_NPOS ? 0 : static_cast<std::uint16_t>(colon + 1);
    p.drive = StrMid(path, 0, afterDrive);
    StrDesc rest = StrMid(path, afterDrive);
    std::uint16_t slash = StrFindLastChar(rest, '\\', true);
    std::uint16_t nameStart = 0;
    if (slash != STR_NPOS) {
        p.folder = StrMid(rest, 0, slash);
        nameStart = static_cast<std::uint16_t>(slash + 1);
    } else {
        p.folder = StrMid(rest, 0, 0);
    }
    StrDesc file = StrMid(rest, nameStart);
    std::uint16_t dot = StrFindLastChar(file, '.', true);
    if (dot != STR_NPOS) {
        p.name = StrMid(file, 0, dot);
        p.ext = StrMid(file, dot + 1);
    } else {
        p.name = file;
        p.ext = StrMid(file, file.len, 0);
    }
    return p;
}

}  // namespace

StrDesc PathNormalize(StrDesc path) {
    if (path.isError()) return path;
    StrMarkT m = StrMark();
    return StrReturn(m, pushNormalized(path.ptr, path.len));
}

StrDesc PathJoin(StrDesc a, StrDesc b) {
    if (a.isError()) return a;
    if (b.isError()) return b;
    StrMarkT m = StrMark();
    StrDesc na = PathNormalize(a);
    StrDesc nb = PathNormalize(b);
    bool sep = na.len > 0 && na[na.len - 1] != '\\' && nb.len > 0 && nb[0] != '\\';
    return StrReturn(m, StrConcatN({na, StrView(sep ? "\\" : ""), nb}));
}

StrDesc PathJoinExt(StrDesc a, StrDesc b) { return StrJoin(a, StrView("."), b); }

StrDesc PathPart(StrDesc path, std::uint16_t parts) {
    if (path.isError()) return path;
    StrMarkT m = StrMark();
    PathPieces p = split(path);
    StrDesc r = StrView("");
    if (parts & pathpart::DRIVE) r = p.drive;
    if (parts & pathpart::FOLDER) r = StrConcat(r, p.folder);
    if (parts & pathpart::NAME) {
        bool sep = r.len > 0 && r[r.len - 1] != ':';
        r = StrConcatN({r, StrView(sep ? "\\" : ""), p.name});
    }
    if (parts & pathpart::EXT) r = PathJoinExt(r, p.ext);
    return StrReturn(m, r);
}

StrDesc PathResolve(StrDesc base, StrDesc relative) {
    if (base.isError()) return base;
    if (relative.isError()) return relative;
    StrMarkT m = StrMark();
    StrDesc rel = PathNormalize(relative);
    StrDesc b = base;
    while (rel.len >= 2 && rel[0] == '.' && rel[1] == '.' && (rel.len == 2 || rel[2] == '\\')) {
        b = PathPart(b, pathpart::DRIVE | pathpart::FOLDER);
        rel = StrMid(rel, 3);
    }
    StrDesc r = PathJoin(b, rel);
    while (!r.isError() && StrFindText(r, StrView("\\.\\"), true) != STR_NPOS)
        r = StrReplaceAll(r, StrView("\\.\\"), StrView("\\"), true);
    return StrReturn(m, r);
}

ErrCode FileFind(StrDesc pattern) {
    StrMarkT m = StrMark();
    if (pattern.isError()) return StrError(pattern);
    StrDesc folderPart = PathPart(pattern, pathpart::DRIVE | pathpart::FOLDER);
    StrDesc namePart = PathPart(pattern, pathpart::NAME | pathpart::EXT);
    char dir[OSNAME_BYTES];
    if (!osName(folderPart.len ? folderPart : StrView("."), dir)) {
        StrRelease(m);
        return err::FILENOTFOUND;
    }
    const char* glob = StrTerminated(namePart);
    StrDesc found = StrView("");
    bool any = false;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2]))) continue;
            if (fnmatch(glob, e->d_name, FNM_CASEFOLD) != 0) continue;
            found = any ? StrConcatN({found, StrMake("\0", 1), StrFromTerminated(e->d_name)})
                        : StrFromTerminated(e->d_name);
            if (found.isError()) break;
            found = StrReturn(m, found);
            any = true;
        }
        closedir(d);
    }
    if (found.isError()) {
        StrRelease(m);
        return StrError(found);
    }
    if (!any) {
        StrRelease(m);
        return err::FILENOTFOUND;
    }
    StrReturn(m, found);
    return err::OK;
}

bool FileExists(StrDesc path) {
    if (path.isError() || path.len == 0) return false;
    char os[OSNAME_BYTES];
    struct stat st;
    return osName(path, os) && stat(os, &st) == 0;
}

StrDesc FileSearch(StrDesc folders, StrDesc name) {
    if (folders.isError()) return folders;
    if (name.isError()) return name;
    StrMarkT m = StrMark();
    if (FileExists(name)) return StrReturn(m, name);
    std::uint16_t n = ListCount(folders, ',');
    for (std::uint16_t i = 1; i <= n; ++i) {
        StrDesc path = PathJoin(ListItem(folders, ',', i), name);
        if (path.isError()) return StrReturn(m, path);
        if (FileExists(path)) return StrReturn(m, path);
        StrRelease(m);
    }
    return StrReturn(m, StrView(""));
}

std::uint32_t FileSize(StrDesc path) {
    char os[OSNAME_BYTES];
    struct stat st;
    if (path.isError() || !osName(path, os) || stat(os, &st) != 0) return 0;
    return st.st_size > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<std::uint32_t>(st.st_size);
}

std::int32_t FileTime(StrDesc path, int which, int as) {
    char os[OSNAME_BYTES];
    struct statx st;
    if (path.isError() || !osName(path, os) ||
        statx(AT_FDCWD, os, 0, STATX_BTIME | STATX_ATIME | STATX_MTIME | STATX_CTIME, &st) != 0)
        return 0;
    // Creation is the birth time where the file system keeps one, else the
    // last status change.
    statx_timestamp t = which == 0 ? ((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime)
                        : which == 1 ? st.stx_atime
                                     : st.stx_mtime;
    time_t secs = static_cast<time_t>(t.tv_sec);
    struct tm local;
    if (!localtime_r(&secs, &local)) return 0;
    if (as == 0) return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
    return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<std::int32_t>(t.tv_nsec / 1000000);
}

ErrCode FolderCreate(StrDesc path) {
    if (path.isError()) return StrError(path);
    StrMarkT m = StrMark();
    StrDesc p = StrTrim(PathNormalize(path), StrView("\\"), 2);
    StrDesc name = PathPart(p, pathpart::NAME | pathpart::EXT);
    if (p.isError() || name.len == 0) {
        ErrCode e = ErrorDetail(err::BADINPUTDATA, path);
        StrRelease(m);
        return e;
    }
    char os[OSNAME_BYTES];
    ErrCode result = err::OK;
    if (!osName(p, os)) {
        result = ErrorDetail(err::BADINPUTDATA, path);
    } else if (mkdir(os, 0777) != 0 && errno != EEXIST) {
        if (errno == ENOENT) {
            // A parent is missing: make it, then try once more.
            StrDesc parent = PathPart(p, pathpart::DRIVE | pathpart::FOLDER);
            bool hasParent = parent.len > 0 && !(parent.len == 2 && parent[1] == ':');
            result = hasParent ? FolderCreate(parent) : ErrorDetail(err::BADINPUTDATA, path);
            if (!result && (!osName(p, os) || (mkdir(os, 0777) != 0 && errno != EEXIST)))
                result = ErrorDetail(err::FILEOPENING, path);
        } else {
            result = ErrorDetail(err::FILEOPENING, path);
        }
    }
    StrRelease(m);
    return result;
}

ErrCode FolderChange(StrDesc path) {
    if (path.isError()) return StrError(path);
    StrMarkT m = StrMark();
    char os[OSNAME_BYTES];
    ErrCode e = err::OK;
    if (!osName(path, os) || chdir(os) != 0) e = ErrorDetail(err::FILENOTFOUND, path);
    StrRelease(m);
    return e;
}

StrDesc CurrentFolder() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return StrView("");
    std::size_t len = std::strlen(buf);
    if (len > CURRENT_FOLDER_MAX) len = CURRENT_FOLDER_MAX;
    StrMarkT m = StrMark();
    return StrReturn(m, pushNormalized(buf, len));
}

StrDesc TempFileName(StrDesc extension) {
    if (extension.isError()) return extension;
    static unsigned counter = 0;
    StrMarkT m = StrMark();
    // The platform's temporary folder: TEMP as on Windows, else TMPDIR, else /tmp.
    StrDesc folder = EnvVar(StrView("TEMP"));
    if (folder.len == 0) folder = EnvVar(StrView("TMPDIR"));
    if (folder.len == 0) folder = StrView("/tmp");
    // A name unique to this process and call (no "." in it).
    StrDesc name = StrFormat(48, StrView("rt%u_%u"), static_cast<unsigned>(getpid()), ++counter);
    StrDesc path = PathJoin(folder, PathJoinExt(name, extension));
    if (!path.isError() && FileExists(path)) FileDelete(path);
    return StrReturn(m, path);
}

}  // namespace rt
