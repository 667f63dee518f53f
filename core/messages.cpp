#include "core/messages.h"

#include <dirent.h>

#include <cstring>

#include "core/errtext.h"
#include "core/files.h"
#include "core/lists.h"
#include "core/osname.h"
#include "core/strarea.h"
#include "core/strfuncs.h"
#include "core/strstack.h"
#include "platform/platform.h"

namespace rt {
namespace {

// Compiled-in texts: tab-separated entries "NNNN text" in ascending order
// (tabs inside quotes belong to the text).
constexpr char kDefaultsBelow40[] =
    "0001 Unable to initialize String area\t"
    "0002 Unable to Complete Initialization\t"
    "0003 Memory Leaks Detected\t"
    "0004 File not found:%s\t"
    "0005 Process Completed Succesfully\t"
    "0006 Cancelled by user\t"
    "0007 No data Found\t"
    "0008 Warning \t"
    "0009 Error \t"
    "0010 Not defined\t"
    "0011 Yy,Nn\t"
    "0012 Information Message\t"
    "0013 Fatal Error Ocurred\t"
    "0014 Information Request\t"
    "0015 Permision Denied\t"
    "0016 Process in progress.....\t"
    "0017 Bad params for screen field %s\r\n (%s)\t"
    "0018 Posible loss of data. Please Confirm\t"
    "0019 .,'0123456789.-D',' NY','  ,NO,YES'\t"
    "0020 Cancel\t"
    "0021 SQL Connection Fail\t"
    "0022 File Maintenance,Data Capture\t"
    "0023 Key not Found,End of file,,,Bad Key,Repeated Key,Concurrent Change. Update canceled,Data Change. Please confirm,Passwords do not match\t"
    "0024 Key Updated Canceled\t"
    "0025 Delete Record(s)?\t"
    "0026 View,Insert,Delete,Seek\t"
    "0027 Header Capture,Type of Document,Index search [PgDn/PgUp],Editing [PgDn/PgUp],Line editing,Summary editing,Data saved,New,Modify,Insert Mode,Maintenance Mode,Print Disabled,Print Enabled,Read Only\t"
    "0028 New,Top,Prev.,Next,Bottom,Search,Save,Delete\t"
    "0029 Cancel,Find,Save,Insert,Del.Line,Import,Del.Doc.,Print mode\t"
    "0030 Cancel,PgUp.,PgDn.,Save,Insert,Delete,Import,Mode\t"
    "0031 Process not defined\t"
    "0032 There are windows open (%i Screens, %i Windows)\t"
    "0033 Remember your Safety Copies\n\r\xBF" "Do you want to Close Program? (%i Screens, %i Windows)\t"
    "0034 Application Selector\t"
    "0035 You must stablish configuration settings in the default folder.\r\nPlease read the documentation\t"
    "0036 %s (Unknown Application)\t"
    "0037 Only available at Index area\t"
    "0038 Only available in Maintenance Mode,For appending data is recommended to use Insertion Mode\t"
    "0039 Continue?";
constexpr char kDefaults40To89[] =
    "0040 View Log?\t"
    "0041 HtmlPage not defined\t"
    "0042 Html Parser/Nav Error\t"
    "0043 Html environ initialization Error\t"
    "0044 DefParms File Load Error\t"
    "0045 Parsing page Error\t"
    "0046 Control Command Error\t"
    "0047 Form Log failure\t"
    "0048 Query Params Error\t"
    "0049 Choose Selection\t"
    "0050 OverWrite?\t"
    "0051 Transaction Confirmation\t"
    "0052 No Transaction mode defined\t"
    "0053 No Transaction table defined\t"
    "0054 Extern SQL table not defined\t"
    "0055 Transaction Data Needed\t"
    "0056 'File Name:':'A40'\t"
    "0057 Transaction Bounds\t"
    "0058 Import Window\t"
    "0059 Deleting %s in %s,Updating %s in %s\t"
    "0060 All Files (%s),%s\t"
    "0061 FileStruct Files (%s),%s\t"
    "0062 Screen Files (%s),%s\t"
    "0063 Print Document Files (%s),%s\t"
    "0064 Script Files (%s),%s\t"
    "0065 AppSelect Files (%s),%s\t"
    "0066 Menu Files (%s),%s\t"
    "0067 PDF Files (%s),%s\t"
    "0068 Text Files (%s),%s\t"
    "0070 Help\t"
    "0071 Help Pages\t"
    "0072 Help Page not defined\t"
    "0073 Untitled Window #%s\t"
    "0074 Variables and Functions\t"
    "0075 About Box\t"
    "0077 PgUp/PgDn Avail.\t"
    "0080 (Bigger than),(Smaller than),(Equal to),(From),(To)  ,(No Equal to)\t"
    "0081 Report Limits Capture\t"
    "0082 Device Selection\t"
    "0083 Speed:,Parity:,Lines:,Width:,Step:,View:\t"
    "0084 No Selection done\t"
    "0085 Table Selection\t"
    "0086 Limit Fields Selection\t"
    "0087 Relational Update\t"
    "0088 Target File\t"
    "0089 Relative,Secuential,Delimited,List";
constexpr char kDefaults90To999[] =
    "0090 Database access\t"
    "0091 'Host:':'A30'::%s,'Database:':'A30'::%s,'User:':'A30'::%s,'Password:':'P30'::%s,'Remember (Y/N):':'L1'\t"
    "0092 'Host:':'A30'::%s,'Database:':'A30','User:':'A30'::'postgres','Password:':'P30'\t"
    "0093 'Host:':'A30'::%s,'User:':'A30'::'postgres','Password:':'P30'\t"
    "0094 'Relational Update Type:':'N1'\t"
    "0095 'Target File:':'A255'::'%s','Append mode:':'L1'::'1'\t"
    "0096 Fields Selection\t"
    "0097 Save this Configuration?\t"
    "0098 Transaction selector\t"
    "0099 Update Expresion\t"
    "0100 'Update Expresion:':'A256'\t"
    "0101 Counted %s rows in %s\t"
    "0110 'Reports','\tCreate New,[$]','\tReports,[$]%APNAME%report.ppn'\t"
    "0111 'Transactions','\tExport','\t\tRelative,[$]4','\t\tSecuential,[$]20','\t\tDelimited,[$]52','\t\tList,[$]16404','\tImport','\t\tRelative,[$]5','\t\tSecuential,[$]21','\t\tDelimited,[$]53','\tIntern','\t\tCounter,[$]128','\t\tSelf Update,[$]1','\t\tRelational Update,[$]3','\t\tRelational Unupdate,[$]11','\t\tDeletion,[$]8','\tPredefinined,[$]0'\t"
    "0112 Extern Program has terminated with error code %s\t"
    "0113 'Document Title:':'A40','Multiline:':'L1','Avoid in Menu:':'L1'\t"
    "0114 Report Selection\t"
    "0115 Last session uncorrectly closed. Recovering data\t"
    "0116 'New Database:':'A20'\t"
    "0117 'January,February,March,April,May,June,July,August,September,October,November,December','[M] [D],[Y]'\t"
    "0118 'Server Backup Folder:':'A50'::'%s','Lan Backup Folder:':'A50'::'%s'\t"
    "0119 'Reorganization,Reorg'\t"
    "0120 'Help','\tHelp,Help','\tAbout,Help About'\t"
    "0121 Only Server Side Copy was done\t"
    "0130 Exit,Print,Save";
constexpr char kDefaultsAbove999[] =
    "1001 Graphical Stat View Config\t"
    "1002 'Group Expression (X-Axis):':'A255','Values Expression (Y-Axis):':'A255','Start Expression (Reset):':'A255','Scan Condition:':'A255','Store Variables:':'A255'\t"
    "1003 'Titles to Merge:':'A255'\t"
    "1004 Report Stat Config\t"
    "1005 'Group Expression (Line):':'A255','Values Expression:':'A255','Start Expression (Reset):':'A255','Scan Condition:':'A255','Store Variables:':'A255'";

constexpr std::uint16_t kMaxNumbers = 256;
constexpr std::uint16_t kMaxLines = 256;  // a file of this many lines or more is not used

struct Catalogue {
    std::uint16_t state = 0;     // 0 not tried, 1 tried without result, 2 loaded
    std::int32_t first = 0;      // first number of the block
    std::int32_t last = -1;      // last number of the block
    std::uint16_t ends[kMaxNumbers] = {};  // end offset of each number's text
};
Catalogue g_cat;

constexpr MsgBoxKind kKinds[] = {
    {0x40, "0014"}, {0x30, "0012"}, {0x41, "0014"}, {0x10, "0013"},
    {0x15, "0012"}, {0x44, "0014"}, {0x43, "0014"},
};

bool fourDigits(const char* p, std::uint32_t len) {
    if (len < 4) return false;
    for (int i = 0; i < 4; ++i)
        if (p[i] < '0' || p[i] > '9') return false;
    return true;
}

// "\\" when a file name joined to the folder needs one.
StrDesc folderSeparator(StrDesc folder) {
    if (folder.len == 0) return StrDesc{"", 0};
    char last = folder.ptr[folder.len - 1];
    return (last == '\\' || last == '/' || last == ':') ? StrDesc{"", 0} : StrView("\\");
}

// Opens a file for reading without recording a failure; FILE_HANDLES when it
// cannot be opened.
std::uint16_t openQuiet(StrDesc path) {
    std::uint16_t h = FileOpen(path, fileflag::READONLY | fileflag::QUIET);
    return h < FILE_HANDLES ? h : FILE_HANDLES;
}

// The next line of an open file, 65535 at the end (or when it does not fit).
std::uint32_t nextLine(std::uint16_t h, char* buf, std::uint32_t cap) {
    return FileRead(h, FILE_NONE, FILE_NONE, buf, cap);
}

// Number of lines of a file, counted up to `limit`.
std::uint16_t countLines(StrDesc path, char* buf, std::uint32_t cap, std::uint16_t limit) {
    std::uint16_t h = openQuiet(path);
    if (h == FILE_HANDLES) return 0;
    std::uint16_t n = 0;
    while (n < limit && nextLine(h, buf, cap) != FILE_NONE) ++n;
    FileClose(h);
    return n;
}

bool startsWithNoCase(const char* s, std::string_view p) {
    for (std::size_t i = 0; i < p.size(); ++i)
        if (!s[i] || CharUpper(s[i]) != CharUpper(p[i])) return false;
    return true;
}

// The first name in byte order of `folder` ("" = the current folder) that
// starts with `prefix` and ends with `suffix` ignoring case, joined to the
// folder. Pushed; "" when none.
StrDesc firstMatching(StrDesc folder, std::string_view prefix, std::string_view suffix) {
    StrMarkT m = StrMark();
    const StrDesc none{"", 0};
    char dir[OSNAME_BYTES] = ".";
    if (folder.len && FileSystemName(folder, dir, sizeof dir)) return StrReturn(m, none);
    DIR* d = ::opendir(dir);
    if (!d) return StrReturn(m, none);
    char best[256] = "";
    while (const dirent* e = ::readdir(d)) {
        std::size_t n = std::strlen(e->d_name);
        if (n < prefix.size() + suffix.size() || n >= sizeof best) continue;
        if (!startsWithNoCase(e->d_name, prefix) || !startsWithNoCase(e->d_name + n - suffix.size(), suffix)) continue;
        if (!best[0] || std::strcmp(e->d_name, best) < 0) std::memcpy(best, e->d_name, n + 1);
    }
    ::closedir(d);
    if (!best[0]) return StrReturn(m, none);
    return StrReturn(m, StrConcatN({folder, folderSeparator(folder), StrFromTerminated(best)}));
}

// Builds the block from the file's numbered lines into the free space above
// the string stack's top, then stores the texts as one StringArea entry.
bool buildCatalogue(StrDesc path) {
    StrScratchArea sc = StrScratch();
    std::uint16_t lines = countLines(path, sc.ptr, sc.len, kMaxLines);
    if (lines == 0 || lines >= kMaxLines) return false;
    std::uint16_t h = openQuiet(path);
    if (h == FILE_HANDLES) return false;
    std::uint32_t used = 0;
    bool opened = false;
    std::int32_t first = 0;
    std::int32_t last = -1;
    std::uint32_t cap = sc.len < 65535 ? sc.len : 65535;
    for (;;) {
        char* line = sc.ptr + used;
        std::uint32_t len = nextLine(h, line, cap - used);
        if (len == FILE_NONE) break;
        if (!fourDigits(line, len)) continue;
        std::int32_t n = StrToInt(StrDesc{line, 4});
        if (!opened) {
            opened = true;
            first = n;
            last = n - 1;
        }
        if (n <= last || n - first >= kMaxNumbers) continue;  // numbers ascend; only 256 are kept
        for (std::int32_t k = last + 1; k < n; ++k) g_cat.ends[k - first] = static_cast<std::uint16_t>(used);
        std::uint32_t textLen = len > 5 ? len - 5u : 0u;
        std::memmove(line, line + 5, textLen);
        for (std::uint32_t i = 0; i + 1 < textLen; ++i) {
            if (line[i] == '\\' && line[i + 1] == 'n') {
                line[i] = '\r';
                line[i + 1] = '\n';
                ++i;
            }
        }
        used += textLen;
        g_cat.ends[n - first] = static_cast<std::uint16_t>(used);
        last = n;
    }
    FileClose(h);
    if (!opened) return false;
    StrMarkT m = StrMark();
    bool ok = StrReserve(static_cast<std::uint16_t>(used), 255) == 0 &&  // claims the bytes just written
              AreaSet(area::WORK, area::WORK_MESSAGES, StrTop()) == 0;
    StrRelease(m);
    if (!ok) return false;
    g_cat.first = first;
    g_cat.last = last;
    return true;
}

// Finds the language file: VK_LANG_<code>.MSJ in each data folder in turn,
// or the first VK_LANG_*.MSJ when no language is set. Pushed; "" when none.
StrDesc locateLanguageFile() {
    StrMarkT m = StrMark();
    StrDesc lang = StrTrim(AreaGet(area::ENV, 4), kBlankTab, 3);
    StrDesc folders = AreaGet(area::ENV, 5);
    if (lang.isError() || folders.isError()) return StrReturn(m, StrDesc{"", 0});
    std::uint16_t count = folders.len ? ListCount(folders, ',') : 1;
    for (std::uint16_t k = 1; k <= count; ++k) {
        StrMarkT km = StrMark();
        folders = AreaGet(area::ENV, 5);
        StrDesc folder = StrUnquote(StrTrim(ListItem(folders, ',', k), kBlankTab, 3));
        StrDesc found;
        if (lang.len == 0) {
            found = firstMatching(folder, "VK_LANG_", ".MSJ");
        } else {
            StrDesc name = StrFormat(static_cast<std::uint16_t>(16 + lang.len), StrView("VK_LANG_%s.MSJ"), lang);
            found = StrConcatN({folder, folderSeparator(folder), name});
            std::uint16_t h = found.isError() ? FILE_HANDLES : openQuiet(found);
            if (h == FILE_HANDLES) found = StrDesc{"", 0};
            else FileClose(h);
        }
        if (!found.isError() && found.len) return StrReturn(m, found);
        StrRelease(km);
    }
    return StrReturn(m, StrDesc{"", 0});
}

void loadCatalogue() {
    g_cat.state = 1;
    if (!AreaReady() || !StrStackReady()) return;
    StrMarkT m = StrMark();
    StrDesc path = locateLanguageFile();
    if (!path.isError() && path.len && buildCatalogue(path)) g_cat.state = 2;
    StrRelease(m);
}

// The compiled-in text of `code`: the entry of the matching table whose
// number is exactly `code`, up to the next tab outside quotes; "" when absent.
StrDesc compiledText(StrDesc code) {
    const char* table;
    if (StrCompare(code, StrView("0040")) == 65535) table = kDefaultsBelow40;
    else if (StrCompare(code, StrView("0090")) == 65535) table = kDefaults40To89;
    else if (StrCompare(code, StrView("0999")) != 1) table = kDefaults90To999;
    else table = kDefaultsAbove999;
    StrDesc all = StrFromTerminated(table);
    std::uint32_t pos = 0;
    while (pos < all.len) {
        std::uint16_t tab = StrFindChar(all, static_cast<std::uint16_t>(pos), '\t', false);
        std::uint32_t end = tab == STR_NPOS ? all.len : tab;
        StrDesc entry{all.ptr + pos, static_cast<std::uint16_t>(end - pos)};
        if (entry.len > code.len && entry.ptr[code.len] == ' ' && std::memcmp(entry.ptr, code.ptr, code.len) == 0)
            return StrMid(entry, code.len + 1);
        if (tab == STR_NPOS) break;
        pos = end + 1;
    }
    return StrDesc{"", 0};
}

char firstOfItem(StrDesc list, std::uint16_t n, char fallback) {
    StrDesc item = ListItem(list, ',', n);
    return (!item.isError() && item.len) ? item.ptr[0] : fallback;
}

}  // namespace

StrDesc MsgText(StrDesc code) {
    if (code.isError()) return code;
    StrMarkT m = StrMark();
    std::int32_t n = StrToInt(StrMid(code, 0, 4));
    if (g_cat.state == 0) loadCatalogue();
    if (n != 0 && g_cat.state == 2 && n >= g_cat.first && n <= g_cat.last) {
        std::uint16_t begin = n == g_cat.first ? 0 : g_cat.ends[n - 1 - g_cat.first];
        std::uint16_t end = g_cat.ends[n - g_cat.first];
        StrDesc texts = AreaGet(area::WORK, area::WORK_MESSAGES);
        if (texts.isError() || end > texts.len || begin > end) return StrReturn(m, StrDesc{"", 0});
        return StrReturn(m, StrDesc{texts.ptr + begin, static_cast<std::uint16_t>(end - begin)});
    }
    if (n != 0 && code.len > 4) return StrReturn(m, StrMid(code, 5));
    return StrReturn(m, compiledText(code));
}

std::uint16_t MsgCatalogState() { return g_cat.state; }

void MsgCatalogReset() { g_cat = Catalogue{}; }

MsgBoxKind MsgBoxKindOf(int kind) {
    if (kind >= 0 && kind < static_cast<int>(sizeof kKinds / sizeof kKinds[0])) return kKinds[kind];
    return MsgBoxKind{0, "0014"};
}

int MsgBox(StrDesc text, StrDesc title, int kind) {
    StrMarkT m = StrMark();
    MsgBoxKind k = MsgBoxKindOf(kind);
    // Copies first: the texts may be views into the StringArea, which the
    // first catalogue lookup moves.
    if (text.isError()) {
        text = ErrorText(StrError(text));
    } else if (StrPush(text) == 0) {
        text = StrTop();
    }
    if (!title.isError() && title.len && StrPush(title) == 0) title = StrTop();
    if (title.isError() || title.len == 0) title = MsgText(StrFromTerminated(k.title));
    platform::Backend& ui = platform::backend();
    if (!ui.hasMainWindow()) ui.discardPendingEvents();
    platform::Answer a = ui.messageBox(text.view(), title.view(), k.style);
    StrDesc answers = MsgText(StrView("0011"));
    int result = 3;
    if (a == platform::Answer::Ok || a == platform::Answer::Retry || a == platform::Answer::Yes)
        result = static_cast<unsigned char>(firstOfItem(answers, 1, 'Y'));
    else if (a == platform::Answer::No)
        result = static_cast<unsigned char>(firstOfItem(answers, 2, 'N'));
    StrRelease(m);
    return result;
}

int MsgAsk(StrDesc text) {
    StrMarkT m = StrMark();
    int answer = MsgBox(text, StrDesc{"", 0}, MSGBOX_YESNO);
    int yes = static_cast<unsigned char>(firstOfItem(MsgText(StrView("0011")), 1, 'Y'));
    StrRelease(m);
    return answer == yes ? 1 : 0;
}

}  // namespace rt
