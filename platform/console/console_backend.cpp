// The console backend: no windows. Message boxes are written to standard
// error and answered with their default button; fonts have fixed metrics.
#include <cstdio>

#include "platform/platform.h"

namespace platform {
namespace {

class ConsoleBackend final : public Backend {
public:
    const char* name() const override { return "console"; }

    Answer messageBox(std::string_view text, std::string_view title, unsigned style) override {
        std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(title.size()), title.data(),
                     static_cast<int>(text.size()), text.data());
        std::fflush(stderr);
        // The default button is the first one of the set.
        switch (buttonsOfStyle(style)) {
        case Buttons::Ok:
        case Buttons::OkCancel: return Answer::Ok;
        case Buttons::AbortRetryIgnore: return Answer::Abort;
        case Buttons::YesNoCancel:
        case Buttons::YesNo: return Answer::Yes;
        case Buttons::RetryCancel: return Answer::Retry;
        }
        return Answer::Ok;
    }

    bool hasMainWindow() const override { return false; }
    void discardPendingEvents() override {}
    void pumpEvents() override {}
    FontMetrics systemFontMetrics() const override { return FontMetrics{8, 16}; }
    FontMetrics fontMetrics(const FontSpec& spec) const override {
        return FontMetrics{spec.width > 0 ? spec.width : 8, spec.height > 0 ? spec.height : 16};
    }
};

}  // namespace

std::unique_ptr<Backend> makeConsoleBackend() { return std::make_unique<ConsoleBackend>(); }

}  // namespace platform
