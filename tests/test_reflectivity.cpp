#include <cmath>
#include <complex>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "base/status.h"
#include "physics/optics.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"
#include "physics/slab_stack.h"
#include "test_support.h"

namespace tolvi {
namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double DEG = 0.017453292519943295;
constexpr double LAMBDA = 1.54;

using StdComplex = std::complex<double>;

// Within half a unit of the last of `digits` significant digits of `expected`.
void expectDigits(double actual, double expected, int digits, const std::string& what = "") {
    double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - digits + 1);
    EXPECT_NEAR(actual, expected, 0.5 * unit) << what;
}

void expectRelative(double actual, double expected, double tolerance, const std::string& what) {
    ASSERT_TRUE(std::isfinite(actual)) << what;
    EXPECT_NEAR(actual / expected, 1.0, tolerance) << what << ": " << actual << " vs " << expected;
}

// χ of a slab as the polarisation p sees it (δ grows by p magTerm), less the ambient's.
Complex slabChi(const ModelStore& store, const LayerEntry& e, double p) {
    Medium effective{e.medium.delta + p * e.magTerm.re, e.medium.beta - p * e.magTerm.im};
    return effective.chi() - store.ambient.chi();
}

// The transfer matrix exactly as written, with no guard: the oracle of the ordinary path, and
// the proof that a guarded case would otherwise fail. The wave numbers are
// k0 sqrt(χ - χ_ambient + n_ambient² sin²θ), sin²θ rounded once from long double, and the
// exponents z a± of the global coordinate are formed in long double, the phases reduced by 2π.
double plainFormula(const ModelStore& store, int slot, double theta) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& m = store.layerModel(slot);
    const Complex one{1.0, 0.0}, minusI{0.0, -1.0}, plusI{0.0, 1.0};
    double k0 = TWO_PI / d.lamd;
    double p = d.magMode;
    int N = m.layall;
    if (N == 0) return 0.0;
    long double sine = std::sin(static_cast<long double>(theta));
    Complex chiA = store.ambient.chi();
    Complex aSq = static_cast<double>(sine * sine) * Complex{1.0 + chiA.re, chiA.im};
    const long double twoPi = 6.283185307179586476925286766559L;
    auto exponent = [](double z, double k1, double k2) {
        return static_cast<long double>(z) * k1 + static_cast<long double>(z) * k2;
    };
    Complex P = one, Q{0.0, 0.0};
    double z = 0.0;
    for (int s = 0; s < N; ++s) {
        Complex chiLo = slabChi(store, m.slabs[s], p);
        Complex chiHi = s == N - 1 ? Complex{0.0, 0.0} : slabChi(store, m.slabs[s + 1], p);
        Complex kLo = k0 * csqrt(chiLo + aSq);
        Complex kHi = k0 * csqrt(chiHi + aSq);
        Complex r = kLo / kHi;
        Complex am = kLo - kHi, ap = kLo + kHi;
        z = z + m.slabs[s].t.value;
        double sigma = m.slabs[s].sig.value;
        Complex Fm = cexp(-0.5 * square(sigma * am));
        Complex Fp = cexp(-0.5 * square(sigma * ap));
        // z a± = (exponent, phase) with the phase reduced to [-π, π].
        Complex zam{static_cast<double>(std::remainder(exponent(z, kLo.re, -kHi.re), twoPi)),
                    static_cast<double>(exponent(z, kLo.im, -kHi.im))};
        Complex zap{static_cast<double>(std::remainder(exponent(z, kLo.re, kHi.re), twoPi)),
                    static_cast<double>(exponent(z, kLo.im, kHi.im))};
        Complex A = 0.5 * (one + r) * cexp(minusI * zam) * Fm;
        Complex B = 0.5 * (one - r) * cexp(plusI * zap) * Fp;
        Complex C = 0.5 * (one - r) * cexp(minusI * zap) * Fp;
        Complex D = 0.5 * (one + r) * cexp(plusI * zam) * Fm;
        Complex P2 = A * P + B * Q;
        Q = C * P + D * Q;
        P = P2;
    }
    return norm2(Q / P);
}

