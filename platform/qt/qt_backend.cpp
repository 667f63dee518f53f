// The Qt 6 Widgets backend.
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/platform.h"
#include "platform/qt/qt_fonts.h"
#include "platform/qt/qt_text.h"

namespace platform {
namespace qt {
namespace {

QPointer<QWidget> g_mainWindow;

// Set from the first exit handler on: Qt's own global state is being torn
// down, so an application object still alive must be left to the system.
bool g_processExiting = false;

// While true, user input reaching any object is dropped (see
// discardPendingEvents).
bool g_dropInput = false;

// The buttons of each Win32 button set, in the system's order (the first is
// the default), and the answer of a box closed without pressing one (the
// button that Esc presses).
struct ButtonSet {
    std::array<QMessageBox::StandardButton, 3> buttons;
    QMessageBox::StandardButton escape;
};
constexpr std::array<ButtonSet, 6> kButtonSets = {{
    {{QMessageBox::Ok, QMessageBox::NoButton, QMessageBox::NoButton}, QMessageBox::Ok},
    {{QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::NoButton}, QMessageBox::Cancel},
    {{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}, QMessageBox::Abort},
    {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel},
    {{QMessageBox::Yes, QMessageBox::No, QMessageBox::NoButton}, QMessageBox::No},
    {{QMessageBox::Retry, QMessageBox::Cancel, QMessageBox::NoButton}, QMessageBox::Cancel},
}};

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Information: return QMessageBox::Information;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

Answer answerOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Ignore: return Answer::Ignore;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
        return true;
    default:
        // Releases pass: they end presses that were handled before, and
        // alone they start nothing.
        return false;
    }
}

class InputDropFilter final : public QObject {
public:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        return g_dropInput && isUserInput(event->type());
    }
};

// A modal loop run while pending input is being dropped takes input again
// for its own duration.
class ModalScope {
public:
    ModalScope() : saved_(std::exchange(g_dropInput, false)) {}
    ~ModalScope() { g_dropInput = saved_; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
private:
    bool saved_;
};

class QtBackend final : public Backend {
public:
    explicit QtBackend(std::unique_ptr<QApplication> app) : app_(std::move(app)) {
        if (app_) {
            static const bool registered = (std::atexit([] { g_processExiting = true; }), true);
            (void)registered;
        }
    }

    ~QtBackend() override {
        // Destroying the application after main() returned crashes inside
        // Qt, whose globals are already gone; the system reclaims it.
        if (g_processExiting) (void)app_.release();
    }

    const char* name() const override { return "qt"; }

    Answer messageBox(std::string_view text, std::string_view title, unsigned style) override {
        try {
            const ButtonSet& set = kButtonSets[static_cast<std::size_t>(buttonsOfStyle(style))];
            QPointer<QWidget> opener = QApplication::activeWindow();
            QMessageBox::StandardButton pressed = QMessageBox::NoButton;
            {
                QMessageBox box(qtIcon(iconOfStyle(style)), fromWindows1252(title), QString(),
                                QMessageBox::NoButton, g_mainWindow.data());
                // Plain text: a file name or detail must never be taken for markup.
                box.setTextFormat(Qt::PlainText);
                box.setText(fromWindows1252Lines(text));
                for (QMessageBox::StandardButton b : set.buttons)
                    if (b != QMessageBox::NoButton) box.addButton(b);
                box.setDefaultButton(set.buttons[0]);
                box.setEscapeButton(box.button(set.escape));
                ModalScope modal;
                box.exec();
                pressed = box.clickedButton() ? box.standardButton(box.clickedButton()) : set.escape;
            }
            // The window that was active before gets the focus back (the
            // window system does not always give it back by itself).
            QWidget* back = opener ? opener.data() : g_mainWindow.data();
            if (back && back->isVisible()) back->activateWindow();
            return answerOf(pressed);
        } catch (...) {
            return Answer::Cancel;
        }
    }

    bool hasMainWindow() const override { return !g_mainWindow.isNull(); }

    // Qt cannot take events out of its queues unhandled without harm: posted
    // events also carry its own bookkeeping (repaint requests, deferred
    // deletes, queued calls), and removing those leaves windows unpainted
    // and objects undeleted. What must not reach the application is the
    // user's pending input (keys typed ahead would answer the next box), so
    // the queues are flushed with every input event dropped on the way;
    // timers wait for the next pump.
    void discardPendingEvents() override {
        try {
            InputDropFilter filter;
            QCoreApplication::instance()->installEventFilter(&filter);
            g_dropInput = true;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::X11ExcludeTimers);
            g_dropInput = false;
            QCoreApplication::instance()->removeEventFilter(&filter);
        } catch (...) {
            g_dropInput = false;
        }
    }

    void pumpEvents() override {
        try {
            QCoreApplication::processEvents();
        } catch (...) {
        }
    }

    FontMetrics systemFontMetrics() const override {
        try {
            return metricsOf(systemFixedFont());
        } catch (...) {
            return FontMetrics{8, 16};
        }
    }

    FontMetrics fontMetrics(const FontSpec& spec) const override {
        try {
            return metricsOf(makeFont(spec));
        } catch (...) {
            return FontMetrics{8, 16};
        }
    }

private:
    // Declared first so that it is destroyed last.
    std::unique_ptr<QApplication> app_;
};

}  // namespace

void setMainWindow(QWidget* window) { g_mainWindow = window; }

QWidget* mainWindow() { return g_mainWindow.data(); }

}  // namespace qt

std::unique_ptr<Backend> makeQtBackend(int& argc, char** argv) {
    try {
        std::unique_ptr<QApplication> owned;
        if (!QCoreApplication::instance()) {
            owned = std::make_unique<QApplication>(argc, argv);
        } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            std::fputs("platform: the application object has no widgets; windows are not available\n", stderr);
            return makeConsoleBackend();
        }
        return std::make_unique<qt::QtBackend>(std::move(owned));
    } catch (...) {
        return makeConsoleBackend();
    }
}

}  // namespace platform
