#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/text_io.h"
#include "fourier/edge_fit.h"
#include "fourier/fourier_workspace.h"
#include "fourier/thickness_transform.h"
#include "fourier_test_support.h"
#include "test_support.h"

namespace tolvi {
namespace {

using test::makeWorkspace;
using test::PI;
using test::qOfTheta;
using test::setCurve;
using test::setModelCurve;
using test::VACUUM;

class FourierReader : public ::testing::Test {
  protected:
    Status read(const std::string& text, int xType = fourier::X_THETA, int yType = 0) {
        test::writeText(dir.file("curve.dat"), text);
        ws->x_type = xType;
        ws->y_type = yType;
        return readFourierCurve(*ws, dir.file("curve.dat"));
    }
    // A good three-point curve, loaded first where a refusal must keep it.
    void loadEarlier() { ASSERT_EQ(read("0.1 10\n0.2 100\n0.3 1\n").code, 0); }
    void expectEarlierKept() {
        EXPECT_EQ(ws->count, 3);
        EXPECT_EQ(ws->r[1], 100.0);
        EXPECT_EQ(ws->theta[2], 0.3);
    }
    double thetaRad(double deg) { return deg * PI / 180.0; }

    test::TempDir dir;
    std::unique_ptr<FourierWorkspace> ws = makeWorkspace();
};

TEST(FourierWorkspaceStart, SettingsAreThePagesStartUpControls) {
    auto ws = makeWorkspace();
    EXPECT_EQ(ws->x_type, fourier::X_TWO_THETA);
    EXPECT_EQ(ws->y_type, fourier::Y_LINEAR);
    EXPECT_EQ(ws->q_area, fourier::Q_AREA_AUTO);
    EXPECT_EQ(ws->q_critical_mode, fourier::QC_MANUAL);
    EXPECT_EQ(ws->fringe_mode, fourier::FRINGE_R_RF);
    EXPECT_EQ(ws->transform, fourier::TRANSFORM_DFT);
    EXPECT_EQ(ws->lambda, 1.54);
    EXPECT_EQ(ws->d_max, 1000.0);
    EXPECT_EQ(ws->bin_no, 200);
    EXPECT_EQ(ws->ft_done, 0);
    for (const auto& row : ws->ft)
        for (double v : row) ASSERT_EQ(v, 0.0);
    EXPECT_STREQ(fourier::FRINGE_ITEMS[ws->fringe_mode], "(R-RF)*Q^4");
}

TEST_F(FourierReader, ThetaTwoThetaAndQAxesGiveTheSameCurve) {
    ASSERT_EQ(read("0.2 50\n0.4 30\n0.8 2\n").message, "--->OK");
    auto byTheta = std::make_unique<FourierWorkspace>(*ws);
    ASSERT_EQ(read("0.4 50\n0.8 30\n1.6 2\n", fourier::X_TWO_THETA).message, "--->OK");
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(ws->q[i], byTheta->q[i]);
        EXPECT_DOUBLE_EQ(ws->theta[i], byTheta->theta[i]);
    }
    std::string qs;
    for (int i = 0; i < 3; ++i) qs += formatText("%.17g %g\n", byTheta->q[i], byTheta->r[i]);
    ASSERT_EQ(read(qs, fourier::X_Q).message, "--->OK");
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(ws->theta[i], byTheta->theta[i], 1e-12);
    EXPECT_NEAR(byTheta->q[0], qOfTheta(0.2, 1.54), 1e-15);
}

TEST_F(FourierReader, LinearValuesAtOrBelowZeroAreRaisedTo1e12OfTheMaximum) {
    ASSERT_EQ(read("0.1 1000\n0.2 0\n0.3 -5\n0.4 1e-20\n0.5 2\n").code, 0);
    for (int i : {1, 2, 3}) {
        EXPECT_DOUBLE_EQ(ws->r[i], 1000.0 * 1e-12) << i;
        EXPECT_DOUBLE_EQ(ws->log_r[i], 3.0 - 12.0) << i;
    }
    EXPECT_EQ(ws->r[4], 2.0);
}

TEST_F(FourierReader, AllPositiveLinearValuesStayAsRead) {
    ASSERT_EQ(read("0.1 1000\n0.2 1e-20\n0.3 7\n").code, 0);
    EXPECT_EQ(ws->r[1], 1e-20);
    EXPECT_EQ(ws->log_r[1], -20.0);
}

TEST_F(FourierReader, LogDataUpTo20AreAcceptedAndAbove20Refused) {
    ASSERT_EQ(read("0.1 20.0\n0.2 3\n0.3 1\n", 0, fourier::Y_LOG).code, 0);
    EXPECT_DOUBLE_EQ(ws->r[0], 1e20);
    EXPECT_EQ(ws->log_r[1], 3.0);
    loadEarlier();
    Status s = read("0.1 20.5\n0.2 3\n0.3 1\n", 0, fourier::Y_LOG);
    EXPECT_EQ(s.code, 1);
    EXPECT_EQ(s.message, "--->Error, Check data y type");
    expectEarlierKept();
}

TEST_F(FourierReader, MaxDataKeepsTheFirst2000PointsWithAWarning) {
    std::string text;
    for (int i = 0; i < 2500; ++i)
        text += formatText("%g %g\n", 0.01 + 0.001 * i, 1000.0 - i * 0.1);
    Status s = read(text);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.message, "--->Warning, MAX_DATA reached");
    EXPECT_EQ(ws->count, 2000);
    EXPECT_NEAR(ws->theta[1999], 0.01 + 0.001 * 1999, 1e-12);
    EXPECT_EQ(ws->q_last, ws->q[1999]);
}

