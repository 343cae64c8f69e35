#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/text_io.h"
#include "fit/fit_runs.h"
#include "fit/fit_workers.h"
#include "fit/genetic.h"
#include "physics/slab_stack.h"
#include "test_support.h"

namespace tolvi {
namespace {

const std::string TEMPLATE_DIR = std::string(TOLVI_BIN_DIR) + "/";
const std::string TEMPLATE_PAR = TEMPLATE_DIR + "template/template.par";

// True values of the template's free parameters (tools/make_template.py): logI0, the W and Si
// thicknesses of the period, the Si roughness and the carbon cap's thickness.
const double TRUE_VALUES[] = {6.0, 15.0, 25.0, 3.0, 30.0};

class Fit : public ::testing::Test {
  protected:
    void loadTemplate() { ASSERT_EQ(loadTemplateSlot(*store, TEMPLATE_DIR).message, "--->OK"); }
    void loadSlots(int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(loadParamSlot(*store, TEMPLATE_PAR).message, "--->OK");
        store->curfile = 0;
    }
    LayerModel& model(int slot = 0) { return store->layerModel(slot); }
    void clearFlags() {
        for (int s = 0; s < MAX_SLOTS; ++s) {
            DataSet& d = store->dataSet(s);
            d.x0_shift.fit = d.logI0.fit = d.bg.fit = 0;
            for (LayerEntry& e : model(s).entries) e.rho.fit = e.t.fit = e.sig.fit = e.mag.fit = 0;
        }
    }

