// The runtime without an application task callback: the default dispatcher
// serves every task kind.
#include <vector>

#include "core/strstack.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/startup.h"

namespace {

// The start-up callback: the database start in the configured phase.
rt::ErrCode AppRuntimeCallback(std::uint32_t code, rt::StrDesc) {
    if (code < 65536 && (code & 15) == rt::APPCB_PHASE_CONFIGURED) return rt::AppDatabaseStart();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (rt::WindowSystemAvailable()) platform::install(platform::makeQtBackend(argc, argv));
    else platform::install(platform::makeConsoleBackend());

    std::vector<const char*> args(argv, argv + argc);
    if (!args.empty()) args[0] = rt::ProgramPath(args[0]);

    rt::StrStackConfigure(512);
    rt::ScreenGeometry(70, 12);
    rt::FontDefine(24, 12, 400, rt::StrView("Lucida Console"));

    rt::InitRecord record;
    record.argc = static_cast<std::uint16_t>(args.size());
    record.argv = args.data();
    record.flags = rt::startflag::DICT_LOAD | rt::startflag::DICT_OPTIONAL;
    record.callback = &AppRuntimeCallback;
    int code = rt::RuntimeMain(record);
    platform::install(nullptr);  // the window backend goes before main returns
    return code;
}