TEST_F(FourierReader, HalfMaximumEdgeUsesTheLastPointAboveHalfAndStartValues) {
    // Maximum 100 at 0.2; above half (50): 80 at 0.3 and, after a dip, 60 at 0.5 - the last one
    // counts, interpolated toward 10 at 0.6: 0.5 + (50 - 60)/(10 - 60) * 0.1 = 0.52.
    ASSERT_EQ(read("0.1 10\n0.2 100\n0.3 80\n0.4 30\n0.5 60\n0.6 10\n").message, "--->OK");
    double thetaC = thetaRad(0.52);
    EXPECT_NEAR(ws->q_critical, 4.0 * PI * thetaC / 1.54, 1e-14);
    EXPECT_NEAR(ws->delta, thetaC * thetaC / 2.0, 1e-18);
    EXPECT_EQ(ws->i0, 100.0);
    EXPECT_EQ(ws->rough, 5.0);
    EXPECT_EQ(ws->constant, 10.0);
    EXPECT_EQ(ws->beta_ratio, 0.001);
    EXPECT_EQ(ws->start, 0);
    EXPECT_EQ(ws->end, 5);
    EXPECT_EQ(ws->q_first, ws->q[0]);
    EXPECT_EQ(ws->q_min, ws->q[0]);
    EXPECT_EQ(ws->q_max, ws->q[5]);
}

TEST_F(FourierReader, TheFirstOfEqualMaximaIsTheMaximum) {
    // From the first 10 the last point above 5 is the second 10, so the edge lies between 0.4 and
    // 0.5; from the second, no later point is above half and the reader would warn.
    Status s = read("0.1 1\n0.2 10\n0.3 2\n0.4 10\n0.5 1\n");
    EXPECT_EQ(s.message, "--->OK");
    double thetaC = thetaRad(0.4 + (5.0 - 10.0) / (1.0 - 10.0) * 0.1);
    EXPECT_NEAR(ws->q_critical, 4.0 * PI * thetaC / 1.54, 1e-14);
}