    std::unique_ptr<ModelStore> store = test::makeStore();
    std::unique_ptr<FitState> state = std::make_unique<FitState>();
    std::unique_ptr<GeneticState> ga = std::make_unique<GeneticState>();
};

TEST_F(Fit, ParameterOrderAndFlags) {
    loadSlots(3);
    clearFlags();
    store->dataSet(0).x0_shift.fit = 1;
    EXPECT_EQ(collectFitParams(*store, *state, FitMethod::LeastSquares), 1);
    EXPECT_EQ(state->list.quantity[0], FIT_X0);

    clearFlags();
    model(0).entries[0].t.fit = 1;  // the substrate's thickness is never fitted
    EXPECT_EQ(collectFitParams(*store, *state, FitMethod::LeastSquares), lm::LM_NO_PARAM);
    EXPECT_EQ(collectFitParams(*store, *state, FitMethod::Genetic), lm::GA_NO_PARAM);

    clearFlags();
    state->multiFit = true;
    for (int s = 0; s < 3; ++s) store->dataSet(s).logI0.fit = s + 1;  // any flag above 0 frees
    model(0).entries[2].t.fit = 2;
    model(0).entries[1].t.fit = -2;  // tied, not free
    ASSERT_EQ(collectFitParams(*store, *state, FitMethod::Genetic), 4);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(state->list.quantity[k], FIT_LOGI0);
        EXPECT_EQ(state->list.owner[k], k);
    }
    EXPECT_EQ(state->list.quantity[3], FIT_T);
    EXPECT_EQ(state->list.owner[3], 2);
    EXPECT_EQ(state->list.gaMax[3], static_cast<float>(model(0).entries[2].t.max));
    EXPECT_EQ(store->nfitParam, 4);
}

TEST_F(Fit, MoreThanFiftyFreeQuantitiesAreRefused) {
    loadTemplate();
    clearFlags();
    for (int j = 0; j < 13; ++j) {
        LayerEntry& e = model().entries[j];
        e.rho.fit = e.t.fit = e.sig.fit = e.mag.fit = 1;
    }
    model().nlay = 13;
    store->nfitParam = 0;
    EXPECT_EQ(collectFitParams(*store, *state, FitMethod::LeastSquares), TOO_MANY_FIT_PARAMS);
    EXPECT_EQ(store->nfitParam, 0);
    FitReport r = runFit(*store, *state, *ga, {});
    EXPECT_EQ(r.status, TOO_MANY_FIT_PARAMS);
    EXPECT_EQ(r.statusText, "--->Error more than 50 fit params");
}

TEST_F(Fit, PointsInsideTheRangeBothEndsIncluded) {
    loadTemplate();
    DataSet& d = store->dataSet(0);
    d.xmin = d.xmax = d.xData[10];
    collectFitPoints(*store, *state);
    EXPECT_EQ(state->window.m, 1);
    EXPECT_EQ(state->window.firstPoint[0], 10);
    d.xmin = 100;
    d.xmax = 200;
    collectFitPoints(*store, *state);
    EXPECT_EQ(state->window.m, 0);
    EXPECT_EQ(state->window.pointCount[0], 0);
}

TEST_F(Fit, NoFreeParameterLeavesEverythingAsItWas) {
    loadTemplate();
    clearFlags();
    double before = store->dataSet(0).calcLog[100];
    FitReport r = runFit(*store, *state, *ga, {});
    EXPECT_EQ(r.status, lm::LM_NO_PARAM);
    EXPECT_EQ(r.statusText, "--->Error LM Fit NP==0");
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(store->dataSet(0).calcLog[100], before);
}

TEST_F(Fit, LeastSquaresRecoversTheTemplateWithinItsErrors) {
    loadTemplate();
    int evaluations = 0;  // as the progress callback last saw them
    state->progress = {[](void* c, int n, double) { *static_cast<int*>(c) = n; }, &evaluations};
    FitReport r = runFit(*store, *state, *ga, {});
    ASSERT_GT(r.status, 0) << r.statusText;
    ASSERT_EQ(state->list.npar, 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(state->list.x[k], TRUE_VALUES[k], 3 * state->list.xerror[k]) << k;
        EXPECT_GT(state->list.xerror[k], 0.0) << k;
    }
    EXPECT_EQ(evaluations, r.result.nfev);
    // The model holds the fitted values: the last residual call used them.
    EXPECT_EQ(model().entries[1].t.value, state->list.x[1]);
    EXPECT_EQ(model().slabs[3].t.value, state->list.x[1]);
    ASSERT_EQ(r.lines.size(), 8u + 5u);
    EXPECT_EQ(r.lines[0].rfind("---> LM Fit end chi2 = ", 0), 0u);
    EXPECT_NE(r.lines[0].find(" DOF)\n"), std::string::npos);
    EXPECT_EQ(r.lines[3], "NPAR = 5\n");
    EXPECT_EQ(r.lines[2].rfind("chi2: ", 0), 0u);
    EXPECT_NE(r.lines[2].find("   L1_norm: "), std::string::npos);
    EXPECT_NE(r.lines[8].find(" +/- "), std::string::npos);
}

// A second known model: a Ni film on Si measured with neutrons on the q axis, with counting noise
// (10 s per point) drawn from a fixed seed; the fit starts away from the truth.
TEST_F(Fit, NeutronFilmWithCountingNoiseIsRecovered) {
    test::TempDir dir;
    test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0);
    test::writeMaterial(dir.file("Ni.mf"), 58.6934, 24.8, 0.53, 10.3, 4.49, 0);
    std::string grid;
    for (int i = 0; i < 391; ++i) grid += formatText("%.4f 1\n", 0.005 + 0.0005 * i);
    test::writeText(dir.file("film.dat"), grid);
    test::writeText(dir.file("film.par"),
                    "1\n0\n1\n2\n0\n4.75\n0\n0.005 0.2\nfilm.dat\n0 0 -0.01 0.01\n"
                    "6 1 5 7\n1 0 0 10\n" +
                        test::blockText("S Si.mf", {2.33, 0, 4}) +
                        "S Ni.mf\n8.9 0 8 10\n400 1 300 500\n6 1 0 15\n0 0 -1 1\n");
    ASSERT_EQ(loadParamSlot(*store, dir.file("film.par")).message, "--->OK");
    DataSet& d = store->dataSet(0);
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int i = 0; i < d.npoints; ++i) {
        double counts = d.calcLin[i] * 10.0;
        double normal =
            std::sqrt(-2 * std::log(1 - uniform(random))) * std::cos(2 * M_PI * uniform(random));
        d.yLin[i] = std::max(1.0, counts + std::sqrt(counts) * normal) / 10.0;
        d.yLog[i] = std::log10(d.yLin[i]);
    }
    d.logI0.value = 6.05;
    model().entries[1].t.value = 396.0;
    model().entries[1].sig.value = 8.0;

    FitReport r = runFit(*store, *state, *ga, {});
    ASSERT_GT(r.status, 0) << r.statusText;
    const double truth[] = {6.0, 400.0, 6.0};
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(state->list.x[k], truth[k], 3 * state->list.xerror[k])
            << k << " error " << state->list.xerror[k] << " fitted " << state->list.x[k];
}

