// main() of the window tests: one QApplication for the whole program, made as the window
// program makes it. The window's settings (its remembered layout) live in a directory of this
// run, away from the user's and from those of test programs running beside it.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "ui/app_start.h"
#include "window_fixture.h"

int main(int argc, char** argv) {
    // CTest runs these with QT_QPA_PLATFORM=offscreen, but the build lists the tests by running
    // this program without that environment, and without a display QApplication would abort.
    if (!tolvi::ui::displayAvailable()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app = tolvi::ui::createApplication(argc, argv);

    auto settings = tolvi::test::isolateWindowSettings();
    return RUN_ALL_TESTS();
}