TEST_F(FourierReader, EdgeFallbacksWarnAndStayFinite) {
    struct Case {
        const char* text;
        const char* message;
        double thetaC;  // degrees
    };
    const Case cases[] = {
        // Nothing after the maximum is above half: the maximum is the last point above it.
        {"0.1 1\n0.2 100\n0.3 10\n0.4 5\n",
         "--->Warning, no point above half maximum after the maximum",
         0.2 + (50.0 - 100.0) / (10.0 - 100.0) * 0.1},
        // The curve stays above half to its end: nothing to interpolate toward.
        {"0.1 60\n0.2 100\n0.3 80\n0.4 70\n",
         "--->Warning, half maximum not reached, edge set at the last point", 0.4},
        // The maximum is the last point.
        {"0.1 1\n0.2 2\n0.3 3\n",
         "--->Warning, half maximum not reached, edge set at the last point", 0.3},
    };
    for (const Case& c : cases) {
        Status s = read(c.text);
        EXPECT_EQ(s.code, 0) << c.text;
        EXPECT_EQ(s.message, c.message) << c.text;
        EXPECT_NEAR(ws->q_critical, 4.0 * PI * thetaRad(c.thetaC) / 1.54, 1e-14) << c.text;
        EXPECT_TRUE(std::isfinite(ws->delta));
    }
}

TEST_F(FourierReader, BlankAndCommentLinesAreSkipped) {
    ASSERT_EQ(read("# an ORSO-style header\n  # Qz R sR\n\n0.1 10 extra\n   \n0.2,100 ; peak\n"
                   "0.3\t80\n0.4 1\n")
                  .message,
              "--->OK");
    EXPECT_EQ(ws->count, 4);
    EXPECT_EQ(ws->r[1], 100.0);
}

TEST_F(FourierReader, ContentFaultsAreRefusedAndKeepTheEarlierCurve) {
    struct Case {
        std::string text;
        int xType;
        int yType;
        std::string message;
    };
    const Case cases[] = {
        {"0.1 10\n0.2 100\n0.3\n0.4 1\n", 0, 0, "--->Error, x and y expected in "},
        {"", 0, 0, "--->Error, fewer than 2 data points in "},
        {"\n0.1 10 ; one point\n", 0, 0, "--->Error, fewer than 2 data points in "},
        {"0.1 0\n0.2 1e-10\n0.3 -4\n", 0, 0, "--->Error, no intensity above 1e-10"},
        {"0.05 1\n9.0 1\n", fourier::X_Q, 0, "--->Error, q beyond 4pi/lambda in "},
        {"0.1 -400\n0.2 -500\n", 0, fourier::Y_LOG, "--->Error, no intensity above 0"},
    };
    for (const Case& c : cases) {
        loadEarlier();
        Status s = read(c.text, c.xType, c.yType);
        EXPECT_EQ(s.code, 1) << c.text;
        EXPECT_EQ(s.message.rfind(c.message, 0), 0u) << s.message;
        expectEarlierKept();
    }
    loadEarlier();
    Status s = read("0.1 10\n0.2 100\n0.3\n0.4 1\n");
    EXPECT_NE(s.message.find("line 3"), std::string::npos) << s.message;
}

TEST_F(FourierReader, MissingFileIsRefusedAndKeepsTheEarlierCurve) {
    loadEarlier();
    Status s = readFourierCurve(*ws, dir.file("none.dat"));
    EXPECT_EQ(s.code, 1);
    EXPECT_EQ(s.message, "--->Error, cant find data");
    expectEarlierKept();
}

TEST_F(FourierReader, WavelengthAtOrBelowZeroIsRefused) {
    for (double lambda : {0.0, -1.54}) {
        loadEarlier();
        ws->lambda = lambda;
        Status s = read("0.1 10\n0.2 100\n0.3 1\n0.4 1\n");
        EXPECT_EQ(s.code, 1);
        EXPECT_EQ(s.message, "--->Error, lambda must be above 0");
        expectEarlierKept();
        ws->lambda = 1.54;
    }
}

