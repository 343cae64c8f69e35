#pragma once

#include <QApplication>
#include <memory>

namespace tolvi::ui {

// True when Qt has somewhere to put a window: an X display, a Wayland socket, or a platform
// chosen explicitly with QT_QPA_PLATFORM.
bool displayAvailable();

// The application object of a window program. Qt switches the C library to the user's locale
// while it starts; LC_NUMERIC goes back to "C" at once, so that printf writes "0.1" and not
// "0,1" into files and fields under a comma locale.
std::unique_ptr<QApplication> createApplication(int& argc, char** argv);

}  // namespace tolvi::ui
