// The Qt 6 backend (placeholder until the widget implementation lands).
#include <QApplication>

#include "platform/platform.h"

namespace platform {

std::unique_ptr<Backend> makeQtBackend(int& argc, char** argv) {
    (void)argc;
    (void)argv;
    return makeConsoleBackend();
}

}  // namespace platform
