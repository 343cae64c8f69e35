#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text_io.h"
#include "fourier/fourier_workspace.h"
#include "fourier/thickness_transform.h"
#include "fourier_test_support.h"
#include "test_support.h"

namespace tolvi {
namespace {

using test::makeWorkspace;
using test::PI;
using test::setCurve;
using test::setModelCurve;
using test::VACUUM;

// Kiessig fringes of a film of thickness d on the q axis: a Fresnel-like decay modulated by
// cos(q' d), q' the refraction-corrected q above the edge qc.
void setFilmCurve(FourierWorkspace& ws, double d, double qc) {
    std::vector<double> q, r;
    for (int i = 0; i < 1000; ++i) {
        double qi = 0.02 + 0.0005 * i;
        double qf = qi > qc ? std::sqrt(qi * qi - qc * qc) : 0.0;
        q.push_back(qi);
        r.push_back(1e6 * std::pow(qc / (2.0 * qi), 4) * (1.0 + 0.8 * std::cos(qf * d)) + 1.0);
    }
    setCurve(ws, q, r);
}

// The bin of the largest magnitude in ft[row] among the thicknesses above dMin.
int argmax(const FourierWorkspace& ws, int row, double dMin) {
    int best = -1;
    for (int b = 0; b < ws.bin_no; ++b)
        if (ws.ft_d[b] > dMin && (best < 0 || ws.ft[row][b] > ws.ft[row][best])) best = b;
    return best;
}

int countLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ThicknessGrid, RunsFromTheStepToDMax) {
    auto ws = makeWorkspace();
    setFilmCurve(*ws, 250.0, 0.03);
    ws->q_critical = 0.03;
    ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
    EXPECT_EQ(ws->d_step, 5.0);
    for (int b = 0; b < 200; ++b) ASSERT_DOUBLE_EQ(ws->ft_d[b], 5.0 * (b + 1)) << b;
    EXPECT_EQ(ws->ft_d[199], 1000.0);
}

TEST(Fringe, RQ4IsZeroAtTheWindowsStartAndFromItsEndOn) {
    auto ws = makeWorkspace();
    setFilmCurve(*ws, 250.0, 0.03);
    ws->q_critical = 0.03;
    ws->q_min = 0.05;
    ws->q_max = 0.4;
    ASSERT_TRUE(buildFringeRq4(*ws).ok());
    EXPECT_GT(ws->start, 0);
    EXPECT_EQ(ws->fringe[ws->start], 0.0);
    for (int k = 0; k < ws->start; ++k) ASSERT_EQ(ws->fringe[k], 0.0) << k;
    for (int k = ws->end; k < ws->count; ++k) ASSERT_EQ(ws->fringe[k], 0.0) << k;
    int k = ws->start + ws->n_window / 3;
    double taper = 0.5 - 0.5 * std::cos(2.0 * PI * (k - ws->start) / ws->n_window);
    EXPECT_DOUBLE_EQ(ws->fringe[k],
                     (ws->r[k] - ws->r[ws->end - 1]) * std::pow(ws->q_film[k], 4) * taper);
}

TEST(Dft, SingleLayerFringeCosQdPeaksAtD) {
    for (double d : {150.0, 250.0, 400.0, 725.0}) {
        auto ws = makeWorkspace();
        ws->count = 1000;
        for (int k = 0; k < ws->count; ++k) {
            ws->q_film[k] = 0.02 + 0.0005 * k;
            ws->fringe[k] = k < 999 ? std::cos(ws->q_film[k] * d) : 0.0;
        }
        ws->start = 0;
        ws->end = 999;
        ws->n_window = 1000;
        ws->d_step = 5.0;
        fillThicknessGrid(*ws);
        ASSERT_TRUE(computeDft(*ws).ok());
        EXPECT_NEAR(ws->ft_d[argmax(*ws, 0, 0.0)], d, ws->d_step) << d;
    }
}

TEST(Dft, FilmCurvePeaksAtItsThicknessInBothFringeModes) {
    for (double d : {150.0, 250.0, 400.0}) {
        for (int mode : {fourier::FRINGE_RQ4, fourier::FRINGE_R_RF}) {
            auto ws = makeWorkspace();
            setFilmCurve(*ws, d, 0.03);
            ws->q_critical = 0.03;
            ws->fringe_mode = mode;
            FtReport report = runFourierTransform(*ws, VACUUM);
            ASSERT_EQ(report.status.message, "--->OK");
            // Against a flat background the Fresnel decay itself leaves a hump at small d; the
            // fitted edge model removes it.
            double above = mode == fourier::FRINGE_RQ4 ? 50.0 : 0.0;
            EXPECT_NEAR(ws->ft_d[argmax(*ws, 0, above)], d, ws->d_step) << d << " mode " << mode;
        }
    }
}

// A window of three points (k = 1..3) by hand: the weights, the phasor and the hat.
class SmallWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ws->count = 5;
        const double qf[] = {0.0, 0.1, 0.15, 0.25, 0.4};
        const double fr[] = {0.0, 2.0, -1.0, 3.0, 0.0};  // fringe[end] made non-zero on purpose
        for (int k = 0; k < 5; ++k) ws->q_film[k] = qf[k], ws->fringe[k] = fr[k];
        ws->start = 1;
        ws->end = 3;
        ws->n_window = 3;
        ws->d_max = 20.0;
        ws->bin_no = 2;
        ws->d_step = 10.0;
        fillThicknessGrid(*ws);
    }
    std::complex<double> phasor(double q, double d) { return std::polar(1.0, -q * d); }
    double hat(double x) { return (1.0 - x * x) * std::exp(-x * x / 2.0); }

    std::unique_ptr<FourierWorkspace> ws = makeWorkspace();
};