// The same physics another way: Parratt's recursion of the local reflection ratio with
// Névot-Croce factors, in std::complex, referred at the end to the bottom of slab 0.
double parratt(const ModelStore& store, int slot, double theta) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& m = store.layerModel(slot);
    int N = m.layall;
    if (N == 0) return 0.0;
    double k0 = TWO_PI / d.lamd;
    // kz² = k0² (χ - χ_ambient + n_ambient² sin²θ), each χ = n² - 1 from δ and β, so that no
    // digit of δ is lost to n² - c² near 1: the oracle must be as exact as the kernels.
    auto chi = [](double delta, double beta) {
        return StdComplex(-2.0 * delta + delta * delta - beta * beta, 2.0 * beta * (1.0 - delta));
    };
    StdComplex chiAmbient = chi(store.ambient.delta, store.ambient.beta);
    double sine = std::sin(theta);
    StdComplex aSq = sine * sine * (1.0 + chiAmbient);
    auto wavenumber = [&](int s) {
        if (s == N) return k0 * std::sqrt(aSq);
        const LayerEntry& e = m.slabs[s];
        StdComplex chiSlab = chi(e.medium.delta + d.magMode * e.magTerm.re,
                                 e.medium.beta - d.magMode * e.magTerm.im);
        return k0 * std::sqrt(chiSlab - chiAmbient + aSq);
    };
    StdComplex rho = 0.0;
    double zTop = 0.0;
    for (int s = 0; s < N; ++s) {
        StdComplex kLo = wavenumber(s), kHi = wavenumber(s + 1);
        double t = m.slabs[s].t.value;
        zTop += t;
        if (s > 0) rho *= std::exp(StdComplex(0.0, 2.0) * kLo * t);
        double sigma = m.slabs[s].sig.value;
        StdComplex rf = (kHi - kLo) / (kHi + kLo) * std::exp(-2.0 * sigma * sigma * kLo * kHi);
        rho = (rf + rho) / (1.0 + rf * rho);
    }
    StdComplex kAmbient = wavenumber(N);
    return std::norm(rho) * std::exp(4.0 * zTop * kAmbient.imag());
}

struct Slab {
    Medium medium;
    double t = 0.0;
    double sig = 0.0;
    Complex magTerm{};
};

class Reflectivity : public ::testing::Test {
  protected:
    void SetUp() override { d().lamd = LAMBDA; }

    DataSet& d() { return store->dataSet(0); }
    LayerModel& model() { return store->layerModel(0); }

    // A silicon-like X-ray row (M 28.0855, f1 14.28, f2 0.33) on top of the layer table.
    LayerEntry& addSilicon(double rho, double t, double sig) {
        LayerEntry& e = model().entries[model().nlay++];
        e.rho.value = rho;
        e.t.value = t;
        e.sig.value = sig;
        e.molarMass = 28.0855;
        e.f1 = 14.28;
        e.f2 = 0.33;
        return e;
    }
    void build() { buildSlabStack(*store, 0); }

    // The slab stack directly, bypassing the table.
    void setSlabs(const std::vector<Slab>& slabs) {
        model().layall = static_cast<int>(slabs.size());
        for (size_t s = 0; s < slabs.size(); ++s) {
            LayerEntry& e = model().slabs[s];
            e.medium = slabs[s].medium;
            e.n = slabs[s].medium.index();
            e.t.value = slabs[s].t;
            e.sig.value = slabs[s].sig;
            e.magTerm = slabs[s].magTerm;
        }
    }

    void setPoints(const std::vector<double>& xs) {
        d().npoints = static_cast<int>(xs.size());
        for (size_t i = 0; i < xs.size(); ++i) d().xData[i] = xs[i];
    }
    std::vector<double> curve(const std::vector<double>& xs) {
        setPoints(xs);
        computeReflectivity(*store, 0, false);
        return {d().calcLin.begin(), d().calcLin.begin() + d().npoints};
    }
    std::vector<double> reference(const std::vector<double>& xs) {
        setPoints(xs);
        computeFresnelReference(*store, 0);
        return {d().rfLin.begin(), d().rfLin.begin() + d().npoints};
    }
    double at(double x) { return curve({x})[0]; }
    double referenceAt(double x) { return reference({x})[0]; }
    double R(double theta) { return slabReflectivity(*store, 0, theta); }

