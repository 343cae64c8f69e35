// Measured data as instruments deliver it: errors from the data file, relative finite-difference
// steps, a fronting medium given as an SLD, materials made from SLDs and the SLD profile, and the
// warnings at the end of a fit. The synthetic neutron film of examples/neutron (true model in
// tools/make_neutron_example.py) is the known answer.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/text_io.h"
#include "fit/fit_runs.h"
#include "model/data_file.h"
#include "physics/material_calc.h"
#include "physics/optics.h"
#include "physics/profile.h"
#include "test_support.h"

namespace tolvi {
namespace {

const std::string EXAMPLE = std::string(TOLVI_SOURCE_DIR) + "/examples/neutron/";

// The true film (tools/make_neutron_example.py): density 1 (SLD 3.5), 180 Å, roughness 6 Å.
constexpr double TRUE_RHO = 1.0, TRUE_T = 180.0, TRUE_SIG = 6.0;

DataOptions optionsOf(ErrorSource errors, StepRule steps) {
    DataOptions options;
    options.errors = errors;
    options.steps = steps;
    return options;
}

class RealData : public ::testing::Test {
  protected:
    // The example's parameter file, with or without the options real data need.
    Status loadExample(bool realDataOptions, const std::string& par = EXAMPLE + "film.par") {
        if (realDataOptions) {
            store->dataOptions.fill(optionsOf(ErrorSource::Data, StepRule::Relative));
            store->ambientSld = {true, 2.07, 0.0};
        }
        return loadParamSlot(*store, par);
    }
    FitReport fit() { return runFit(*store, *state, *ga, {}); }
    // The fitted value and error of parameter k.
    double x(int k) const { return state->list.x[k]; }
    double error(int k) const { return state->list.xerror[k]; }

