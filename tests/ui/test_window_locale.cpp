// The window under a locale whose decimal separator is a comma: Qt adopts the user's locale
// when the application starts, and the program must still read and write "0.5".
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdlib>

#include "actions/load.h"
#include "base/text_io.h"
#include "test_support.h"
#include "ui/app_start.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

const char* COMMA_LOCALE = "de_DE.UTF-8";
std::string commaLocaleProblem;  // why the comma locale is missing, if it is

bool localeExists(const char* name) {
    bool ok = std::setlocale(LC_NUMERIC, name) != nullptr;
    std::setlocale(LC_NUMERIC, "C");
    return ok;
}

// Makes the comma locale available to this process: the system's, or else one compiled from
// the system's locale sources into `dir` (found through LOCPATH). Returns false when neither
// works, with the reason in commaLocaleProblem.
bool provideCommaLocale(const TempDir& dir) {
    if (localeExists(COMMA_LOCALE)) return true;
    std::string command =
        "localedef -c -i de_DE -f UTF-8 " + dir.file(COMMA_LOCALE) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        commaLocaleProblem = "de_DE.UTF-8 is not installed and localedef could not build it";
        return false;
    }
    setenv("LOCPATH", dir.path().c_str(), 1);
    if (!localeExists(COMMA_LOCALE)) {
        commaLocaleProblem = "localedef built de_DE.UTF-8 but it does not load";
        return false;
    }
    return true;
}

class CommaLocale : public WindowTest {
  protected:
    void SetUp() override {
        if (!commaLocaleProblem.empty()) GTEST_SKIP() << commaLocaleProblem;
    }
};

TEST_F(CommaLocale, TheUsersLocaleIsActiveExceptForNumbers) {
    EXPECT_STREQ(std::setlocale(LC_MONETARY, nullptr), COMMA_LOCALE) << "Qt took the user's locale";
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(formatText("%g", 0.5), "0.5");
}

TEST_F(CommaLocale, FieldsAndExportsUseAPoint) {
    setField(21, "0.5");
    setField(22, "1e-7");
    click("Button23");
    EXPECT_EQ(field(21), "0.5");
    EXPECT_EQ(store->ambientN().re, 0.5);

    loadTemplate();
    EXPECT_EQ(field(23) + " " + field(24), "0.1 6");
    std::string path = dir.file("d.dat");
    dialogs->answers.push_back(QString::fromStdString(path));
    click("Button8");
    EXPECT_EQ(readText(path).substr(0, 23), "0.100000  9.929660e+05\n");
}

}  // namespace
}  // namespace tolvi::test

int main(int argc, char** argv) {
    if (!tolvi::ui::displayAvailable()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    tolvi::test::TempDir localeDir;
    if (tolvi::test::provideCommaLocale(localeDir)) setenv("LC_ALL", tolvi::test::COMMA_LOCALE, 1);
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app = tolvi::ui::createApplication(argc, argv);
    auto settings = tolvi::test::isolateWindowSettings();
    return RUN_ALL_TESTS();
}
