#include "platform/platform.h"

namespace platform {
namespace {
std::unique_ptr<Backend> g_backend;
}

Buttons buttonsOfStyle(unsigned style) {
    unsigned b = style & 0x0F;
    return b <= 5 ? static_cast<Buttons>(b) : Buttons::Ok;
}

Icon iconOfStyle(unsigned style) {
    switch (style & 0xF0) {
    case 0x10: return Icon::Error;
    case 0x20: return Icon::Question;
    case 0x30: return Icon::Exclamation;
    case 0x40: return Icon::Information;
    default: return Icon::None;
    }
}

void install(std::unique_ptr<Backend> backend) { g_backend = std::move(backend); }

Backend& backend() {
    if (!g_backend) g_backend = makeConsoleBackend();
    return *g_backend;
}

}  // namespace platform
