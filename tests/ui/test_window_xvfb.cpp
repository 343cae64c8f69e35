// The window on a real X server (ctest runs this under xvfb-run with the xcb platform): started
// as the program starts it, the template fitted once with a cancel and once to the end, and
// screenshots of the screen saved beside the test program (bin/window-fit-running.png,
// bin/window-menus.png, bin/window-xvfb.png; copied to docs/ by hand).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/text_io.h"
#include "ui/app_start.h"
#include "ui/main_window.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

void saveScreen(QWidget* window, const char* name) {
    QApplication::processEvents();
    QPixmap shot = window->screen()->grabWindow(0);
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(programDirectory() + name))) << name;
}

QString status(ui::MainWindow& window) {
    return window.findChild<QLineEdit*>("Edit4")->text();
}

void waitForRun(ui::MainWindow& window) {
    while (window.running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(RealDisplay, TheTemplateFittedWithACancelAndToTheEnd) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run";
    auto store = std::make_unique<ModelStore>();
    ui::Services services;
    auto* errors = new RecordingErrorBox;
    services.errorBox.reset(errors);
    ui::MainWindow window(*store, std::move(services), programDirectory());
    window.resize(1205, 754);
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(window.findChild<QPushButton*>("Button2"), Qt::LeftButton);  // Template
    ASSERT_EQ(status(window), "--->OK");

    // A genetic search, held at its first evaluations while the screen is taken, then cancelled.
    window.findChild<ui::RadioGroup*>("RGM")->setItemIndex(1);
    window.findChild<QLineEdit*>("Edit20")->setText("1000");
    std::atomic<bool> release{false};
    window.runObserver = [&release](int) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    QTest::mouseClick(window.findChild<QPushButton*>("Button4"), Qt::LeftButton);
    ASSERT_TRUE(window.running());
    QTest::qWait(300);  // the progress bar's refresh
    auto* bar = window.findChild<QProgressBar*>("fitProgress");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->format().startsWith("GA: ")) << bar->format().toStdString();
    saveScreen(&window, "window-fit-running.png");
    QTest::mouseClick(window.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    release = true;
    waitForRun(window);
    EXPECT_EQ(status(window), "--->Fit cancelled");

    // The Fit menu, open.
    window.runObserver = nullptr;
    QMenu* fitMenu = nullptr;
    for (QAction* a : window.menuBar()->actions())
        if (a->menu() && a->text().remove('&') == "Fit") fitMenu = a->menu();
    ASSERT_NE(fitMenu, nullptr);
    QRect title = window.menuBar()->actionGeometry(fitMenu->menuAction());
    fitMenu->popup(window.menuBar()->mapToGlobal(title.bottomLeft()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fitMenu));
    saveScreen(&window, "window-menus.png");
    fitMenu->close();

    // Least squares to the end.
    window.findChild<ui::RadioGroup*>("RGM")->setItemIndex(0);
    QTest::mouseClick(window.findChild<QPushButton*>("Button4"), Qt::LeftButton);
    waitForRun(window);
    EXPECT_TRUE(status(window).startsWith("-->OK")) << status(window).toStdString();
    saveScreen(&window, "window-xvfb.png");
    EXPECT_TRUE(errors->messages.isEmpty());
}

}  // namespace
}  // namespace tolvi::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app = tolvi::ui::createApplication(argc, argv);
    auto settings = tolvi::test::isolateWindowSettings();
    return RUN_ALL_TESTS();
}