    std::unique_ptr<ModelStore> store = test::makeStore();
};

// The silicon-like material at 1.54 Å from the optical constants, at density rho.
Medium siliconIndex(double rho) {
    auto s = test::makeStore();
    s->dataSet(0).lamd = LAMBDA;
    LayerEntry& e = s->layerModel(0).entries[0];
    e.rho.value = rho;
    e.molarMass = 28.0855;
    e.f1 = 14.28;
    e.f2 = 0.33;
    computeOpticalConstants(*s, 0, 0);
    return e.medium;
}

// ---- Worked values: silicon substrate at 1.54 Å, n = (1 - 7.588331e-06) + i 1.753606e-07.

TEST_F(Reflectivity, SubstrateWorkedValuesOnTheThetaAxis) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    EXPECT_NEAR(1.0 - model().slabs[0].n.re, 7.588331e-06, 5e-13);
    EXPECT_NEAR(model().slabs[0].n.im, 1.753606e-07, 5e-14);
    struct Case {
        double x, R;
        int digits;
    };
    for (Case c : {Case{0.1, 0.977114, 6}, Case{0.3, 0.0395875, 6}, Case{0.5, 0.00308272, 6},
                   Case{1.0, 1.63341e-04, 6}})
        expectDigits(at(c.x), c.R, c.digits, "x = " + std::to_string(c.x));
}

TEST_F(Reflectivity, RoughSubstrateWorkedValue) {
    addSilicon(2.33, 0.0, 5.0);
    build();
    expectDigits(at(1.0), 9.96444e-05, 6);
}

TEST_F(Reflectivity, TwoThetaAxisComputesAtHalfTheAngle) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    double theta = at(0.5);
    d().xAxis = 1;
    EXPECT_EQ(at(1.0), theta);
}

TEST_F(Reflectivity, QAxisWorkedValue) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    d().xAxis = 2;
    expectDigits(at(0.0713), 0.00306505, 6);
}

TEST_F(Reflectivity, DivergenceAverageWorkedValue) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    d().divergence = 0.01;
    expectDigits(at(0.5), 0.00308506, 6);
}

TEST_F(Reflectivity, FilmWorkedIntensities) {
    addSilicon(2.33, 0.0, 3.0);
    addSilicon(5.0, 200.0, 4.0);
    build();
    d().logI0.value = 6.0;
    d().bg.value = 1.0;
    std::vector<double> I = curve({0.3, 0.5, 0.8});
    expectDigits(I[0], 850723.7, 7, "x = 0.3");
    expectDigits(I[1], 28060.43, 7, "x = 0.5");
    expectDigits(I[2], 2956.354, 7, "x = 0.8");
    for (double x : {0.3, 0.5, 0.8})
        expectRelative(R(x * DEG), parratt(*store, 0, x * DEG), 1e-12, "Parratt");
}

TEST_F(Reflectivity, EmptyStackGivesTheBackgroundOrTheFloor) {
    ASSERT_EQ(model().layall, 0);
    d().logI0.value = 2.0;
    d().bg.value = 3.5;
    for (double I : curve({0.0, 0.2, 3.0})) EXPECT_EQ(I, 3.5);
    EXPECT_EQ(d().calcLog[1], std::log10(3.5));
    d().bg.value = 0.0;
    for (double I : curve({0.2, 3.0})) EXPECT_EQ(I, std::pow(10.0, -18.0));
    EXPECT_EQ(d().calcLog[0], std::log10(std::pow(10.0, -18.0)));
    d().bg.value = -5.0;
    EXPECT_EQ(at(1.0), std::pow(10.0, -18.0));
}

TEST_F(Reflectivity, ZeroAndNegativeAnglesComputeAtTheClamp) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    std::vector<double> I = curve({0.0, -3.0, 1e-5});
    EXPECT_EQ(I[0], I[2]);
    EXPECT_EQ(I[1], I[2]);
    EXPECT_GT(I[0], 0.999);
    EXPECT_LE(I[0], 1.0);
    d().xAxis = 1;
    EXPECT_EQ(at(0.0), I[2]);
}