TEST_F(FourierReader, NormalisedLogReflectivitiesFindTheirMaximum) {
    // All log values at or below 0: none exceeds 1e-10, the largest (-0.1) is still the maximum.
    ASSERT_EQ(read("0.1 -0.5\n0.2 -0.1\n0.3 -0.2\n0.4 -3\n0.5 -4\n", 0, fourier::Y_LOG).code, 0);
    EXPECT_DOUBLE_EQ(ws->i0, std::pow(10.0, -0.1));
    EXPECT_TRUE(std::isfinite(ws->q_critical));
    EXPECT_GT(ws->q_critical, ws->q[1]);
}

TEST_F(FourierReader, NotANumberThrowsWithItsLine) {
    try {
        (void)read("0.1 10\n0.2 1O0\n");
        FAIL() << "no NumberError";
    } catch (const NumberError& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    }
}

TEST_F(FourierReader, TemplateDataIsThetaLinearAt154) {
    ws->x_type = fourier::X_Q;
    ws->y_type = fourier::Y_LOG;
    ws->lambda = 1.0;
    ws->ft_done = 1;
    std::string programDir = std::string(TOLVI_SOURCE_DIR) + "/";
    Status s = loadFourierTemplate(*ws, programDir);
    EXPECT_EQ(s.message, "--->OK");
    EXPECT_EQ(ws->x_type, fourier::X_THETA);
    EXPECT_EQ(ws->y_type, fourier::Y_LINEAR);
    EXPECT_EQ(ws->lambda, 1.54);
    EXPECT_EQ(ws->ft_done, 0);
    EXPECT_EQ(ws->file_path, programDir + "template/template.dat");
    EXPECT_EQ(ws->loaded_name, ws->file_path);
    EXPECT_EQ(ws->file_dir, programDir);
    EXPECT_GT(ws->count, 500);
}

TEST_F(FourierReader, LoadDataNeedsTheWavelengthAndReusesTheFileOnCancel) {
    test::writeText(dir.file("a.dat"), "0.1 10\n0.2 100\n0.3 1\n");
    ws->ft_done = 1;
    Status s = loadFourierData(*ws, dir.file("a.dat"), "");
    EXPECT_EQ(s.message, "--->Error set lamda");
    EXPECT_EQ(ws->count, 0);
    EXPECT_EQ(ws->ft_done, 0);
    EXPECT_EQ(ws->file_path, dir.file("a.dat"));
    EXPECT_EQ(ws->file_dir, dir.path() + "/");

    ASSERT_EQ(loadFourierData(*ws, "", "1.0").code, 0);  // dialog cancelled
    EXPECT_EQ(ws->loaded_name, dir.file("a.dat"));
    EXPECT_EQ(ws->lambda, 1.0);
    EXPECT_DOUBLE_EQ(ws->q[1], qOfTheta(0.1, 1.0));  // 2θ = 0.2 on the page's start-up axis
    EXPECT_THROW((void)loadFourierData(*ws, "", "1,0"), NumberError);
}

// ---------------------------------------------------------------------------------------------
// q window

TEST(QWindow, SelectsPointsAboveTheEdgeWithinTheBounds) {
    auto ws = makeWorkspace();
    std::vector<double> q, r;
    for (int i = 0; i < 10; ++i) q.push_back(0.01 * (i + 1)), r.push_back(1.0);
    setCurve(*ws, q, r);
    ws->q_critical = 0.025;
    ws->q_min = 0.035;
    ws->q_max = 0.075;
    ws->start = 0;
    ws->end = 9;
    selectQWindow(*ws);
    EXPECT_EQ(ws->q_film[1], 0.0);
    EXPECT_DOUBLE_EQ(ws->q_film[2], std::sqrt(0.03 * 0.03 - 0.025 * 0.025));
    EXPECT_EQ(ws->start, 3);  // 0.04: the first at or above q_min
    EXPECT_EQ(ws->end, 6);    // 0.07: the last below q_max
    EXPECT_EQ(ws->n_window, 4);
    EXPECT_TRUE(windowStatus(*ws).ok());

    ws->q_min = 1.0;  // nothing qualifies: end keeps its value, start passes the last point
    selectQWindow(*ws);
    EXPECT_EQ(ws->start, 10);
    EXPECT_EQ(ws->end, 6);
    EXPECT_EQ(windowStatus(*ws).message, "--->Error, q window holds fewer than 2 points");
}