TEST_F(Fit, GeneticSearchWithAFixedSeedRepeatsAndFindsTheTemplate) {
    loadTemplate();
    FitOptions options;
    options.method = FitMethod::Genetic;
    options.seed = 7;
    FitReport first = runFit(*store, *state, *ga, options);
    ASSERT_EQ(first.status, lm::GA_FINISHED);
    EXPECT_GT(first.generations, 0);
    std::array<double, MAX_FIT_PARAMS> x = state->list.x;
    const double tolerance[] = {0.02, 0.3, 0.3, 0.5, 1.5};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(x[k], TRUE_VALUES[k], tolerance[k]) << k;
    EXPECT_EQ(ga->gaHistory[first.generations], ga->best.cost);
    EXPECT_LE(ga->gaHistory[first.generations], ga->gaHistory[1]);
    EXPECT_EQ(first.lines[1].rfind("popul 15, gene ", 0), 0u);
    EXPECT_EQ(first.lines[3], formatText("P[0] = %f \n", x[0]));

    ASSERT_TRUE(recoverFit(*store, *state));
    FitReport second = runFit(*store, *state, *ga, options);
    EXPECT_EQ(second.generations, first.generations);
    EXPECT_EQ(state->list.x, x);
}

TEST_F(Fit, MultiFitSharesLayersAcrossSlots) {
    loadSlots(3);
    FitOptions options;
    options.multi = true;
    FitReport r = runFit(*store, *state, *ga, options);
    ASSERT_GT(r.status, 0) << r.statusText;
    // logI0 of each of the three slots, then the four layer quantities of the current table.
    ASSERT_EQ(state->list.npar, 7);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(model(s).entries[1].t.value, state->list.x[3]);
        EXPECT_EQ(model(s).entries[3].t.value, state->list.x[6]);
        EXPECT_EQ(store->dataSet(s).logI0.value, state->list.x[s]);
    }
    EXPECT_NEAR(state->list.x[3], 15.0, 0.1);
    EXPECT_NE(r.lines[2].find("   dif: "), std::string::npos);
}

// The report without the lines that hold the date or the elapsed time.
std::vector<std::string> withoutClock(const FitReport& r) {
    std::vector<std::string> out;
    for (const std::string& line : r.lines)
        if (line.find("Fit end") == std::string::npos && line.find("Elapsed") == std::string::npos)
            out.push_back(line);
    return out;
}

TEST(FitThreads, OneAndTwoThreadsGiveTheSameReports) {
    FitOptions lm, ga, multi;
    ga.method = FitMethod::Genetic;
    ga.seed = 11;
    ga.maxGene = 30;
    multi.multi = true;
    for (const FitOptions& options : {lm, ga, multi}) {
        std::vector<std::string> reports[2];
        for (int threads : {1, 2}) {
            auto store = test::makeStore();
            auto state = std::make_unique<FitState>();
            auto search = std::make_unique<GeneticState>();
            state->threads = threads;
            for (int i = 0; i < (options.multi ? 3 : 1); ++i)
                ASSERT_EQ(loadParamSlot(*store, TEMPLATE_PAR).message, "--->OK");
            store->curfile = 0;
            FitReport r = runFit(*store, *state, *search, options);
            ASSERT_GT(r.status, 0);
            reports[threads - 1] = withoutClock(r);
        }
        EXPECT_EQ(reports[0], reports[1]);
    }
}