TEST_F(Reflectivity, NegativeDivergenceActsAsItsAbsoluteValue) {
    addSilicon(2.33, 0.0, 2.0);
    addSilicon(5.0, 150.0, 3.0);
    build();
    d().divergence = 0.02;
    std::vector<double> plus = curve({0.2, 0.45, 1.3});
    d().divergence = -0.02;
    EXPECT_EQ(curve({0.2, 0.45, 1.3}), plus);
}

TEST_F(Reflectivity, ZeroShiftMovesEveryNode) {
    addSilicon(2.33, 0.0, 0.0);
    addSilicon(5.0, 150.0, 0.0);
    build();
    d().divergence = 0.01;
    double unshifted = at(0.45);
    d().x0_shift.value = 0.05;
    EXPECT_EQ(at(0.5), unshifted);
}

TEST_F(Reflectivity, SimulateAlsoFillsTheMeasuredCurveAndNothingBeyondThePoints) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    d().calcLin[2] = -7.0;
    setPoints({0.3, 0.6});
    computeReflectivity(*store, 0, true);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(d().yLin[i], d().calcLin[i]);
        EXPECT_EQ(d().yLog[i], d().calcLog[i]);
        EXPECT_EQ(d().calcLog[i], std::log10(d().calcLin[i]));
    }
    EXPECT_EQ(d().calcLin[2], -7.0);
    d().yLin[0] = 42.0;
    computeReflectivity(*store, 0, false);
    EXPECT_EQ(d().yLin[0], 42.0);
}

TEST_F(Reflectivity, AbsorbingAmbientMakesTheStackHeightMatter) {
    addSilicon(2.33, 0.0, 2.0);
    addSilicon(5.0, 100.0, 3.0);
    build();
    double theta = 1.5 * DEG;
    double thin = R(theta);
    model().slabs[0].t.value = 5000.0;
    EXPECT_NEAR(R(theta) / thin, 1.0, 1e-12) << "non-absorbing ambient";

    store->ambient = {2e-6, 1e-4};
    double thick = R(theta);
    model().slabs[0].t.value = 0.0;
    thin = R(theta);
    // R is referred to the bottom of slab 0: |exp(-2 i k z)|^2 of the ambient over the extra
    // 5000 Å.
    StdComplex amb(1.0 - 2e-6, 1e-4);
    StdComplex kAmb = TWO_PI / LAMBDA * std::sqrt(amb * amb - std::pow(amb * std::cos(theta), 2));
    expectRelative(thick / thin, std::exp(4.0 * 5000.0 * kAmb.imag()), 1e-9, "height factor");
    EXPECT_GT(thick / thin, 1.2);
}

// ---- Invariants.

TEST_F(Reflectivity, TotalReflectionBelowTheCriticalEdgeWithoutAbsorption) {
    Medium sub{7.588331e-06, 0.0};
    setSlabs({{sub, 0.0, 3.0}, {{1.2e-5, 0.0}, 120.0, 4.0}, {{3e-6, 0.0}, 40.0, 2.0}});
    // The substrate's critical angle is sqrt(2 delta) = 0.223°.
    for (double x : {0.01, 0.05, 0.1, 0.15, 0.2, 0.22}) EXPECT_NEAR(R(x * DEG), 1.0, 1e-12) << x;
    EXPECT_LT(R(0.3 * DEG), 0.9);
}

TEST_F(Reflectivity, ZeroThicknessLayerChangesNothing) {
    Medium sub = siliconIndex(2.33), film = siliconIndex(5.0);
    std::vector<Medium> materials{{0.0, 0.0}, {1e-4, 3e-6}, {-2e-5, 0.0}, {1.0, 0.0}};
    std::vector<double> thetas{0.15 * DEG, 0.4 * DEG, 1.1 * DEG, 3.0 * DEG};
    setSlabs({{sub, 0.0, 0.0}, {film, 180.0, 4.0}});
    std::vector<double> plain;
    for (double th : thetas) plain.push_back(R(th));
    for (Medium n : materials) {
        setSlabs({{sub, 0.0, 0.0}, {n, 0.0, 0.0}, {film, 180.0, 4.0}});  // buried
        for (size_t i = 0; i < thetas.size(); ++i)
            expectRelative(R(thetas[i]), plain[i], 1e-11, "buried");
    }
    setSlabs({{sub, 0.0, 0.0}, {film, 180.0, 0.0}});
    plain.clear();
    for (double th : thetas) plain.push_back(R(th));
    for (Medium n : materials) {
        setSlabs({{sub, 0.0, 0.0}, {film, 180.0, 0.0}, {n, 0.0, 0.0}});  // on top
        for (size_t i = 0; i < thetas.size(); ++i)  // index 0 reflects almost totally: 1e-9
            expectRelative(R(thetas[i]), plain[i], 1e-9, "on top");
    }
}

