#include "physics/reflectivity.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

#include "model/status.h"

namespace tolvi {

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double INV_PI = 0.3183098861837907;
constexpr double DEG_TO_RAD = 0.017453292519943295;
// FWHM to standard deviation of a Gaussian: 1 / (2 sqrt(2 ln 2)).
constexpr double FWHM_TO_SIGMA = 0.42466090826475056;
constexpr double LN2 = 0.6931471805599453;

// Divergence quadrature: four nodes in units of the standard deviation; the weights sum to 1.
constexpr int NODES = 4;
constexpr std::array<double, NODES> NODE_OFFSET{0.5, -0.5, 1.5, -1.5};
constexpr std::array<double, NODES> NODE_WEIGHT{0.357, 0.357, 0.143, 0.143};

// The plain transfer matrix serves while no exponential of an interface exceeds e^200 (and not
// every entry falls below e^-200): its entries, products of two exponentials, then stay within
// e^±400 ≈ 2^±577, and with (P, Q) held within 2^±128 every product of the recursion stays far
// inside the double range (2^±1022). Beyond that the scaled form takes over.
constexpr double PLAIN_EXPONENT_LIMIT = 200.0;
constexpr double PQ_HIGH = 0x1p128;
constexpr double PQ_LOW = 0x1p-128;
// Below this the amplitudes have lost digits to underflow: redo the interface scaled.
constexpr double PQ_UNDERFLOW = 0x1p-900;

// The slab stack unpacked once per curve: squared effective indices (magnetic term applied;
// the ambient medium last), the heights of the interfaces and their roughnesses.
struct StackOptics {
    int count = 0;  // interfaces = slabs
    std::array<Complex, MAX_SLABS + 1> nSq;
    std::array<double, MAX_SLABS> z;      // Å above the bottom of slab 0
    std::array<double, MAX_SLABS> sigma;  // Å
};

Complex effectiveIndex(const LayerEntry& slab, double p) {
    return slab.n - p * slab.magTerm;
}

void unpackStack(const ModelStore& store, int slot, StackOptics& st) {
    const LayerModel& model = store.layerModel(slot);
    double p = store.dataSet(slot).magMode;
    int count = std::clamp(model.layall, 0, MAX_SLABS);
    double z = 0.0;
    for (int s = 0; s < count; ++s) {
        const LayerEntry& slab = model.slabs[s];
        st.nSq[s] = square(effectiveIndex(slab, p));
        z = z + slab.t.value;
        st.z[s] = z;
        st.sigma[s] = slab.sig.value;
    }
    // The ambient medium never carries a magnetic term.
    st.nSq[count] = square(store.ambientN);
    st.count = count;
}

// One interface: the substrate (with its thickness) under the ambient medium, with the roughness
// of the sample surface. An empty stack stays empty.
void unpackSubstrate(const ModelStore& store, int slot, StackOptics& st) {
    const LayerModel& model = store.layerModel(slot);
    int count = std::clamp(model.layall, 0, MAX_SLABS);
    st.count = count > 0 ? 1 : 0;
    if (count == 0) return;
    const LayerEntry& substrate = model.slabs[0];
    st.nSq[0] = square(effectiveIndex(substrate, store.dataSet(slot).magMode));
    st.nSq[1] = square(store.ambientN);
    st.z[0] = 0.0 + substrate.t.value;
    st.sigma[0] = model.slabs[count - 1].sig.value;
}

// What the two paths share of interface s: the prefactors 0.5 (1 ± r) with r = k_lo / k_hi,
// a± = k_lo ± k_hi, the height and the roughness.
struct Interface {
    Complex wPlus;
    Complex wMinus;
    Complex aMinus;
    Complex aPlus;
    double z = 0.0;
    double sigma = 0.0;
};

Interface makeInterface(Complex kLo, Complex kHi, double z, double sigma) {
    Interface f;
    if (kHi.re != 0.0 || kHi.im != 0.0) {
        Complex r = kLo / kHi;
        f.wPlus = 0.5 * (Complex{1.0, 0.0} + r);
        f.wMinus = 0.5 * (Complex{1.0, 0.0} - r);
    } else {
        // k_hi = 0 (an index equal to the in-plane component): the matrix times k_hi has the
        // same Q/P and needs no division, 0.5 (k_hi ± k_lo) in place of 0.5 (1 ± r).
        f.wPlus = 0.5 * kLo;
        f.wMinus = -0.5 * kLo;
    }
    f.aMinus = kLo - kHi;
    f.aPlus = kLo + kHi;
    f.z = z;
    f.sigma = sigma;
    return f;
}

// Névot-Croce exponents -0.5 (σ a)^2 of an interface.
struct Roughness {
    Complex gMinus;
    Complex gPlus;
};

Roughness roughness(const Interface& f) {
    if (f.sigma == 0.0) return {};
    return {-0.5 * square(f.sigma * f.aMinus), -0.5 * square(f.sigma * f.aPlus)};
}

// The interface matrix as written:
//   A = 0.5 (1 + r) exp(-i z a-) F-    B = 0.5 (1 - r) exp(+i z a+) F+
//   C = 0.5 (1 - r) exp(-i z a+) F+    D = 0.5 (1 + r) exp(+i z a-) F-
// applied to (P, Q). exp(∓i z a) for real z is e^{±z Im a} (cos(z Re a) ∓ i sin(z Re a)), so
// each pair shares its cosine and sine and gives the same numbers as two separate exponentials.
// Returns false, leaving (P, Q) alone, when an exponential would exceed e^200, every entry would
// fall below e^-200, or the new amplitudes overflow or underflow: the caller then goes on with
// the scaled form from this interface.
bool plainStep(const Interface& f, const Roughness& g, Complex& P, Complex& Q) {
    double xm = f.z * f.aMinus.im;
    double xp = f.z * f.aPlus.im;
    double top = std::max(g.gMinus.re + std::fabs(xm), g.gPlus.re + std::fabs(xp));
    if (!(std::fabs(xm) <= PLAIN_EXPONENT_LIMIT && std::fabs(xp) <= PLAIN_EXPONENT_LIMIT &&
          g.gMinus.re <= PLAIN_EXPONENT_LIMIT && g.gPlus.re <= PLAIN_EXPONENT_LIMIT &&
          top >= -PLAIN_EXPONENT_LIMIT))
        return false;

    double ym = f.z * f.aMinus.re;
    double yp = f.z * f.aPlus.re;
    double cm = std::cos(ym), sm = std::sin(ym);
    double cp = std::cos(yp), sp = std::sin(yp);
    double em = std::exp(xm), emInv = std::exp(-xm);
    double ep = std::exp(xp), epInv = std::exp(-xp);
    Complex A = f.wPlus * Complex{em * cm, -(em * sm)};
    Complex B = f.wMinus * Complex{epInv * cp, epInv * sp};
    Complex C = f.wMinus * Complex{ep * cp, -(ep * sp)};
    Complex D = f.wPlus * Complex{emInv * cm, emInv * sm};
    if (f.sigma != 0.0) {
        Complex fMinus = cexp(g.gMinus);
        Complex fPlus = cexp(g.gPlus);
        A = A * fMinus;
        B = B * fPlus;
        C = C * fPlus;
        D = D * fMinus;
    }
    Complex P2 = A * P + B * Q;
    Complex Q2 = C * P + D * Q;

    double m = std::max(std::max(std::fabs(P2.re), std::fabs(P2.im)),
                        std::max(std::fabs(Q2.re), std::fabs(Q2.im)));
    if (!(m <= PQ_HIGH && m >= PQ_LOW)) {
        if (!(m <= DBL_MAX) || m < PQ_UNDERFLOW) return false;
        // Only Q/P matters: a power of two rescales both without changing a digit of it.
        int e = std::ilogb(m);
        P2 = {std::scalbn(P2.re, -e), std::scalbn(P2.im, -e)};
        Q2 = {std::scalbn(Q2.re, -e), std::scalbn(Q2.im, -e)};
    }
    P = P2;
    Q = Q2;
    return true;
}

// An amplitude v e^scale, for stacks whose global-coordinate factors exceed the double range.
// P and Q need separate scales: in an absorbing slab high in the stack their ratio grows like
// e^(2 z Im k), which no pair of doubles with a common scale can hold.
struct Scaled {
    Complex v;
    double scale = 0.0;
};

bool isZero(Complex a) {
    return a.re == 0.0 && a.im == 0.0;
}

Scaled normalised(Scaled a) {
    double m = std::max(std::fabs(a.v.re), std::fabs(a.v.im));
    if (m == 0.0 || !std::isfinite(m)) return a;
    int e = std::ilogb(m);
    a.v = {std::scalbn(a.v.re, -e), std::scalbn(a.v.im, -e)};
    a.scale += e * LN2;
    return a;
}

// w1 e^g1 a1 + w2 e^g2 a2, with the larger real exponent taken out as the new scale, so that
// neither exponential can overflow and only a negligible term can underflow.
Scaled combine(Complex w1, Complex g1, Scaled a1, Complex w2, Complex g2, Scaled a2) {
    bool has1 = !isZero(a1.v);
    bool has2 = !isZero(a2.v);
    if (!has1 && !has2) return {};
    double e1 = g1.re + a1.scale;
    double e2 = g2.re + a2.scale;
    double top = !has2 ? e1 : !has1 ? e2 : std::max(e1, e2);
    Complex sum;
    if (has1) sum = sum + w1 * cexp({e1 - top, g1.im}) * a1.v;
    if (has2) sum = sum + w2 * cexp({e2 - top, g2.im}) * a2.v;
    return normalised({sum, top});
}

// The same interface matrix with each entry as w e^g: the exponents of the phase factor and of
// the roughness factor are added before exponentiating and the largest is scaled out.
void scaledStep(const Interface& f, const Roughness& g, Scaled& P, Scaled& Q) {
    double xm = f.z * f.aMinus.im, ym = f.z * f.aMinus.re;
    double xp = f.z * f.aPlus.im, yp = f.z * f.aPlus.re;
    Complex gA{xm + g.gMinus.re, -ym + g.gMinus.im};
    Complex gB{-xp + g.gPlus.re, yp + g.gPlus.im};
    Complex gC{xp + g.gPlus.re, -yp + g.gPlus.im};
    Complex gD{-xm + g.gMinus.re, ym + g.gMinus.im};
    Scaled P2 = combine(f.wPlus, gA, P, f.wMinus, gB, Q);
    Scaled Q2 = combine(f.wMinus, gC, P, f.wPlus, gD, Q);
    P = P2;
    Q = Q2;
}

// R = |Q/P|^2 of one angle: the transfer-matrix recursion in the global depth coordinate from the
// substrate (P = 1, Q = 0) up to the ambient medium. Each k_hi is the next interface's k_lo.
double stackReflectivity(const StackOptics& st, Complex ambientN, double k0, double theta) {
    if (st.count == 0) return 0.0;
    Complex c = std::cos(theta) * ambientN;  // in-plane component, conserved through the stack
    Complex cSq = square(c);
    Complex kLo = k0 * csqrt(st.nSq[0] - cSq);
    Complex P{1.0, 0.0};
    Complex Q{0.0, 0.0};
    Scaled Ps, Qs;
    bool scaled = false;
    for (int s = 0; s < st.count; ++s) {
        Complex kHi = k0 * csqrt(st.nSq[s + 1] - cSq);
        Interface f = makeInterface(kLo, kHi, st.z[s], st.sigma[s]);
        Roughness g = roughness(f);
        kLo = kHi;
        if (!scaled) {
            if (plainStep(f, g, P, Q)) continue;
            scaled = true;
            Ps = normalised({P, 0.0});
            Qs = normalised({Q, 0.0});
        }
        scaledStep(f, g, Ps, Qs);
    }
    // P = 0 leaves Q/P undefined: take its limit, total reflection.
    if (!scaled) return isZero(P) ? 1.0 : norm2(Q / P);
    if (isZero(Ps.v)) return 1.0;
    if (isZero(Qs.v)) return 0.0;
    return norm2(Qs.v / Ps.v) * std::exp(2.0 * (Qs.scale - Ps.scale));
}

// R at one x value (before the zero shift): one node, or the weighted four-node average over the
// divergence. Every node's angle is taken before any reflectivity.
double pointReflectivity(const DataSet& d, const StackOptics& st, Complex ambientN, double k0,
                         double sx, double x) {
    double xs = x - d.x0_shift.value;
    if (sx == 0.0) return stackReflectivity(st, ambientN, k0, grazingAngle(d.xAxis, d.lamd, xs));
    std::array<double, NODES> theta;
    for (int k = 0; k < NODES; ++k)
        theta[k] = grazingAngle(d.xAxis, d.lamd, xs + NODE_OFFSET[k] * sx);
    double R = 0.0;
    for (int k = 0; k < NODES; ++k)
        R = R + NODE_WEIGHT[k] * stackReflectivity(st, ambientN, k0, theta[k]);
    return R;
}

[[noreturn]] void throwNotFinite(const char* what, int slot, double x, double R, double L,
                                 double bg) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The %s intensity of F%d at x = %.15g is not finite (R = %.6g, logI0 = %.15g, "
                  "bg = %.15g)",
                  what, slot + 1, x, R, L, bg);
    throw NumberError(text);
}

