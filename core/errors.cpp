#include "core/errors.h"

#include <cstring>

#include "core/strarea.h"
#include "core/strstack.h"

namespace rt {
namespace {

ErrCode g_code = 0;
std::uint16_t g_context = 0;

constexpr const char* kContextNames[] = {
    "",          "STRINGINIT", "STRINGASSIGN", "STRCONCAT",  "VARNMASSIGN",     "SQLCONNECT",
    "SQLEXEC",   "EXEC_COMPILER", "Malloc-MemAcums", "ExecRunTime", "VarStruct", "ExpExec",
    "Sort",      "BufferFld",  "DynStrings",   "StructFuncs", "FormatStrings",  "Streams",
    "DataFile",  "LocalLists", "Screens",      "Devices",    "HtmlScan"};

}  // namespace

std::uint32_t ErrorRecordSet(int condition, std::uint16_t context, ErrCode code, std::uint32_t result) {
    if (condition == 0) return 0;
    if ((g_code == 0 && code >= 128) || condition == 2) {
        g_code = code;
        g_context = context;
    }
    return result;
}

std::uint32_t ErrorRecordGet() { return static_cast<std::uint32_t>(g_code) | (static_cast<std::uint32_t>(g_context) << 16); }

void ErrorRecordClear() {
    ErrorRecordSet(2, 0, 0, 0);
    ErrorDetailClear();
}

ErrCode ErrorDetail(ErrCode code, StrDesc text, bool append) {
    if (!AreaReady() || text.isError()) return code;
    if (!append) {
        AreaSet(area::WORK, area::WORK_DETAIL, text);
        return code;
    }
    StrMarkT m = StrMark();
    StrDesc old = AreaGet(area::WORK, area::WORK_DETAIL);
    std::string_view v = old.view();
    while (v.size() > 1024) {
        std::size_t cr = v.rfind('\r');
        if (cr == std::string_view::npos) {
            v = v.substr(0, 1024);
            break;
        }
        v = v.substr(0, cr);
    }
    if (v.empty()) {
        AreaSet(area::WORK, area::WORK_DETAIL, text);
    } else if (StrPush(StrView(v)) == 0) {
        StrDesc head = StrTop();
        // Build old + CR LF + text in one reserved value.
        std::uint32_t total = head.len + 2u + text.len;
        if (total <= 65535 && StrReserve(static_cast<std::uint16_t>(total), 255) == 0) {
            char* w = StrTopWritable();
            std::memcpy(w, head.ptr, head.len);
            w[head.len] = '\r';
            w[head.len + 1] = '\n';
            std::memcpy(w + head.len + 2, text.ptr, text.len);
            AreaSet(area::WORK, area::WORK_DETAIL, StrTop());
        }
    }
    StrRelease(m);
    return code;
}

StrDesc ErrorDetailGet() {
    if (!AreaReady()) return StrDesc{"", 0};
    return AreaGet(area::WORK, area::WORK_DETAIL);
}

void ErrorDetailClear() {
    if (AreaReady() && AreaCount(area::WORK) > area::WORK_DETAIL) AreaSet(area::WORK, area::WORK_DETAIL, StrDesc{"", 0});
}

const char* ErrorContextName(std::uint16_t context) {
    return context < sizeof(kContextNames) / sizeof(kContextNames[0]) ? kContextNames[context] : "";
}

}  // namespace rt