TEST_F(SmallWindow, DftWeightsInnerPointsFullyAndEndsByHalf) {
    ASSERT_TRUE(computeDft(*ws).ok());
    for (int b = 0; b < 2; ++b) {
        double d = 10.0 * (b + 1);
        std::complex<double> s = 0.025 * 2.0 * phasor(0.1, d) + 0.1 * -1.0 * phasor(0.15, d) +
                                 0.05 * 3.0 * phasor(0.25, d);
        EXPECT_NEAR(ws->ft[0][b], std::abs(s), 1e-15) << b;
    }
    for (int s = 1; s < FT_ROWS; ++s) EXPECT_EQ(ws->ft[s][0], 0.0);
}

TEST_F(SmallWindow, WaveletHalvesEveryTermUnderTheHat) {
    ws->ft[0][0] = 7.0;  // a DFT result from before
    ASSERT_TRUE(computeWavelet(*ws).ok());
    for (int s = 1; s <= 4; ++s) {
        double c = (s + 1) * 20.0 / 5.0;
        for (int b = 0; b < 2; ++b) {
            double d = 10.0 * (b + 1);
            std::complex<double> w = 0.025 * 2.0 * hat((0.1 - d) / c) * phasor(0.1, d) +
                                     0.05 * -1.0 * hat((0.15 - d) / c) * phasor(0.15, d) +
                                     0.05 * 3.0 * hat((0.25 - d) / c) * phasor(0.25, d);
            EXPECT_NEAR(ws->ft[s][b], 100.0 * std::abs(w), 1e-13) << s << " " << b;
        }
    }
    EXPECT_EQ(ws->ft[0][0], 7.0);
}

TEST(FtAction, WaveletAfterDftKeepsTheDftRow) {
    auto ws = makeWorkspace();
    setFilmCurve(*ws, 250.0, 0.03);
    ws->q_critical = 0.03;
    ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
    auto dft = ws->ft[0];
    ws->transform = fourier::TRANSFORM_WAVELET;
    ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
    EXPECT_EQ(ws->ft[0], dft);
    for (int s = 1; s < FT_ROWS; ++s) EXPECT_GT(ws->ft[s][100], 0.0) << s;
    EXPECT_EQ(ws->ft_done, 1);
}

TEST(FtAction, AutoQAreaShowsTheCurvesFirstAndLastQ) {
    auto ws = makeWorkspace();
    setFilmCurve(*ws, 250.0, 0.03);
    ws->q_critical = 0.03;
    ws->q_min = 0.1;
    ws->q_max = 0.2;
    FtReport report = runFourierTransform(*ws, VACUUM);
    EXPECT_EQ(ws->q_min, ws->q_first);
    EXPECT_EQ(ws->q_max, ws->q_last);
    EXPECT_EQ(report.q_min_text, "0.02000000");
    EXPECT_EQ(report.q_max_text, formatText("%.8f", ws->q_last));

    ws->q_area = fourier::Q_AREA_MANUAL;
    ws->q_min = 0.1;
    report = runFourierTransform(*ws, VACUUM);
    EXPECT_EQ(ws->q_min, 0.1);
    EXPECT_EQ(report.q_min_text, "");
}