TEST_F(Reflectivity, ThetaTwoThetaAndQRoutesAgree) {
    addSilicon(2.33, 0.0, 3.0);
    addSilicon(5.0, 200.0, 4.0);
    build();
    std::vector<double> thetas{0.12, 0.37, 0.9, 2.4};
    std::vector<double> twoThetas, qs;
    for (double th : thetas) {
        twoThetas.push_back(2.0 * th);
        qs.push_back(4.0 * M_PI * std::sin(th * DEG) / LAMBDA);
    }
    std::vector<double> byTheta = curve(thetas);
    d().xAxis = 1;
    EXPECT_EQ(curve(twoThetas), byTheta);
    d().xAxis = 2;
    std::vector<double> byQ = curve(qs);
    for (size_t i = 0; i < thetas.size(); ++i) expectRelative(byQ[i], byTheta[i], 1e-10, "q");
}

TEST_F(Reflectivity, SubstrateThicknessDoesNotMatterUnderANonAbsorbingAmbient) {
    addSilicon(2.33, 0.0, 3.0);
    addSilicon(5.0, 200.0, 4.0);
    addSilicon(1.0, 35.0, 2.0);
    build();
    std::vector<double> xs{0.1, 0.3, 0.7, 1.5, 4.0};
    std::vector<double> thin = curve(xs);
    model().slabs[0].t.value = 1234.5;
    std::vector<double> thick = curve(xs);
    for (size_t i = 0; i < xs.size(); ++i) expectRelative(thick[i], thin[i], 1e-11, "t0");
}

TEST_F(Reflectivity, SingleFilmFringePeriodIsTwoPiOverItsThickness) {
    const double thickness = 300.0;
    addSilicon(2.33, 0.0, 0.0);
    addSilicon(5.0, thickness, 0.0);
    build();
    d().xAxis = 2;
    std::vector<double> qs;
    for (int i = 0; i <= 1999; ++i) qs.push_back(0.3 + 0.3 * i / 1999.0);
    std::vector<double> I = curve(qs);
    std::vector<double> minima;
    for (size_t i = 1; i + 1 < I.size(); ++i)
        if (I[i] < I[i - 1] && I[i] < I[i + 1]) minima.push_back(qs[i]);
    ASSERT_GE(minima.size(), 10u);
    double period = (minima.back() - minima.front()) / static_cast<double>(minima.size() - 1);
    EXPECT_NEAR(period / (TWO_PI / thickness), 1.0, 0.01);
}

TEST_F(Reflectivity, PolarisationSignMattersOnlyThroughTheMagneticTerm) {
    d().lamd = 5.0;
    Medium sub{8.2e-6, 0.0}, fe{3.2e-5, 1e-9};
    setSlabs({{sub, 0.0, 3.0}, {fe, 250.0, 4.0}, {{1.4e-5, 0.0}, 30.0, 2.0}});
    std::vector<double> thetas{0.3 * DEG, 0.8 * DEG, 1.5 * DEG};
    d().magMode = 1.0;
    std::vector<double> plus, minus;
    for (double th : thetas) plus.push_back(R(th));
    d().magMode = -1.0;
    for (double th : thetas) minus.push_back(R(th));
    EXPECT_EQ(plus, minus) << "no magnetic term";

    model().slabs[1].magTerm = {2.0e-5, 0.0};
    for (size_t i = 0; i < thetas.size(); ++i) {
        double down = R(thetas[i]);
        model().slabs[1].medium = {fe.delta - 2.0e-5, fe.beta};
        d().magMode = 0.0;
        EXPECT_EQ(down, R(thetas[i])) << "p = -1 adds the magnetic term";
        model().slabs[1].medium = fe;
        d().magMode = -1.0;
    }
    d().magMode = 1.0;
    EXPECT_NE(R(thetas[1]), minus[1]);
}

