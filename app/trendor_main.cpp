// Trendor's entry point.
#include <vector>

#include "app/trendor_app.h"
#include "core/strstack.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    if (rt::WindowSystemAvailable()) platform::install(platform::makeQtBackend(argc, argv));
    else platform::install(platform::makeConsoleBackend());

    std::vector<const char*> args(argv, argv + argc);
    if (!args.empty()) args[0] = rt::ProgramPath(args[0]);

    rt::StrStackConfigure(512);
    rt::AppCallbackRegister(&rt::AppTask);
    rt::ScreenGeometry(70, 12);
    rt::FontDefine(24, 12, 400, rt::StrView("Lucida Console"));
    int code = rt::RuntimeMain(rt::TrendorInitRecord(static_cast<int>(args.size()), args.data()));
    platform::install(nullptr);  // the window backend goes before main returns
    return code;
}