TEST(FtAction, RQ4ModeReportsOkWithoutTouchingTheEdgeFields) {
    auto ws = makeWorkspace();
    setFilmCurve(*ws, 250.0, 0.03);
    ws->q_critical = 0.03;
    ws->fringe_mode = fourier::FRINGE_RQ4;
    FtReport report = runFourierTransform(*ws, VACUUM);
    EXPECT_EQ(report.status.code, 0);
    EXPECT_EQ(report.status.message, "--->OK");
    EXPECT_FALSE(report.edgeFitted);
    EXPECT_EQ(ws->q_critical, 0.03);
    EXPECT_EQ(report.q_critical_text, "0.03000000");
    EXPECT_EQ(ws->constant, ws->r[ws->count - 2]);
}

TEST(FtAction, RefusalsLeaveTheLastResultsAndBlockSaving) {
    struct Case {
        const char* what;
        int count, bin_no;
        double d_max, q_min, q_max;
        std::string message;
    };
    double q5 = 0.02 + 0.0005 * 500;  // a manual range around this one point
    const Case cases[] = {
        {"no bins", 1000, 0, 1000.0, 0, 0, "--->Error, Bin_No must lie in 1..2000"},
        {"too many bins", 1000, 2001, 1000.0, 0, 0, "--->Error, Bin_No must lie in 1..2000"},
        {"d_max 0", 1000, 200, 0.0, 0, 0, "--->Error, d_max/Bin_No must be above 0"},
        {"d_max < 0", 1000, 200, -5.0, 0, 0, "--->Error, d_max/Bin_No must be above 0"},
        {"one-point window", 1000, 200, 1000.0, q5 - 1e-6, q5 + 1e-6,
         "--->Error, q window holds fewer than 2 points"},
        {"window beyond the curve", 1000, 200, 1000.0, 1.0, 2.0,
         "--->Error, q window holds fewer than 2 points"},
        {"no curve", 0, 200, 1000.0, 0, 0, "--->Error, no data loaded"},
    };
    for (const Case& c : cases) {
        auto ws = makeWorkspace();
        setFilmCurve(*ws, 250.0, 0.03);
        ws->q_critical = 0.03;
        ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
        auto ft = ws->ft;
        auto fringe = ws->fringe;
        ws->count = c.count;
        ws->bin_no = c.bin_no;
        ws->d_max = c.d_max;
        if (c.q_max > 0) {
            ws->q_area = fourier::Q_AREA_MANUAL;
            ws->q_min = c.q_min;
            ws->q_max = c.q_max;
        }
        FtReport report = runFourierTransform(*ws, VACUUM);
        EXPECT_EQ(report.status.code, 1) << c.what;
        EXPECT_EQ(report.status.message, c.message) << c.what;
        EXPECT_FALSE(report.transformed) << c.what;
        EXPECT_EQ(ws->ft_done, 0) << c.what;
        EXPECT_EQ(ws->ft, ft) << c.what;
        EXPECT_EQ(ws->fringe, fringe) << c.what;
        EXPECT_EQ(saveFourierResult(*ws).code, 1) << c.what;
    }
}

TEST(FtAction, HugeIntensitiesAreRefusedRatherThanStoredAsInfinity) {
    // Up to q = 8 (just below 4π/1.54), q^4 lifts 1e306 past the double range.
    auto ws = makeWorkspace();
    std::vector<double> q, r;
    for (int i = 0; i < 80; ++i) q.push_back(0.1 * (i + 1)), r.push_back(i < 60 ? 1e306 : 1.0);
    setCurve(*ws, q, r);
    ws->q_critical = 0.03;
    ws->fringe_mode = fourier::FRINGE_RQ4;
    FtReport report = runFourierTransform(*ws, VACUUM);
    EXPECT_EQ(report.status.message, "--->Error, fringe not finite");
    EXPECT_EQ(ws->ft_done, 0);
    for (int k = 0; k < ws->count; ++k) ASSERT_TRUE(std::isfinite(ws->fringe[k])) << k;
}

// ---------------------------------------------------------------------------------------------
// Save FT