TEST_F(Fit, MultiFitRefusals) {
    loadSlots(1);
    FitOptions options;
    options.multi = true;
    EXPECT_EQ(runFit(*store, *state, *ga, options).statusText, "Error->Mfit needs multi data ");
    loadSlots(1);
    store->curfile = 1;
    model(1).nlay = 3;
    FitReport r = runFit(*store, *state, *ga, options);
    EXPECT_EQ(r.statusText, "Error->nlay is not same ");
    EXPECT_TRUE(state->multiFit) << "stays set after the structure check";
    model(1).nlay = 4;
    model(1).layall = 5;
    EXPECT_EQ(runFit(*store, *state, *ga, options).statusText, "Error->layall is not same ");
}

TEST_F(Fit, RecovRestoresTheStartValuesOnce) {
    loadTemplate();
    EXPECT_FALSE(recoverFit(*store, *state)) << "nothing to recover right after a load";
    double start = model().entries[1].t.value;
    ASSERT_GT(runFit(*store, *state, *ga, {}).status, 0);
    ASSERT_NE(model().entries[1].t.value, start);
    ASSERT_TRUE(recoverFit(*store, *state));
    double once = store->dataSet(0).calcLog[200];
    EXPECT_EQ(model().entries[1].t.value, start);
    ASSERT_TRUE(recoverFit(*store, *state));
    EXPECT_EQ(store->dataSet(0).calcLog[200], once);
    EXPECT_EQ(model().entries[1].t.value, start);
}

TEST_F(Fit, GeneticLimitsAreRefusedBeforeAnythingChanges) {
    loadTemplate();
    FitOptions options;
    options.method = FitMethod::Genetic;
    options.population = 3;
    EXPECT_EQ(runFit(*store, *state, *ga, options).status, POPULATION_REFUSED);
    options.population = 15;
    options.maxGene = MAX_GENERATIONS + 1;
    EXPECT_EQ(runFit(*store, *state, *ga, options).status, GENERATIONS_REFUSED);
    EXPECT_EQ(store->nfitParam, 0);

    options.population = MAX_POPULATION + 1;  // refused by the search itself: no generation
    options.maxGene = 200;
    FitReport r = runFit(*store, *state, *ga, options);
    EXPECT_EQ(r.status, lm::GA_FINISHED);
    EXPECT_TRUE(r.populationRefused);
    EXPECT_EQ(r.generations, 0);
    EXPECT_EQ(r.lines[1], "popul 1501, gene 0, Elapsed time(sec)= 0\n");
    EXPECT_EQ(model().entries[1].t.value, 15.6) << "start values unchanged";
}

TEST_F(Fit, Chi2AndL1AreFloatSumsOfTheResiduals) {
    loadTemplate();
    (void)collectFitParams(*store, *state, FitMethod::LeastSquares);
    collectFitPoints(*store, *state);
    // The same sums two ways: in floats, as the report makes them, and in double.
    float chi2 = 0.0f, l1 = 0.0f;
    double chi2Double = 0.0, l1Double = 0.0;
    for (int i = 0; i < state->window.pointCount[0]; ++i) {
        double r = pointResidual(*store, 0, state->window.points[0][i]);
        float rf = static_cast<float>(r);
        chi2 += rf * rf;
        l1 += std::fabs(rf);
        chi2Double += r * r;
        l1Double += std::fabs(r);
    }
    Chi2L1 f = chi2AndL1(*store, *state);
    EXPECT_EQ(f.chi2, chi2);
    EXPECT_EQ(f.l1, l1);
    // The two differ on this curve, so a sum in double would not pass the equalities above.
    ASSERT_NE(static_cast<float>(chi2Double), chi2);
    ASSERT_NE(static_cast<float>(l1Double), l1);
}