// ---------------------------------------------------------------------------------------------
// Critical-edge fit

TEST(EdgeFit, ParameterRecordsHoldTheBoundsAndSteps) {
    for (int mode : {fourier::QC_FIT, fourier::QC_MANUAL}) {
        auto p = edgeFitParams(mode);
        EXPECT_EQ(p[0].fixed, mode == fourier::QC_MANUAL ? 1 : 0);
        const double lo[] = {1e-7, 0.0, 0.1, 0.0}, hi[] = {0.001, 0.1, 50.0, 0.0};
        const double step[] = {1e-8, 1e-4, 0.01, 0.001};
        for (int i = 0; i < EDGE_PARAMS; ++i) {
            EXPECT_EQ(p[i].limited[0], 1) << i;
            EXPECT_EQ(p[i].limited[1], i < 3 ? 1 : 0) << i;
            EXPECT_EQ(p[i].limits[0], lo[i]) << i;
            EXPECT_EQ(p[i].limits[1], hi[i]) << i;
            EXPECT_EQ(p[i].step, step[i]) << i;
            EXPECT_EQ(p[i].relStep, 0.0);
            EXPECT_EQ(p[i].side, 0);
        }
        EXPECT_EQ(p[1].fixed, 0);
        EXPECT_EQ(p[2].fixed, 0);
        EXPECT_EQ(p[3].fixed, 1);
    }
}

TEST(EdgeFit, SmoothFilmUnderVacuumIsTheFresnelCurve) {
    auto ws = makeWorkspace();
    setModelCurve(*ws, 2.5e-5, 0.05, 0.0, 1e6, 3.0);
    double k = 2.0 * PI / ws->lambda;
    std::complex<double> n1(1.0 - 2.5e-5, 2.5e-5 * 0.05);
    for (int j = 0; j < ws->count; j += 37) {
        double th = ws->theta[j] * PI / 180.0;
        double kz0 = k * std::sin(th);
        std::complex<double> kz1 = k * std::sqrt(n1 * n1 - std::cos(th) * std::cos(th));
        double fresnel = 1e6 * std::norm((kz0 - kz1) / (kz0 + kz1)) + 3.0;
        EXPECT_NEAR(ws->r_model[j] / fresnel, 1.0, 1e-9) << j;
        EXPECT_DOUBLE_EQ(ws->log_r_model[j], std::log10(ws->r_model[j]));
    }
}

TEST(EdgeFit, ThetaZeroIsEvaluatedAt1e5Degrees) {
    auto ws = makeWorkspace();
    ws->count = 2;
    ws->theta[0] = 0.0;
    ws->theta[1] = 1e-5;
    ws->delta = 2e-5;
    ws->beta_ratio = 0.01;
    ws->rough = 3.0;
    ws->i0 = 10.0;
    computeEdgeModel(*ws, VACUUM);
    EXPECT_TRUE(std::isfinite(ws->r_model[0]));
    EXPECT_EQ(ws->r_model[0], ws->r_model[1]);
}

TEST(EdgeFit, RoughSurfaceWithoutBackgroundStaysFinite) {
    auto ws = makeWorkspace();
    setModelCurve(*ws, 2.5e-5, 0.01, 50.0, 1.0, 0.0);  // |r|^2 far below the double range
    for (int j = 0; j < ws->count; ++j) ASSERT_TRUE(std::isfinite(ws->log_r_model[j])) << j;
    EXPECT_GT(ws->r_model[ws->count - 1], 0.0);
}

