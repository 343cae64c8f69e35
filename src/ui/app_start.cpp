#include "ui/app_start.h"

#include <clocale>
#include <cstdlib>

namespace tolvi::ui {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

bool displayAvailable() {
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
}

std::unique_ptr<QApplication> createApplication(int& argc, char** argv) {
    auto app = std::make_unique<QApplication>(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return app;
}

}  // namespace tolvi::ui