// Intensities of every point from an unpacked stack into (lin, lg), and also (lin2, lg2) when
// they are given.
void fillCurve(const ModelStore& store, int slot, const StackOptics& st, const char* what,
               std::array<double, MAX_DATA>& lin, std::array<double, MAX_DATA>& lg,
               std::array<double, MAX_DATA>* lin2, std::array<double, MAX_DATA>* lg2) {
    const DataSet& d = store.dataSet(slot);
    double k0 = TWO_PI / d.lamd;
    // The nodes are symmetric, so a negative divergence acts as its absolute value.
    double sx = std::fabs(d.divergence) * FWHM_TO_SIGMA;
    double L = d.logI0.value;
    double bg = d.bg.value;
    double scale = std::pow(10.0, L);
    double floor = std::pow(10.0, L - 20.0);
    int n = std::clamp(d.npoints, 0, MAX_DATA);
    for (int i = 0; i < n; ++i) {
        double R = pointReflectivity(d, st, store.ambientN, k0, sx, d.xData[i]);
        double I = scale * R + bg;
        if (I < floor) I = floor;
        double logI = std::log10(I);
        if (!std::isfinite(I) || !std::isfinite(logI))
            throwNotFinite(what, slot, d.xData[i], R, L, bg);
        lin[i] = I;
        lg[i] = logI;
        if (lin2) {
            (*lin2)[i] = I;
            (*lg2)[i] = logI;
        }
    }
}

}  // namespace

