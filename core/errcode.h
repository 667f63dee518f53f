// Error codes and error contexts of the runtime.
//
// 0 is success, 1-120 are warnings, 121 is a failure whose text is the error
// detail, 122-185 are named (code = 121 + position in the name list), 128 and
// above are errors, 65535 is "not found"/undefined.
#pragma once
#include <cstdint>

namespace rt {

using ErrCode = std::uint16_t;

namespace err {
constexpr ErrCode OK = 0;
constexpr ErrCode GENERIC = 121;          // text is the error detail
constexpr ErrCode USERCANCELED = 122;     // "User Canceled"
constexpr ErrCode NULLEXPRESSION = 123;   // "Null Expression"
constexpr ErrCode UNDEFWARNING = 124;     // "Undef.Warning"
constexpr ErrCode TYPEWARNING = 125;      // "Type Warning"
constexpr ErrCode BADUSERDATA = 126;      // "Bad user data"
constexpr ErrCode OUTOFDATA = 127;        // "Out of Data"
constexpr ErrCode TYPEMISMATCH = 128;     // "Type Mismatch"
constexpr ErrCode LOOPFAILURE = 129;      // "Loop Failure"
constexpr ErrCode DISKIO = 130;           // "Disk I/O"
constexpr ErrCode FILEIO = 131;           // "File I/O"
constexpr ErrCode PROCEXEC = 132;         // "Procedure Execution"
constexpr ErrCode PRCSTCKERROR = 133;
constexpr ErrCode TRANSUPERROR = 134;
constexpr ErrCode VARHANDLERROR = 135;
constexpr ErrCode DISKREADERROR = 136;
constexpr ErrCode DISKWRITERROR = 137;
constexpr ErrCode DISKOPENERROR = 138;
constexpr ErrCode NETACCESERROR = 139;
constexpr ErrCode BADEXPRESION = 140;
constexpr ErrCode INTERNALERROR = 141;
constexpr ErrCode FARHEAPINIERR = 142;
constexpr ErrCode SCREENENVIRON = 143;    // "Screen Environ"
constexpr ErrCode INDEXCMDERROR = 144;
constexpr ErrCode OUTOFMEMORY = 145;
constexpr ErrCode STRINGTOOLONG = 146;
constexpr ErrCode SINTAXERROR = 147;
constexpr ErrCode FEATUREREMOVED = 148;
constexpr ErrCode DIMSTRUCERROR = 149;
constexpr ErrCode BADSTRINGTYPE = 150;
constexpr ErrCode BADFILENUMBER = 151;
constexpr ErrCode FORMATFAILURE = 152;
constexpr ErrCode STRCONCATERR = 153;
constexpr ErrCode MEMORYALLOCERR = 154;
constexpr ErrCode EXPCALCERROR = 155;
constexpr ErrCode LOADSTRERROR = 156;
constexpr ErrCode VARNAMEERROR = 157;
constexpr ErrCode BADCOMMANDLINE = 158;
constexpr ErrCode STROUTBOUND = 159;
constexpr ErrCode MEMTESTERROR = 160;
constexpr ErrCode FILEOUTBOUND = 161;
constexpr ErrCode SQLERROR = 162;
constexpr ErrCode BADINPUTDATA = 163;
constexpr ErrCode FILENOTFOUND = 164;     // "File Not Found"
constexpr ErrCode FILEEXIST = 165;        // "File Exist"
constexpr ErrCode FILEOPENING = 166;      // "File Opening"
constexpr ErrCode CHILDEXECERROR = 167;
constexpr ErrCode DATAOUTBOUND = 168;
constexpr ErrCode FILENOTINIT = 169;
constexpr ErrCode COMMONCTLERROR = 170;
constexpr ErrCode DEVICETIMEOUT = 171;
constexpr ErrCode DEVICEIOERROR = 172;
constexpr ErrCode SYSTEMCMDERROR = 173;
constexpr ErrCode PERMISSIONDENIED = 175; // "Permission Denied"
constexpr ErrCode STRUCTMEMERROR = 176;   // "StructMemError"
constexpr ErrCode SCREENSTRUCTERR = 177;  // "ScreenStructErr"
constexpr ErrCode MEMORYLEAKS = 178;      // "Memory Leaks"
constexpr ErrCode WINCONTROLERROR = 179;  // "Windows Control Error"
constexpr ErrCode MEMORYOVERFLOW = 180;   // "Memory Overflow"
constexpr ErrCode VARSCREENFIELD = 181;   // "Variable ScreenField"
constexpr ErrCode DATAEXIST = 183;        // "Data Already exist"
constexpr ErrCode ONLYLOCALACCESS = 184;  // "Only Local Access"
constexpr ErrCode GRAPHICSUPPORTLOW = 185;// "Graphic Support Low"
constexpr ErrCode NOTFOUND = 65535;
}  // namespace err

// Modules an error is recorded in (0 = none).
namespace ctx {
constexpr std::uint16_t NONE = 0;
constexpr std::uint16_t STRINGINIT = 1;
constexpr std::uint16_t STRINGASSIGN = 2;
constexpr std::uint16_t STRCONCAT = 3;
constexpr std::uint16_t VARNMASSIGN = 4;
constexpr std::uint16_t SQLCONNECT = 5;
constexpr std::uint16_t SQLEXEC = 6;
constexpr std::uint16_t EXEC_COMPILER = 7;
constexpr std::uint16_t MALLOC_MEMACUMS = 8;
constexpr std::uint16_t ExecRunTime = 9;
constexpr std::uint16_t VarStruct = 10;
constexpr std::uint16_t ExpExec = 11;
constexpr std::uint16_t Sort = 12;
constexpr std::uint16_t BufferFld = 13;
constexpr std::uint16_t DynStrings = 14;
constexpr std::uint16_t StructFuncs = 15;
constexpr std::uint16_t FormatStrings = 16;
constexpr std::uint16_t Streams = 17;
constexpr std::uint16_t DataFile = 18;
constexpr std::uint16_t LocalLists = 19;
constexpr std::uint16_t Screens = 20;
constexpr std::uint16_t Devices = 21;
constexpr std::uint16_t HtmlScan = 22;
}  // namespace ctx

}  // namespace rt
