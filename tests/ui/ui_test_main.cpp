// main() of the window tests: one QApplication for the whole program, made as the window
// program makes it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/app_start.h"

int main(int argc, char** argv) {
    // CTest runs these with QT_QPA_PLATFORM=offscreen, but the build lists the tests by running
    // this program without that environment, and without a display QApplication would abort.
    if (!tolvi::ui::displayAvailable()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app = tolvi::ui::createApplication(argc, argv);
    return RUN_ALL_TESTS();
}
