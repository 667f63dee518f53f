// The runtime without an application task callback.
#include "core/runtime_core.h"
#include "core/strstack.h"

int main() {
    rt::StrStackConfigure(512);
    rt::ErrCode e = rt::CoreInit();
    if (e) return e;
    rt::CoreShutdown();
    return 0;
}
