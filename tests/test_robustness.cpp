// Bad input of every kind the readers meet: each ends with a message (a status or a NumberError),
// never with a crash or a NaN in the model. docs/robustness.md lists these classes.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/status.h"
#include "model/param_file.h"
#include "physics/optics.h"
#include "physics/profile.h"
#include "test_support.h"

namespace tolvi {
namespace {

class Robustness : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeText(dir.file("data.dat"), "0.5 100\n1.0 10\n1.5 1\n");
    }
    // Loads a parameter file as "Load Param" does; the message of its end, or the error's text.
    std::string load(const std::string& parText) {
        test::writeText(dir.file("a.par"), parText);
        store = test::makeStore();
        try {
            Status s = loadParamSlot(*store, dir.file("a.par"));
            if (s.code == 0) {
                computeProfile(*store, 0);
                expectFinite();
            }
            return s.message;
        } catch (const NumberError& e) {
            return std::string("NumberError: ") + e.what();
        }
    }
    void expectFinite() {
        const DataSet& d = store->dataSet(0);
        for (int i = 0; i < d.npoints; ++i) {
            ASSERT_TRUE(std::isfinite(d.yLog[i]) && std::isfinite(d.calcLog[i]) &&
                        std::isfinite(d.calcLin[i]) && std::isfinite(d.sigmaLog[i]))
                << i;
        }
        for (int i = 0; i < store->nprofile; ++i) ASSERT_TRUE(std::isfinite(store->profileRho[i]));
    }
    std::string model(const test::BlockValues& layer, double logI0 = 0) {
        std::string header = test::headerText(1, 0, 0, 0, 1.54);
        header.replace(header.find("0.000000e+00    0  -1.000000e+00  1.000000e+00"), 12,
                       formatValue(logI0));
        return header + test::blockText("S Si.mf", {2.33, 0, 3}) +
               test::blockText("S Si.mf", layer);
    }
    static std::string formatValue(double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.6e", v);
        return buf;
    }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

// Whether `answer` is one of the answers a reader gives to a file it cannot use: one of the
// status texts, or a number error that names `file` and a line (or, for a material file, says
// how many of its value lines it holds).
bool isRefusalOf(const std::string& answer, const std::string& file,
                 const std::vector<std::string>& statusTexts) {
    for (const std::string& text : statusTexts)
        if (answer == text) return true;
    const std::string error = "NumberError: ";
    if (answer.rfind(error, 0) != 0) return false;
    std::string place = " (in " + file + ", line ";
    bool namesLine = answer.find(place) != std::string::npos && answer.back() == ')';
    if (answer.rfind(error + "Missing number: the material file " + file + " holds ", 0) == 0)
        return true;
    if (answer.rfind(error + "Missing number: ", 0) == 0) return namesLine;
    return namesLine && answer.rfind(error + "\"", 0) == 0 &&
           (answer.find("\" is not a number" + place) != std::string::npos ||
            answer.find("\" is not an integer" + place) != std::string::npos);
}

TEST_F(Robustness, BinaryJunkIsRefusedWithAMessage) {
    const std::vector<std::string> parRefusals = {
        "--->Error open file ", "--->Error param line number. Line end space? ",
        "--->Error more than 200 layers in the parameter file"};
    const std::vector<std::string> dataRefusals = {"--->Warning, no data point"};
    const std::vector<std::string> materialRefusals = {"--->Error molar mass not above 0 in " +
                                                       dir.file("Si.mf")};
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string junk(1 + random() % 3000, '\0');
        for (char& c : junk) c = static_cast<char>(random());
        std::string answer = load(junk);
        EXPECT_TRUE(isRefusalOf(answer, dir.file("a.par"), parRefusals)) << answer;

        test::writeText(dir.file("data.dat"), junk);
        answer = load(model({1.0, 50, 3}));
        EXPECT_TRUE(isRefusalOf(answer, dir.file("data.dat"), dataRefusals)) << answer;

        test::writeText(dir.file("Si.mf"), junk);
        answer = load(model({1.0, 50, 3}));
        EXPECT_TRUE(isRefusalOf(answer, dir.file("Si.mf"), materialRefusals)) << answer;
        SetUp();
    }
    // The check itself tells an answer from a wrong one.
    EXPECT_FALSE(isRefusalOf("--->OK", dir.file("data.dat"), dataRefusals));
    EXPECT_FALSE(isRefusalOf("NumberError: \"x\" is not a number (in other.dat, line 3)",
                             dir.file("data.dat"), dataRefusals));
    EXPECT_FALSE(isRefusalOf("NumberError: The calculated intensity of F1 at x = 1 is not finite",
                             dir.file("data.dat"), dataRefusals));
}

TEST_F(Robustness, EmptyFiles) {
    EXPECT_EQ(load(""), "--->Error open file ");
    test::writeText(dir.file("data.dat"), "");
    EXPECT_EQ(load(model({1.0, 50, 3})), "--->Warning, no data point");
    test::writeText(dir.file("Si.mf"), "");
    EXPECT_EQ(load(model({1.0, 50, 3})).rfind("NumberError: Missing number", 0), 0u);
}

TEST_F(Robustness, NotANumberTextsInFiles) {
    for (const char* text : {"nan", "inf", "-inf", "NaN", "1e999", "0x1p3", "1,5e3"}) {
        std::string par = model({1.0, 50, 3});
        par.replace(par.find("50 0 0 1000"), 2, text);
        EXPECT_EQ(load(par).rfind("NumberError: \"", 0), 0u) << text;
    }
}

TEST_F(Robustness, HugeValuesEndTheActionInsteadOfStoringInfinity) {
    // A density of 1e300 makes the index itself overflow in the reflectivity calculation.
    EXPECT_EQ(load(model({1e300, 50, 3})).rfind("NumberError", 0), 0u);
    EXPECT_EQ(load(model({1.0, 50, 3}, 400.0)).rfind("NumberError", 0), 0u) << "10^400";
    // Thicknesses only shift phases; a roughness of 1e300 leaves no defined reflectivity.
    EXPECT_EQ(load(model({1.0, 1e300, 3})), "--->OK");
    EXPECT_EQ(load(model({1.0, -1e300, 3})), "--->OK");
    EXPECT_EQ(load(model({1.0, 50, 1e300})).rfind("NumberError: The calculated intensity", 0), 0u);
}

TEST_F(Robustness, TinyValuesComputeNormally) {
    EXPECT_EQ(load(model({1e-300, 1e-300, 1e-300})), "--->OK");
    EXPECT_EQ(load(model({2.0, 50, 3}, -300.0)), "--->OK") << "an intensity scale of 1e-300";
}

TEST_F(Robustness, OverLongDataLinesUseTheirFirstFields) {
    test::writeText(dir.file("data.dat"), "0.5 100" + std::string(500, ' ') + "junk\n1.0 10\n");
    EXPECT_EQ(load(model({1.0, 50, 3})), "--->OK");
    EXPECT_EQ(store->dataSet(0).npoints, 2);
}

}  // namespace
}  // namespace tolvi
