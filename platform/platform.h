// The platform layer: the few operating-system and window-system services the
// runtime needs, behind plain C++ types. Exactly one backend is installed per
// process (Qt for the window programs, console for batch and `apprt-eval`);
// the runtime reaches it only through `platform::backend()`.
//
// Text crossing this interface is the runtime's own single-byte Windows-1252;
// backends convert at their edge.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Buttons and icon of a message box, as the Win32 style bits give them:
// low nibble = button set, bits 4-7 = icon.
enum class Buttons { Ok = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class Icon { None = 0, Error = 0x10, Question = 0x20, Exclamation = 0x30, Information = 0x40 };
enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// Decodes a Win32 message-box style into its buttons and icon.
Buttons buttonsOfStyle(unsigned style);
Icon iconOfStyle(unsigned style);

// A font as the runtime defines it (height and width in pixels, weight 400/700).
struct FontSpec {
    int height = 0;
    int width = 0;
    int weight = 400;
    std::string face;
};

// Character-cell metrics of a created font.
struct FontMetrics {
    int cellWidth = 0;
    int cellHeight = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;

    // Shows a modal message box and returns the button that closed it.
    // `style` is the Win32 style (buttons | icon). Owned by the main window
    // when there is one.
    virtual Answer messageBox(std::string_view text, std::string_view title, unsigned style) = 0;

    // True once the application's main window exists.
    virtual bool hasMainWindow() const = 0;

    // Throws the user's pending input (keys and clicks not yet handled) away
    // unhandled, so that typed-ahead keys cannot answer the box shown next;
    // the window system's own pending work (repaints, deferred deletes) is
    // done, not lost. Used before a box is shown while there is no main
    // window yet.
    virtual void discardPendingEvents() = 0;

    // Handles pending window events and returns.
    virtual void pumpEvents() = 0;

    // Metrics of the system's fixed font (used for -1 heights and widths).
    virtual FontMetrics systemFontMetrics() const = 0;

    // Character-cell metrics of a font made from `spec`.
    virtual FontMetrics fontMetrics(const FontSpec& spec) const = 0;
};

// Installs the process's backend (replacing any previous one).
void install(std::unique_ptr<Backend> backend);

// The installed backend; a console backend is installed on first use when
// none was.
Backend& backend();

// Creates the backends (each lives in its own library).
std::unique_ptr<Backend> makeConsoleBackend();

// The window backend. Creates the application object from `argc`/`argv`
// (which must outlive it) unless one exists; the backend then owns it and
// destroys it with itself, so destroy the backend before main() returns (one
// still alive at exit leaves the application object to the system). Gives
// the console backend when the existing application object cannot show
// widgets.
std::unique_ptr<Backend> makeQtBackend(int& argc, char** argv);

}  // namespace platform