TEST(FtFileName, ReplacesTheFileNamesExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data/film.dat", "/data/film.FT"},
        {"/data/film", "/data/film.FT"},
        {"/data.v2/film", "/data.v2/film.FT"},
        {"/data/a.b.dat", "/data/a.b.FT"},
        {"film.dat", "film.FT"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(ftFileName(in), out) << in;
}

class SaveFt : public ::testing::Test {
  protected:
    void SetUp() override {
        ws->i0 = 994243.0;
        ws->rough = 4.34;
        ws->constant = 3.7;
        ws->delta = 2.596729e-05;
        ws->beta_ratio = 0.1;
        ws->bin_no = 3;
        for (int b = 0; b < 3; ++b) {
            ws->ft_d[b] = 5.0 * (b + 1);
            for (int s = 0; s < FT_ROWS; ++s) ws->ft[s][b] = (s + 1) * 0.01 + b * 1e-4;
        }
        ws->ft_done = 1;
        ws->loaded_name = dir.file("film.dat");
    }
    const std::string header =
        " (Background Shape)  \n"
        " I0        = 994243.000  \n"
        " rough(A)  = 4.340  \n"
        " constant  = 3.700  \n"
        " delta     = 2.596729e-05  \n"
        " beta      = 2.596729e-06  \n"
        "\n"
        " (Fourier Transformed Thickness) \n"
        "    d(A)        Int(FT)  \n";
    test::TempDir dir;
    std::unique_ptr<FourierWorkspace> ws = makeWorkspace();
};

TEST_F(SaveFt, DftLayoutByteForByte) {
    EXPECT_EQ(fourierResultText(*ws), header +
                                          "        5.00  1.000000e-02\n"
                                          "       10.00  1.010000e-02\n"
                                          "       15.00  1.020000e-02\n");
}

TEST_F(SaveFt, WaveletLayoutStartsAtTheSecondBin) {
    ws->transform = fourier::TRANSFORM_WAVELET;
    EXPECT_EQ(fourierResultText(*ws),
              header +
                  "       10.00  2.010000e-02  3.010000e-02  4.010000e-02  5.010000e-02 \n"
                  "       15.00  2.020000e-02  3.020000e-02  4.020000e-02  5.020000e-02 \n");
}

TEST_F(SaveFt, WritesBesideTheCurveAndNamesTheFile) {
    Status s = saveFourierResult(*ws);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.message, dir.file("film.FT"));
    EXPECT_EQ(test::readText(dir.file("film.FT")), fourierResultText(*ws));
}

TEST_F(SaveFt, NothingHappensBeforeATransform) {
    ws->ft_done = 0;
    Status s = saveFourierResult(*ws);
    EXPECT_EQ(s.code, 1);
    EXPECT_EQ(s.message, "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("film.FT")));
}

TEST_F(SaveFt, AFileThatCannotBeWrittenGivesAMessageAndLeavesWhatWasThere) {
    // Permissions do not stop root, so block the name with a directory, and remove a directory.
    std::filesystem::create_directory(dir.file("film.FT"));
    test::writeText(dir.file("film.FT/keep"), "old");
    Status s = saveFourierResult(*ws);
    EXPECT_EQ(s.code, -1);
    EXPECT_EQ(s.message.rfind("--->Error can not write " + dir.file("film.FT"), 0), 0u)
        << s.message;
    EXPECT_EQ(test::readText(dir.file("film.FT/keep")), "old");

    ws->loaded_name = dir.file("gone/film.dat");
    EXPECT_EQ(saveFourierResult(*ws).code, -1);
}

TEST(SaveFtRows, BinNoRowsForDftAndOneFewerForWavelet) {
    auto ws = makeWorkspace();
    setModelCurve(*ws, 2.6e-5, 0.02, 4.0, 1e6, 1.0);
    ws->q_critical = 0.03;
    ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
    std::string text = fourierResultText(*ws);
    EXPECT_EQ(countLines(text), 9 + 200);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1, 14), "     1000.00  ");
    ws->transform = fourier::TRANSFORM_WAVELET;
    ASSERT_TRUE(runFourierTransform(*ws, VACUUM).transformed);
    text = fourierResultText(*ws);
    EXPECT_EQ(countLines(text), 9 + 199);
    EXPECT_NE(text.find("\n       10.00  "), std::string::npos);
    EXPECT_EQ(text.find("\n        5.00  "), std::string::npos);
}

}  // namespace
}  // namespace tolvi
