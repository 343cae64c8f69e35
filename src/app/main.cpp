// tolvi: the window program.
#include <cstdio>
#include <memory>

#include "actions/load.h"
#include "model/model_store.h"
#include "ui/app_start.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    // Qt aborts with a terse message when it finds no display; say how to get one instead.
    if (!tolvi::ui::displayAvailable()) {
        std::fprintf(stderr,
                     "tolvi: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset).\n"
                     "Run it under a virtual X server, for example:\n"
                     "    xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    // Creates the QApplication and then sets LC_NUMERIC back to "C" (Qt adopts the user's
    // locale), so that numbers keep "." as decimal point in every file and field.
    std::unique_ptr<QApplication> app = tolvi::ui::createApplication(argc, argv);

    auto store = std::make_unique<tolvi::ModelStore>();
    tolvi::ui::MainWindow window(*store, {}, tolvi::programDirectory());
    window.show();
    return app->exec();
}