    std::unique_ptr<ModelStore> store = test::makeStore();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();
    test::TempDir dir;
};

TEST_F(RealData, TheNeutronFilmIsRecoveredWithTheOptionsForSuchData) {
    ASSERT_TRUE(loadExample(true).succeeded());
    FitReport r = fit();
    ASSERT_GT(r.status, 0) << r.statusText;
    // Parameters: bg, then the film's rho, t and sig.
    int dof = r.result.nfunc - r.result.nfree;
    EXPECT_NEAR(r.result.bestnorm / dof, 1.0, 0.2) << "chi2/DOF";
    const double truth[] = {1e-7, TRUE_RHO, TRUE_T, TRUE_SIG};
    for (int k = 0; k < 4; ++k) {
        EXPECT_GT(error(k), 0.0) << k;
        EXPECT_LT(std::fabs(x(k) - truth[k]), 3.0 * error(k)) << k << ": " << x(k);
    }
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
}

// Why the options exist: the same data with the program's classic settings.
TEST_F(RealData, WithoutThemTheFitOfTheSameDataFails) {
    ASSERT_TRUE(loadExample(false).succeeded());
    FitReport r = fit();
    ASSERT_GT(r.status, 0);
    int dof = r.result.nfunc - r.result.nfree;
    EXPECT_GT(r.result.bestnorm / dof, 5.0) << "the fronting medium is missing";
    EXPECT_GT(std::fabs(x(2) - TRUE_T), 10.0) << "the thickness stays near its start";
}

// Fixed steps (0.02 for the q offset, 0.1 for a background of 1e-7) against relative ones, with
// the data's errors in both: only the relative steps find the film.
TEST_F(RealData, RelativeStepsFitWhereTheFixedStepsFail) {
    std::string par = test::readText(EXAMPLE + "film.par");
    const std::string shift = "0.000000e+00    0  -1.000000e-03  1.000000e-03";
    ASSERT_NE(par.find(shift), std::string::npos);
    par.replace(par.find(shift), shift.size(), "1.000000e-04    1  -1.000000e-03  1.000000e-03");
    for (const char* file : {"d2o.mf", "film.mf", "film.dat"})
        test::writeText(dir.file(file), test::readText(EXAMPLE + file));
    test::writeText(dir.file("film.par"), par);

    std::vector<double> thickness, thicknessError;
    for (StepRule steps : {StepRule::Fixed, StepRule::Relative}) {
        store = test::makeStore();
        store->dataOptions.fill(optionsOf(ErrorSource::Data, steps));
        store->ambientSld = {true, 2.07, 0.0};
        ASSERT_TRUE(loadParamSlot(*store, dir.file("film.par")).succeeded());
        FitReport r = fit();
        ASSERT_GT(r.status, 0);
        thickness.push_back(x(3));  // x0_shift, bg, rho, t, sig
        thicknessError.push_back(error(3));
    }
    EXPECT_GT(std::fabs(thickness[0] - TRUE_T), 5.0 * thicknessError[0]) << thickness[0];
    EXPECT_LT(std::fabs(thickness[1] - TRUE_T), 3.0 * thicknessError[1]) << thickness[1];
}

// The residuals with data errors: (y - calc) / dy, with y as read (a background-subtracted value
// at or below 0 keeps its weight), the same from a linear file and from its log10 form.
TEST_F(RealData, ErrorsOfLinearAndLogFilesGiveTheSameResiduals) {
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    std::string layer = test::blockText("S Si.mf", {2.33, 0.0, 3.0});
    std::string lin, log;
    const double ys[] = {100.0, 12.5, 0.8}, dys[] = {10.0, 1.5, 0.2};
    for (int i = 0; i < 3; ++i) {
        double x = 0.5 + 0.5 * i;
        lin += formatText("%.17g %.17g %.17g\n", x, ys[i], dys[i]);
        // σ of log10 y = dy / (y ln 10)
        log += formatText("%.17g %.17g %.17g\n", x, std::log10(ys[i]),
                          dys[i] / (ys[i] * std::log(10.0)));
    }
    lin += "2.0 -0.5 0.25\n";  // below 0 after a background subtraction
    test::writeText(dir.file("lin.dat"), lin);
    test::writeText(dir.file("log.dat"), log);
    test::writeText(dir.file("lin.par"), test::headerText(1, 0, 0, 0, 1.54, "lin.dat") + layer);
    test::writeText(dir.file("log.par"), test::headerText(1, 1, 0, 0, 1.54, "log.dat") + layer);
    std::vector<std::vector<double>> residuals;
    for (const char* par : {"lin.par", "log.par"}) {
        store = test::makeStore();
        store->dataOptions.fill(optionsOf(ErrorSource::Data, StepRule::Fixed));
        ASSERT_TRUE(loadParamSlot(*store, dir.file(par)).succeeded()) << par;
        const DataSet& d = store->dataSet(0);
        std::vector<double> r;
        for (int p = 0; p < d.npoints; ++p) r.push_back(pointResidual(*store, 0, p));
        residuals.push_back(r);
    }
    ASSERT_EQ(residuals[0].size(), 4u);
    for (int p = 0; p < 3; ++p) {
        EXPECT_NEAR(residuals[1][p], residuals[0][p], 1e-12 * std::fabs(residuals[0][p])) << p;
        double calc = store->dataSet(0).calcLin[p];
        EXPECT_NEAR(residuals[0][p], (ys[p] - calc) / dys[p], 1e-12 * std::fabs(residuals[0][p]));
    }
    store = test::makeStore();
    store->dataOptions.fill(optionsOf(ErrorSource::Data, StepRule::Fixed));
    ASSERT_TRUE(loadParamSlot(*store, dir.file("lin.par")).succeeded());
    EXPECT_EQ(pointResidual(*store, 0, 3), (-0.5 - store->dataSet(0).calcLin[3]) / 0.25);
}

TEST_F(RealData, ErrorsThatCannotServeAreRefusedAndZeroErrorsLeftOut) {
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
    std::string layer = test::blockText("S Si.mf", {2.33, 0.0, 3.0});
    struct Case {
        const char* data;
        const char* message;  // "" for a number error naming the line
    };
    const Case refused[] = {
        {"0.5 100 10\n# a comment\n1.0 10\n", "--->Error, no error of y in column 3"},
        {"0.5 100 10\n\n1.0 10 -1\n", "--->Error, negative error of y"},
        {"0.5 100 10\n1.0 10 nan\n", ""},
    };
    for (const Case& c : refused) {
        test::writeText(dir.file("d.dat"), c.data);
        test::writeText(dir.file("a.par"), test::headerText(1, 0, 0, 0, 1.54, "d.dat") + layer);
        store = test::makeStore();
        store->dataOptions.fill(optionsOf(ErrorSource::Data, StepRule::Fixed));
        try {
            Status s = loadParamSlot(*store, dir.file("a.par"));
            EXPECT_EQ(s.outcome, Outcome::FileRefused) << c.data;
            EXPECT_EQ(s.message,
                      std::string(c.message) + " (in " + dir.file("d.dat") + ", line 3)");
        } catch (const NumberError& e) {
            EXPECT_EQ(std::string(c.message), "") << e.what();
            EXPECT_NE(std::string(e.what()).find(dir.file("d.dat") + ", line 2"), std::string::npos)
                << e.what();
        }
        // The classic error model reads two numbers and loads the same files as before.
        store = test::makeStore();
        EXPECT_TRUE(loadParamSlot(*store, dir.file("a.par")).succeeded()) << c.data;
    }

    test::writeText(dir.file("d.dat"), "0.5 100 10\n0.7 50 0\n1.0 10 1\n1.2 5 0\n");
    store = test::makeStore();
    store->dataOptions.fill(optionsOf(ErrorSource::Data, StepRule::Fixed));
    Status s = loadParamSlot(*store, dir.file("a.par"));
    EXPECT_EQ(s.outcome, Outcome::Warning);
    EXPECT_EQ(s.message, "--->Warning, 2 points with an error of 0 left out");
    EXPECT_EQ(store->dataSet(0).npoints, 2);
    EXPECT_EQ(store->dataSet(0).xData[1], 1.0);
}

TEST_F(RealData, TheFrontingMediumAsAnSldFollowsEachSlotsWavelength) {
    store->ambientSld = {true, 2.07, 0.5};
    for (double lamd : {1.54, 5.0}) {
        store->dataSet(0).lamd = lamd;
        Medium m = ambientOf(*store, 0);
        EXPECT_NEAR(m.delta, lamd * lamd * 2.07e-6 / (2.0 * M_PI), 1e-15 * m.delta);
        EXPECT_NEAR(m.beta, lamd * lamd * 0.5e-6 / (2.0 * M_PI), 1e-15 * m.beta);
    }
    ASSERT_TRUE(setAmbient(*store, 1e-6, 0.0).ok());
    EXPECT_FALSE(store->ambientSld.given) << "the medium given by delta and beta replaces it";
    EXPECT_EQ(ambientOf(*store, 0).delta, 1e-6);
}

// A material file made from an SLD, or from δ and β, gives that medium at density 1, for both
// probes; its flat SLD profile is the SLD.
TEST_F(RealData, MaterialsFromAnSldGiveItExactlyAtDensityOne) {
    struct Case {
        double re, im, lamd;
    };
    for (Case c : {Case{2.07, 0.0, 5.0}, Case{6.36, 0.01, 1.8}, Case{-0.56, 0.3, 1.54}}) {
        Medium wanted = mediumOfSld(c.re, c.im, c.lamd);
        MaterialResult made = materialOfMedium(wanted, c.lamd);
        ASSERT_TRUE(made.status.ok()) << made.status.message;
        test::writeText(dir.file("m.mf"), mediumFileText(made.values, "test"));
        for (int probe : {0, 1}) {
            store = test::makeStore();
            store->paramDir = dir.path() + "/";
            store->dataSet(0).lamd = c.lamd;
            store->dataSet(0).probe = probe;
            LayerEntry& e = store->layerModel(0).entries[0];
            e.material.assign("m.mf");
            e.rho.value = 1.0;
            ASSERT_TRUE(readMaterial(*store, 0, 0).ok());
            EXPECT_NEAR(e.medium.delta, wanted.delta, 1e-15 * std::fabs(wanted.delta)) << probe;
            EXPECT_NEAR(e.medium.beta, wanted.beta, 1e-15 * std::fabs(wanted.beta) + 1e-300)
                << probe;
            store->layerModel(0).slabs[0] = e;
            store->layerModel(0).slabs[0].sig.value = 3.0;  // the profile starts 30 Å deep
            store->layerModel(0).layall = 1;
            ASSERT_GT(computeSldProfile(*store, 0), 0);
            EXPECT_NEAR(store->profileSldRe[0], c.re, 1e-13 * std::fabs(c.re));
            EXPECT_NEAR(store->profileSldIm[0], c.im, 1e-13);
        }
    }
    EXPECT_FALSE(materialOfMedium({1e-6, -1e-8}, 1.54).status.ok()) << "a medium with gain";
    EXPECT_FALSE(materialOfMedium({1e-6, 0.0}, 0.0).status.ok());
}

TEST_F(RealData, TheSldProfileOfTheFilmSteps) {
    store->ambientSld = {true, 2.07, 0.0};
    ASSERT_TRUE(loadExample(false).succeeded());
    int n = computeSldProfile(*store, 0);
    ASSERT_GT(n, 10);
    // Deep in the D2O, in the film's middle (its start value, 0.9 of SLD 3.5), above the film.
    auto at = [&](double z) {
        int best = 0;
        for (int i = 0; i < n; ++i)
            if (std::fabs(store->profileZ[i] - z) < std::fabs(store->profileZ[best] - z)) best = i;
        return store->profileSldRe[best];
    };
    EXPECT_NEAR(at(-30.0), 6.36, 1e-6);
    EXPECT_NEAR(at(82.5), 0.9 * 3.5, 1e-6);
    EXPECT_NEAR(at(store->profileZ[n - 1]), 0.0, 1e-6) << "the profile ends in the fronting medium";
}

TEST_F(RealData, AFitThatEndsOnABoundOrMovesNothingSaysSoByName) {
    ASSERT_TRUE(loadExample(true).succeeded());
    // The film's thickness held below its truth: the fit pushes it to its upper bound.
    LayerEntry& film = store->layerModel(0).entries[1];
    film.t.max = 170.0;
    film.t.value = 165.0;
    FitReport r = fit();
    ASSERT_GT(r.status, 0);
    ASSERT_EQ(r.warnings.size(), 1u) << r.warnings[0];
    EXPECT_EQ(r.warnings[0], "--->Warning, 1 parameter at a bound: row 2 film t (max)");

    store = test::makeStore();
    ASSERT_TRUE(loadExample(false).succeeded());
    DataSet& d = store->dataSet(0);
    d.bg.fit = 0;
    store->layerModel(0).entries[1].rho.fit = 0;
    store->layerModel(0).entries[1].t.fit = 0;
    store->layerModel(0).entries[1].sig.fit = 0;
    d.x0_shift.fit = 1;  // a parameter the curve does not depend on in a measurable way
    d.x0_shift.min = -1e-300;
    d.x0_shift.max = 1e-300;
    r = fit();
    ASSERT_GT(r.status, 0) << r.statusText;
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_EQ(r.warnings[0], "--->Warning, no parameter moved from its start: F1 x0_shift");
}

}  // namespace
}  // namespace tolvi