// Two scans of the template's curve appended in one file: the even points, then the odd ones.
void interleaveAsTwoScans(DataSet& d) {
    DataSet sorted = d;
    int k = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = pass; i < sorted.npoints; i += 2, ++k) {
            d.xData[k] = sorted.xData[i];
            d.yLin[k] = sorted.yLin[i];
            d.yLog[k] = sorted.yLog[i];
            d.sigmaLog[k] = sorted.sigmaLog[i];
        }
}

TEST_F(Fit, PointsInsideTheRangeWhateverTheirOrderInTheFile) {
    loadTemplate();
    DataSet& d = store->dataSet(0);
    auto sorted = std::make_unique<DataSet>(d);
    interleaveAsTwoScans(d);
    d.xmin = sorted->xData[100];
    d.xmax = sorted->xData[300];
    recalculateSlot(*store, 0);
    (void)collectFitParams(*store, *state, FitMethod::LeastSquares);
    collectFitPoints(*store, *state);
    EXPECT_EQ(state->window.m, 201);

    // Every residual belongs to a point inside the range, each point once, in file order.
    std::vector<double> residuals(state->window.m);
    computeResiduals(*store, *state, state->list.x.data(), state->window.m, residuals.data());
    int taken = 0;
    for (int i = 0; i < d.npoints; ++i) {
        if (!(d.xmin <= d.xData[i] && d.xData[i] <= d.xmax)) continue;
        ASSERT_LT(taken, state->window.m);
        EXPECT_EQ(residuals[taken], (d.yLog[i] - d.calcLog[i]) / d.sigmaLog[i]) << i;
        ++taken;
    }
    EXPECT_EQ(taken, state->window.m);

    // The genetic search's cost: the same points, by the same direct scan.
    Member member;
    for (int k = 0; k < state->list.npar; ++k)
        member.value[k] = static_cast<float>(state->list.x[k]) * 1.01f;
    float cost = memberCost(*store, *state, member);
    float expected = 0.0f;
    for (int i = 0; i < d.npoints; ++i)
        if (d.xmin <= d.xData[i] && d.xData[i] <= d.xmax)
            expected += static_cast<float>(std::fabs((d.yLog[i] - d.calcLog[i]) / d.sigmaLog[i]));
    EXPECT_EQ(cost, expected);
}

TEST_F(Fit, TwoAppendedScansFitAsTheSamePointsSorted) {
    loadTemplate();
    store->dataSet(0).xmin = 0.5;
    store->dataSet(0).xmax = 3.5;
    FitReport sorted = runFit(*store, *state, *ga, {});
    ASSERT_GT(sorted.status, 0);
    std::vector<double> fitted(state->list.x.begin(), state->list.x.begin() + state->list.npar);

    auto other = test::makeStore();
    store.swap(other);
    loadTemplate();
    interleaveAsTwoScans(store->dataSet(0));
    store->dataSet(0).xmin = 0.5;
    store->dataSet(0).xmax = 3.5;
    FitReport unsorted = runFit(*store, *state, *ga, {});
    ASSERT_GT(unsorted.status, 0);
    EXPECT_EQ(unsorted.result.nfunc, sorted.result.nfunc);
    EXPECT_NEAR(unsorted.result.bestnorm, sorted.result.bestnorm, 1e-9 * sorted.result.bestnorm);
    for (int k = 0; k < state->list.npar; ++k)
        EXPECT_NEAR(state->list.x[k], fitted[k], 1e-7 * std::fabs(fitted[k])) << k;
}

}  // namespace
}  // namespace tolvi