TEST(EdgeFit, ResidualsAreZeroOutsideTheWindow) {
    auto ws = makeWorkspace();
    setModelCurve(*ws, 2.5e-5, 0.01, 4.0, 1e6, 1.0);
    ws->rough = 6.0;  // a model off the data
    computeEdgeModel(*ws, VACUUM);
    ws->start = 40;
    ws->end = 300;
    std::vector<double> res(ws->count);
    edgeResiduals(*ws, res.data());
    for (int k = 0; k < ws->count; ++k) {
        if (k < 40 || k >= 300)
            ASSERT_EQ(res[k], 0.0) << k;
        else
            ASSERT_EQ(res[k], ws->log_r[k] - ws->log_r_model[k]) << k;
    }
    EXPECT_NE(res[299], 0.0);
}

// A synthetic curve of known edge, fitted from a q_critical that is 10 % off.
class EdgeFitRun : public ::testing::Test {
  protected:
    void SetUp() override {
        setModelCurve(*ws, trueDelta, 0.02, trueRough, 1e6, 1.0);
        ws->q_min = ws->q_first;
        ws->q_max = ws->q_last;
        ws->start = 0;
        ws->end = ws->count - 1;
        ws->beta_ratio = 0.001;
        ws->rough = 5.0;
        ws->q_critical = 1.1 * std::sqrt(2.0 * trueDelta) * 4.0 * PI / ws->lambda;
        ws->delta = deltaFromQCritical(ws->q_critical, ws->lambda);
        ws->q_critical_mode = fourier::QC_FIT;
    }
    const double trueDelta = 2.6e-5;
    const double trueRough = 6.0;
    std::unique_ptr<FourierWorkspace> ws = makeWorkspace();
};

TEST_F(EdgeFitRun, FitModeFindsTheEdgeOfTheCurve) {
    Status s = fitCriticalEdge(*ws, VACUUM);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.message, "--->OK");
    // The background is held at r[end-1], a little above the true one, so allow a little.
    EXPECT_NEAR(ws->delta / trueDelta, 1.0, 2e-3);
    EXPECT_NEAR(ws->rough, trueRough, 0.05);
    EXPECT_DOUBLE_EQ(ws->q_critical, std::sqrt(2.0 * ws->delta) * 4.0 * PI / ws->lambda);
    for (int k = 0; k < ws->count; ++k) {
        double d = ws->q[k] * ws->q[k] - ws->q_critical * ws->q_critical;
        ASSERT_EQ(ws->q_film[k], d > 0.0 ? std::sqrt(d) : 0.0) << k;
    }
}

TEST_F(EdgeFitRun, PointsOutsideTheWindowDoNotInfluenceTheFit) {
    ws->q_area = fourier::Q_AREA_MANUAL;
    ws->q_min = 0.06;
    ws->q_max = 0.3;
    auto reference = std::make_unique<FourierWorkspace>(*ws);
    ASSERT_EQ(fitCriticalEdge(*reference, VACUUM).code, 0);

    for (int k = 0; k < ws->count; ++k)
        if (ws->q[k] < 0.06 || ws->q[k] >= 0.3) ws->r[k] *= 3.0, ws->log_r[k] += std::log10(3.0);
    ASSERT_EQ(fitCriticalEdge(*ws, VACUUM).code, 0);
    EXPECT_EQ(ws->start, reference->start);
    EXPECT_EQ(ws->end, reference->end);
    EXPECT_EQ(ws->delta, reference->delta);
    EXPECT_EQ(ws->beta_ratio, reference->beta_ratio);
    EXPECT_EQ(ws->rough, reference->rough);
    EXPECT_GT(ws->r_model[0], 0.0);  // the model covers every point all the same
    EXPECT_EQ(ws->r_model[0], reference->r_model[0]);
}