// The plain kernel (the oracle of the fast one, which agrees with it to 1e-10 relative: see
// test_reflectivity_fast.cpp) keeps the formula as written.
TEST_F(Reflectivity, OrdinaryStacksGiveThePlainFormulaBitForBit) {
    addSilicon(2.33, 0.0, 3.0);
    addSilicon(5.0, 200.0, 4.0);
    for (int i = 0; i < 10; ++i) {
        addSilicon(1.2, 25.0, 3.5);
        addSilicon(4.1, 40.0, 1.5);
    }
    addSilicon(2.0, 12.0, 0.0);
    build();
    for (double x = 0.02; x < 6.0; x *= 1.37)
        EXPECT_EQ(slabReflectivityPlain(*store, 0, x * DEG), plainFormula(*store, 0, x * DEG)) << x;

    // Neutrons, polarised, with an absorbing ambient.
    d().lamd = 4.75;
    d().magMode = -1.0;
    store->ambient = {1e-6, 1e-8};
    setSlabs({{{7.5e-6, 0.0}, 10.0, 3.0},
              {{2.9e-5, 2e-9}, 300.0, 5.0, {1.8e-5, 0.0}},
              {{1.1e-5, 0.0}, 50.0, 0.0}});
    for (double x = 0.02; x < 6.0; x *= 1.37)
        EXPECT_EQ(slabReflectivityPlain(*store, 0, x * DEG), plainFormula(*store, 0, x * DEG)) << x;
}

TEST_F(Reflectivity, MultilayersAgreeWithParrattsRecursion) {
    addSilicon(2.33, 0.0, 2.0);
    for (int i = 0; i < 20; ++i) {
        addSilicon(6.0, 22.0, 3.0);
        addSilicon(1.1, 31.0, 2.5);
    }
    build();
    for (double x = 0.05; x < 8.0; x *= 1.21)
        expectRelative(R(x * DEG), parratt(*store, 0, x * DEG), 1e-9, std::to_string(x));
}

// ---- Guards.

TEST_F(Reflectivity, GrazingAngleClamps) {
    EXPECT_EQ(grazingAngle(0, LAMBDA, -1.0), 1e-5 * DEG);
    EXPECT_EQ(grazingAngle(1, LAMBDA, 0.0), 0.5 * DEG * 2e-5);
    EXPECT_EQ(grazingAngle(2, LAMBDA, -0.2), 1e-6);
    EXPECT_EQ(grazingAngle(2, LAMBDA, 4.0 * M_PI / LAMBDA * 1.5), std::asin(1.0));
    EXPECT_EQ(grazingAngle(7, LAMBDA, 0.1), grazingAngle(2, LAMBDA, 0.1)) << "any other axis is q";
}

TEST_F(Reflectivity, QBeyondTheArcsineDomainIsComputedAtNinetyDegrees) {
    addSilicon(2.33, 0.0, 2.0);
    addSilicon(5.0, 80.0, 3.0);
    build();
    d().xAxis = 2;
    d().logI0.value = 0.0;
    double qMax = 4.0 * M_PI / LAMBDA;
    std::vector<double> I = curve({qMax * 1.0001, 100.0, -0.5, -100.0});
    for (double v : I) ASSERT_TRUE(std::isfinite(v));
    double atNinety = std::max(R(M_PI / 2), 1e-20);
    EXPECT_EQ(I[0], atNinety);
    EXPECT_EQ(I[1], atNinety);
    EXPECT_EQ(I[2], R(1e-6));
    EXPECT_EQ(I[3], R(1e-6));
}

TEST_F(Reflectivity, VanishingWaveNumberOfTheAmbientGivesTotalReflection) {
    // An ambient index of 0 leaves no in-plane component: k of the ambient is exactly 0.
    addSilicon(2.33, 75.0, 4.0);
    build();
    store->ambient = {1.0, 0.0};
    EXPECT_FALSE(std::isfinite(plainFormula(*store, 0, 0.5 * DEG)));
    for (double I : curve({0.1, 0.5, 2.0})) EXPECT_EQ(I, 1.0);
    for (double I : reference({0.1, 0.5, 2.0})) EXPECT_EQ(I, 1.0);
}