double grazingAngle(int xAxis, double lamd, double x) {
    if (xAxis == 0) {
        if (x < 1e-5) x = 1e-5;
        return DEG_TO_RAD * x;
    }
    if (xAxis == 1) {
        if (x < 2e-5) x = 2e-5;
        return 0.5 * DEG_TO_RAD * x;
    }
    double s = lamd * x * 0.25 * INV_PI;
    // Beyond q = 4π/λ there is no angle: hold the sine at ±1, so that such a point is computed at
    // 90° (and a negative one falls to the floor below).
    if (s > 1.0) s = 1.0;
    if (s < -1.0) s = -1.0;
    double theta = std::asin(s);
    if (theta < 1e-6) theta = 1e-6;
    return theta;
}

double slabReflectivity(const ModelStore& store, int slot, double theta) {
    StackOptics st;
    unpackStack(store, slot, st);
    return stackReflectivity(st, store.ambientN, TWO_PI / store.dataSet(slot).lamd, theta);
}

void computeReflectivity(ModelStore& store, int slot, bool simulate) {
    StackOptics st;
    unpackStack(store, slot, st);
    DataSet& d = store.dataSet(slot);
    fillCurve(store, slot, st, "calculated", d.calcLin, d.calcLog, simulate ? &d.yLin : nullptr,
              simulate ? &d.yLog : nullptr);
}

void computeFresnelReference(ModelStore& store, int slot) {
    StackOptics st;
    unpackSubstrate(store, slot, st);
    DataSet& d = store.dataSet(slot);
    fillCurve(store, slot, st, "reference", d.rfLin, d.rfLog, nullptr, nullptr);
}

}  // namespace tolvi
