// The Qt side of the Qt backend: what the backend's own windows (and its
// tests) need beyond the plain interface of platform/platform.h.
#pragma once

class QWidget;

namespace platform::qt {

// Registers the application's main window: message boxes belong to it and
// `hasMainWindow()` turns true. Null unregisters it; a registered window
// that is destroyed unregisters itself.
void setMainWindow(QWidget* window);

// The registered main window, or null.
QWidget* mainWindow();

}  // namespace platform::qt