TEST_F(Reflectivity, BuriedLayerMatchingTheInPlaneComponentStaysFinite) {
    // Slab 1 has k = 0 exactly: P and Q both vanish above it, and R takes the value 1.
    double x = 0.35;
    double theta = grazingAngle(0, LAMBDA, x);
    Medium sub = siliconIndex(2.33);
    setSlabs({{sub, 0.0, 2.0},
              {test::mediumMatchingSineSquared(grazingSineSquared(0, LAMBDA, x)), 50.0, 3.0},
              {sub, 100.0, 1.0}});
    EXPECT_FALSE(std::isfinite(plainFormula(*store, 0, theta)));
    double I = at(x);
    EXPECT_TRUE(std::isfinite(I));
    EXPECT_GE(I, 0.0);
    EXPECT_LE(I, 1.0);
}

TEST_F(Reflectivity, ThickAbsorbingStackMatchesParrattWhereThePlainFormulaOverflows) {
    // 30000 Å of two heavy, strongly absorbing X-ray materials under an absorbing ambient.
    std::vector<Slab> slabs{{siliconIndex(2.33), 0.0, 3.0}};
    for (int i = 0; i < 100; ++i)
        slabs.push_back(i % 2 ? Slab{{4.7e-5, 4.8e-6}, 300.0, 3.0}
                              : Slab{{3.2e-5, 2.5e-6}, 300.0, 4.0});
    setSlabs(slabs);
    store->ambient = {0.0, 5e-6};
    int overflows = 0;
    for (double x = 0.02; x < 4.0; x *= 1.15) {
        double theta = x * DEG;
        if (!std::isfinite(plainFormula(*store, 0, theta))) ++overflows;
        expectRelative(R(theta), parratt(*store, 0, theta), 1e-10, std::to_string(x));
    }
    EXPECT_GT(overflows, 5) << "the plain formula should fail here";
    std::vector<double> I = curve({0.05, 0.2, 0.5, 1.0, 3.0});
    for (double v : I) EXPECT_TRUE(std::isfinite(v));
}

TEST_F(Reflectivity, SubstrateThicknessDoesNotMatterEvenWhereThePlainFormulaOverflows) {
    setSlabs({{{4.7e-5, 4.8e-6}, 0.0, 3.0}, {siliconIndex(5.0), 200.0, 4.0}});
    std::vector<double> thetas{0.05 * DEG, 0.2 * DEG, 0.35 * DEG, 0.8 * DEG, 2.0 * DEG};
    std::vector<double> thin;
    for (double th : thetas) thin.push_back(R(th));
    model().slabs[0].t.value = 1e6;
    int overflows = 0;
    for (size_t i = 0; i < thetas.size(); ++i) {
        if (!std::isfinite(plainFormula(*store, 0, thetas[i]))) ++overflows;
        // Phases of 1e6 Å x k carry their rounding: 1e-9.
        expectRelative(R(thetas[i]), thin[i], 1e-9, "t0 = 1e6");
    }
    EXPECT_GT(overflows, 0);
}

TEST_F(Reflectivity, HugeRoughnessFactorsAtTotalReflectionStayFinite) {
    // A substrate of index 0 reflects totally; with 10 Å of roughness each Névot-Croce factor
    // is about e^830, their ratio a pure phase.
    setSlabs({{{1.0, 0.0}, 0.0, 10.0}});
    for (double x : {0.05, 0.5, 2.0}) {
        double theta = x * DEG;
        EXPECT_FALSE(std::isfinite(plainFormula(*store, 0, theta))) << x;
        EXPECT_NEAR(R(theta), 1.0, 1e-9) << x;
        expectRelative(R(theta), parratt(*store, 0, theta), 1e-9, "Parratt");
    }
    for (double I : reference({0.05, 0.5, 2.0})) EXPECT_NEAR(I, 1.0, 1e-9);
}