TEST_F(EdgeFitRun, ManualModeHoldsDeltaAndTheFieldGrowsByTheFormulasFactor) {
    ws->q_critical_mode = fourier::QC_MANUAL;
    double typed = 0.03;
    ws->q_critical = typed;
    FtReport report = runFourierTransform(*ws, VACUUM);
    ASSERT_EQ(report.status.message, "--->OK");
    EXPECT_EQ(ws->delta, deltaFromQCritical(typed, ws->lambda));
    // 0.07958 * 17.7715 / sqrt(2): the two rounded constants do not quite invert each other.
    double factor = 0.07958 * 17.7715 / std::sqrt(2.0);
    EXPECT_NEAR(factor, 1.0000300, 1e-7);
    EXPECT_NEAR(ws->q_critical, typed * factor, 1e-15);
    EXPECT_EQ(report.q_critical_text, qFieldText(ws->q_critical));
    EXPECT_EQ(report.q_critical_text, "0.03000090");
    EXPECT_TRUE(report.edgeFitted);
    EXPECT_EQ(report.density_text, densityText(*ws));
}

TEST_F(EdgeFitRun, RefusedStartShowsTheEngineTextAndTheModelAtTheStartValues) {
    ASSERT_EQ(runFourierTransform(*ws, VACUUM).status.code, 0);  // leaves a fitted model behind
    std::vector<double> earlier(ws->r_model.begin(), ws->r_model.begin() + ws->count);

    ws->q_critical = 0.002;  // delta = 3.0e-8, below its bound 1e-7
    double beta = ws->beta_ratio, rough = ws->rough;
    FtReport report = runFourierTransform(*ws, VACUUM);
    EXPECT_EQ(report.status.code, -21);
    EXPECT_EQ(report.status.message, "-->Error Init val constraints");
    EXPECT_TRUE(report.transformed);
    EXPECT_EQ(ws->ft_done, 1);
    EXPECT_EQ(ws->delta, deltaFromQCritical(0.002, ws->lambda));
    EXPECT_EQ(ws->beta_ratio, beta);
    EXPECT_EQ(ws->rough, rough);
    EXPECT_EQ(ws->constant, ws->r[ws->end - 1]);

    auto fresh = std::make_unique<FourierWorkspace>(*ws);
    computeEdgeModel(*fresh, VACUUM);
    int changed = 0;
    for (int k = 0; k < ws->count; ++k) {
        ASSERT_EQ(ws->r_model[k], fresh->r_model[k]) << k;
        changed += ws->r_model[k] != earlier[k];
    }
    EXPECT_GT(changed, ws->count / 2);
    for (int k = ws->start; k < ws->end; ++k) {
        double taper = 0.5 - 0.5 * std::cos(2.0 * PI * (k - ws->start) / ws->n_window);
        double q4 = std::pow(ws->q_film[k], 4);
        ASSERT_NEAR(ws->fringe[k], (ws->r[k] - ws->r_model[k]) * q4 * taper,
                    1e-12 * std::fabs(ws->r[k] * q4) + 1e-300)
            << k;
    }
}

TEST(EdgeFitTexts, DensityAndRoughnessInThreeDecimals) {
    auto ws = makeWorkspace();
    ws->delta = 2.0e-5;
    ws->rough = 4.1236;
    EXPECT_EQ(densityText(*ws), formatText("%.3f", 2.0e-5 * 0.8228e6 / (1.54 * 1.54)));
    EXPECT_EQ(densityText(*ws), "6.939");
    EXPECT_EQ(roughnessText(*ws), "4.124");
    EXPECT_DOUBLE_EQ(edgeQCritical(*ws), std::sqrt(2.0e-5) * 17.7715 / 1.54);
}

}  // namespace
}  // namespace tolvi
