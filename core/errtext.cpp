#include "core/errtext.h"

#include "core/errors.h"
#include "core/messages.h"
#include "core/strfuncs.h"
#include "core/strstack.h"

namespace rt {
namespace {

// Error names by position: code = 121 + position (an empty entry has no name).
constexpr const char* kErrorNames[] = {
    "User Canceled",        // 122
    "Null Expression",      // 123
    "Undef.Warning",        // 124
    "Type Warning",         // 125
    "Bad user data",        // 126
    "Out of Data",          // 127
    "Type Mismatch",        // 128
    "Loop Failure",         // 129
    "Disk I/O",             // 130
    "File I/O",             // 131
    "Procedure Execution",  // 132
    "PRCSTCKERROR",         // 133
    "TRANSUPERROR",         // 134
    "VARHANDLERROR",        // 135
    "DISKREADERROR",        // 136
    "DISKWRITERROR",        // 137
    "DISKOPENERROR",        // 138
    "NETACCESERROR",        // 139
    "BADEXPRESION",         // 140
    "INTERNALERROR",        // 141
    "FARHEAPINIERR",        // 142
    "Screen Environ",       // 143
    "INDEXCMDERROR",        // 144
    "OUTOFMEMORY",          // 145
    "STRINGTOOLONG",        // 146
    "SINTAXERROR",          // 147
    "FEATUREREMOVED",       // 148
    "DIMSTRUCERROR",        // 149
    "BADSTRINGTYPE",        // 150
    "BADFILENUMBER",        // 151
    "FORMATFAILURE",        // 152
    "STRCONCATERR",         // 153
    "MEMORYALLOCERR",       // 154
    "EXPCALCERROR",         // 155
    "LOADSTRERROR",         // 156
    "VARNAMEERROR",         // 157
    "BADCOMMANDLINE",       // 158
    "STROUTBOUND",          // 159
    "MEMTESTERROR",         // 160
    "FILEOUTBOUND",         // 161
    "SQLERROR",             // 162
    "BADINPUTDATA",         // 163
    "File Not Found",       // 164
    "File Exist",           // 165
    "File Opening",         // 166
    "CHILDEXECERROR",       // 167
    "DATAOUTBOUND",         // 168
    "FILENOTINIT",          // 169
    "COMMONCTLERROR",       // 170
    "DEVICETIMEOUT",        // 171
    "DEVICEIOERROR",        // 172
    "SYSTEMCMDERROR",       // 173
    "",                     // 174
    "Permission Denied",    // 175
    "StructMemError",       // 176
    "ScreenStructErr",      // 177
    "Memory Leaks",         // 178
    "Windows Control Error",// 179
    "Memory Overflow",      // 180
    "Variable ScreenField", // 181
    "",                     // 182
    "Data Already exist",   // 183
    "Only Local Access",    // 184
    "Graphic Support Low",  // 185
};
constexpr ErrCode kFirstNamed = 122;
constexpr std::size_t kNameCount = sizeof kErrorNames / sizeof kErrorNames[0];
static_assert(kFirstNamed + kNameCount - 1 == 185);

}  // namespace

StrDesc ErrorName(ErrCode code) {
    if (code >= kFirstNamed && code - kFirstNamed < static_cast<int>(kNameCount) && kErrorNames[code - kFirstNamed][0])
        return StrFromTerminated(kErrorNames[code - kFirstNamed]);
    return StrView("Undefined");
}

StrDesc ErrorText(ErrCode code) {
    StrMarkT m = StrMark();
    if (code == 65535) {
        ErrCode recorded = ErrorRecordCode();
        code = recorded ? recorded : 65535;
    }
    // The first lookup may load the catalogue, which moves the StringArea's
    // text: take views into the area only after it.
    StrDesc prefix = MsgText(StrView("0009"));
    StrDesc detail = ErrorDetailGet();
    if (detail.isError()) detail = StrDesc{"", 0};
    StrDesc text;
    if (code == 0) text = MsgText(StrView("0005"));
    else if (code <= 120) text = MsgText(StrView("0008"));
    else if ((code == err::GENERIC || code == err::BADUSERDATA) && detail.len) text = detail;
    else text = ErrorName(code);
    if (code < 128) return StrReturn(m, text);
    std::uint16_t context = ErrorRecordContext();
    const char* contextName = ErrorContextName(context);
    bool withContext = context != 0 && contextName[0];
    bool withDetail = detail.len != 0;
    StrDesc none{"", 0};
    StrDesc full = StrConcatN({prefix, text, withContext ? StrView("(") : none,
                               withContext ? StrFromTerminated(contextName) : none,
                               withContext ? StrView(")") : none, withDetail ? StrView(": ") : none,
                               withDetail ? detail : none});
    return StrReturn(m, full);
}

ErrCode ErrorShow(ErrCode code) {
    StrMarkT m = StrMark();
    ErrCode shown = code == 65535 && ErrorRecordCode() ? ErrorRecordCode() : code;
    bool error = shown >= 128;
    StrDesc title = MsgText(StrView(error ? "0013" : "0012"));
    StrDesc text = ErrorText(code);
    MsgBox(text, title, error ? MSGBOX_ERROR : MSGBOX_WARNING);
    ErrorDetailClear();
    StrRelease(m);
    return code;
}

}  // namespace rt