TEST_F(Reflectivity, IntensityThatIsNotFiniteThrows) {
    addSilicon(2.33, 0.0, 0.0);
    build();
    setPoints({0.3, 0.5});
    d().logI0.value = 400.0;
    EXPECT_THROW(computeReflectivity(*store, 0, false), NumberError);
    EXPECT_THROW(computeFresnelReference(*store, 0), NumberError);
    try {
        computeReflectivity(*store, 0, false);
    } catch (const NumberError& e) {
        EXPECT_NE(std::string(e.what()).find("not finite"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("x = 0.3"), std::string::npos) << e.what();
    }
    d().logI0.value = -400.0;  // the floor itself underflows to 0: log10 would be -infinity
    EXPECT_THROW(computeReflectivity(*store, 0, false), NumberError);
}

TEST_F(Reflectivity, ComputesWithoutAllocating) {
    addSilicon(2.33, 0.0, 3.0);
    for (int i = 0; i < 60; ++i) addSilicon(i % 2 ? 19.3 : 5.0, 400.0, 4.0);
    build();
    ASSERT_FALSE(std::isfinite(plainFormula(*store, 0, 0.05 * DEG))) << "the scaled path runs too";
    d().divergence = 0.01;
    std::vector<double> xs;
    for (int i = 0; i < 200; ++i) xs.push_back(0.01 + 0.02 * i);
    setPoints(xs);
    long before = test::allocationCount();
    computeReflectivity(*store, 0, true);
    computeFresnelReference(*store, 0);
    EXPECT_EQ(test::allocationCount(), before);
}

// ---- Fresnel reference.

TEST_F(Reflectivity, ReferenceOfTheSubstrateAloneIsTheCalculatedCurve) {
    addSilicon(2.33, 40.0, 5.0);
    build();
    d().logI0.value = 5.0;
    d().bg.value = 2.0;
    d().divergence = 0.01;
    std::vector<double> xs{0.05, 0.2, 0.5, 1.0, 2.5};
    EXPECT_EQ(reference(xs), curve(xs));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(d().rfLog[i], d().calcLog[i]);
}

TEST_F(Reflectivity, ReferenceIgnoresTheLayersOnTheSubstrate) {
    addSilicon(2.33, 0.0, 3.0);
    addSilicon(5.0, 200.0, 4.0);
    addSilicon(1.0, 20.0, 0.0);
    build();
    expectDigits(referenceAt(0.5), 0.00308272, 6);
}

TEST_F(Reflectivity, ReferenceTakesTheRoughnessOfTheTopSlab) {
    addSilicon(2.33, 0.0, 0.0);
    addSilicon(5.0, 200.0, 5.0);
    build();
    expectDigits(referenceAt(1.0), 9.96444e-05, 6);
    model().slabs[1].medium = {1e-5, 4e-6};  // whatever the top material
    expectDigits(referenceAt(1.0), 9.96444e-05, 6);
}

TEST_F(Reflectivity, ReferenceUnderAnAbsorbingAmbientDependsOnTheSubstrateThickness) {
    addSilicon(2.33, 0.0, 0.0);
    addSilicon(5.0, 200.0, 2.0);
    build();
    double x = 0.6;
    double thin = referenceAt(x);
    model().slabs[0].t.value = 800.0;
    EXPECT_NEAR(referenceAt(x) / thin, 1.0, 1e-12) << "non-absorbing ambient";

    Medium amb{1e-6, 4e-7};
    store->ambient = amb;
    double thick = referenceAt(x);
    model().slabs[0].t.value = 0.0;
    thin = referenceAt(x);
    double theta = x * DEG;
    StdComplex n(amb.index().re, amb.index().im);
    StdComplex kHi = TWO_PI / LAMBDA * std::sqrt(n * n - std::pow(n * std::cos(theta), 2));
    // |exp(-2 i z k_hi)|^2 = exp(4 z Im k_hi)
    expectRelative(thick / thin, std::exp(4.0 * 800.0 * kHi.imag()), 1e-9, "reference");
}

TEST_F(Reflectivity, ReferenceOfAnEmptyStackIsTheBackgroundOrTheFloor) {
    d().logI0.value = 1.0;
    d().bg.value = 0.25;
    for (double I : reference({0.1, 1.0})) EXPECT_EQ(I, 0.25);
    d().bg.value = 0.0;
    for (double I : reference({0.1, 1.0})) EXPECT_EQ(I, std::pow(10.0, -19.0));
}

}  // namespace
}  // namespace tolvi
