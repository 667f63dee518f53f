// A platform backend for tests: records the message boxes it is asked to
// show and answers them with a chosen button.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testsupport {

class FakeBackend final : public platform::Backend {
public:
    struct Box {
        std::string text, title;
        unsigned style;
        bool afterDiscard;  // pending events were discarded just before it
    };
    std::vector<Box> boxes;
    platform::Answer answer = platform::Answer::Ok;
    bool mainWindow = false;

    const char* name() const override { return "fake"; }
    platform::Answer messageBox(std::string_view text, std::string_view title, unsigned style) override {
        boxes.push_back(Box{std::string(text), std::string(title), style, discarded_});
        discarded_ = false;
        return answer;
    }
    bool hasMainWindow() const override { return mainWindow; }
    void discardPendingEvents() override { discarded_ = true; }
    void pumpEvents() override {}
    platform::FontMetrics systemFontMetrics() const override { return {8, 16}; }
    platform::FontMetrics fontMetrics(const platform::FontSpec&) const override { return {8, 16}; }

private:
    bool discarded_ = false;
};

// Installs a FakeBackend for the object's lifetime, then the console backend again.
class FakeBackendScope {
public:
    FakeBackendScope() {
        auto b = std::make_unique<FakeBackend>();
        fake_ = b.get();
        platform::install(std::move(b));
    }
    ~FakeBackendScope() { platform::install(platform::makeConsoleBackend()); }
    FakeBackend& operator*() const { return *fake_; }
    FakeBackend* operator->() const { return fake_; }
private:
    FakeBackend* fake_;
};

}  // namespace testsupport
