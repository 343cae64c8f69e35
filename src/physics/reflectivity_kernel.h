#pragma once

// The fast reflectivity kernel, written once over the vector type and compiled three times
// (reflectivity_base.cpp, reflectivity_avx2.cpp, reflectivity_avx512.cpp), each for its
// instruction set. Everything here has internal linkage: a function compiled for AVX-512 must
// never be picked by the linker to stand in for the baseline copy of the same function. For the
// same reason the kernel calls no inline library function, only operators on GCC vector types
// and __builtin_sqrt; its helpers are forced inline, so that vectors stay in registers.
//
// Every lane runs the same sequence of IEEE operations (no fused multiply-add, no reassociation,
// no approximate reciprocal), so the three builds give the same bits for the same angle.
//
// The form of the recursion: Parratt's recursion of the local reflection ratio ρ with Névot-Croce
// factors, which is the transfer matrix of the global depth coordinate with each interface's
// phases taken out. From the substrate (ρ = 0) upward, interface s between slab s (k_lo) and the
// medium above (k_hi):
//   ρ_in = ρ exp(2 i t_s k_lo)                 the wave crossing slab s (not the substrate)
//   r    = (k_hi - k_lo) / (k_hi + k_lo) exp(-2 σ_s² k_lo k_hi)
//   ρ    = (r + ρ_in) / (1 + r ρ_in)
// and at the end R = |ρ|² exp(4 z_top Im k_ambient): the global form refers the reflection
// coefficient to the bottom of slab 0, which under an absorbing ambient changes |r| by exactly
// that factor (1 for a non-absorbing ambient). Per interface this needs one complex square root
// (k_hi; k_lo is the previous interface's k_hi), two complex exponentials and one complex
// division, against four exponentials, four sines and cosines, two roughness exponentials and a
// division of the global form; and ρ stays bounded where the global amplitudes leave the double
// range.

#include "physics/reflectivity_fast.h"

namespace tolvi::fast {
namespace {

template <class D>
using IntOf = decltype(D{} < D{});  // the signed 64-bit lanes of the same width

constexpr long long SIGN_BIT = 1LL << 63;

template <class D>
[[gnu::always_inline]] inline D splat(double x) {
    return D{} + x;
}

template <class D>
[[gnu::always_inline]] inline D absolute(D x) {
    using I = IntOf<D>;
    return (D)((I)x & ~SIGN_BIT);
}

template <class D>
[[gnu::always_inline]] inline D vsqrt(D x) {
    D r;
    for (unsigned i = 0; i < sizeof(D) / sizeof(double); ++i) r[i] = __builtin_sqrt(x[i]);
    return r;
}

// Round to the nearest integer by adding and subtracting 1.5 * 2^52 (exact below 2^51 in
// magnitude); the integer itself is then the difference of the bit patterns.
constexpr double ROUNDING_SHIFT = 0x1.8p52;

// Whether any lane of a comparison is true.
template <class I>
[[gnu::always_inline]] inline bool anyLane(I m) {
    long long any = 0;
    for (unsigned i = 0; i < sizeof(I) / sizeof(long long); ++i) any |= m[i];
    return any != 0;
}

// ---- exp(x): x = n ln2 + r with |r| <= ln2/2 (Cody-Waite: ln2 split into a 40-bit head, whose
// products with |n| <= 1022 are exact, and a tail), times 2^n built in the exponent field. e^r is
// the [6/6] Padé approximant (E(r²) + r O(r²)) / (E(r²) - r O(r²)), the rational form of Cody and
// Waite, with the coefficients (12 - j)! 6! / (12! j! (6 - j)!); its own error is 1e-19 on the
// range. Written as 1 + 2 r O / (E - r O), so that mostly the rounding of the correction counts,
// it costs seven multiplications and a division where a polynomial of the same accuracy costs
// eleven, and stays within 1.4 x 2^-52 relative of the exact value (the tests check it against
// the C library). Arguments below -708 are held there (e^-708 stands for smaller values, which
// callers only add to terms of order 1); above 708 the result is meaningless, and callers flag
// lanes beyond e^GROWTH_MAX.
constexpr double EXP_ARG_MIN = -708.0;
constexpr double LOG2E = 1.4426950408889634;
constexpr double LN2_HI = 0x1.62e42fefa4000p-1;
constexpr double LN2_LO = -0x1.8432a1b0e2634p-43;
constexpr double EXP_EVEN[4] = {1.0, 0.11363636363636363, 0.0012626262626262627,
                                1.503126503126503e-06};
constexpr double EXP_ODD[3] = {0.5, 0.015151515151515152, 6.313131313131313e-05};

template <class D>
[[gnu::always_inline]] inline D vexp(D x) {
    using I = IntOf<D>;
    x = x < EXP_ARG_MIN ? splat<D>(EXP_ARG_MIN) : x;
    D shifted = x * LOG2E + ROUNDING_SHIFT;
    D n = shifted - ROUNDING_SHIFT;
    D r = (x - n * LN2_HI) - n * LN2_LO;
    D u = r * r;
    D even = ((EXP_EVEN[3] * u + EXP_EVEN[2]) * u + EXP_EVEN[1]) * u + EXP_EVEN[0];
    D rOdd = r * ((EXP_ODD[2] * u + EXP_ODD[1]) * u + EXP_ODD[0]);
    D er = 1.0 + (rOdd + rOdd) / (even - rOdd);
    I k = (I)shifted - (I)splat<D>(ROUNDING_SHIFT);
    return er * (D)((k + 1023) << 52);
}

// ---- sin x and cos x together: x = n π/2 + r with |r| <= π/4, reduced with π/2 split into a
// 33-bit head, whose products with |n| <= 2^20 are exact, and a tail, so that r carries an
// absolute error of about 1 ulp of π/4 for |x| up to SINCOS_ARG_MAX; callers flag larger
// arguments. sin r = r + r³ S(r²), cos r = 1 - r²/2 + r⁴ C(r²), with S and C degree-5
// near-minimax (Chebyshev) fits on r in [-0.7856, 0.7856], computed for this kernel in 300-bit
// arithmetic (errors 1.4e-17 and 9e-19), then the quadrant n mod 4 swaps and negates them.
constexpr double SINCOS_ARG_MAX = 1.0e6;
constexpr double PI_4 = 0.7853981633974483;
constexpr double TWO_OVER_PI = 0.6366197723675814;
constexpr double PIO2_HI = 0x1.921fb54400000p+0;
constexpr double PIO2_LO = 0x1.0b4611a626331p-34;
constexpr double SIN_S[6] = {-0.16666666666666666,    0.008333333333330945,
                             -0.0001984126983675128,  2.755731609876893e-06,
                             -2.5051131056620145e-08, 1.5918072506422032e-10};
constexpr double COS_C[6] = {0.041666666666666664,   -0.0013888888888887393,
                             2.4801587298761125e-05, -2.7557317269362897e-07,
                             2.087614577520075e-09,  -1.1382596899160409e-11};

// sin r and cos r for |r| <= π/4 (slightly more, for the rounding of n), no reduction.
template <class D>
[[gnu::always_inline]] inline void sinCosReduced(D r, D& sinR, D& cosR) {
    D u = r * r;
    D s = splat<D>(SIN_S[5]);
    D c = splat<D>(COS_C[5]);
    for (int i = 4; i >= 0; --i) {
        s = s * u + SIN_S[i];
        c = c * u + COS_C[i];
    }
    sinR = r + r * u * s;
    cosR = 1.0 - (0.5 * u - u * u * c);
}

template <class D>
[[gnu::always_inline]] inline void vsincos(D x, D& sinX, D& cosX) {
    using I = IntOf<D>;
    D shifted = x * TWO_OVER_PI + ROUNDING_SHIFT;
    D n = shifted - ROUNDING_SHIFT;
    D s, c;
    sinCosReduced((x - n * PIO2_HI) - n * PIO2_LO, s, c);
    I quadrant = (I)shifted - (I)splat<D>(ROUNDING_SHIFT);
    I odd = (quadrant & 1) != 0;
    D sinR = odd ? c : s;
    D cosR = odd ? s : c;
    sinX = (D)((I)sinR ^ ((quadrant & 2) << 62));
    cosX = (D)((I)cosR ^ (((quadrant + 1) & 2) << 62));
}

// ---- Complex numbers as pairs of vectors, with the textbook formulas and no library calls.
template <class D>
struct CVec {
    D re;
    D im;
};

template <class D>
[[gnu::always_inline]] inline CVec<D> operator+(CVec<D> a, CVec<D> b) {
    return {a.re + b.re, a.im + b.im};
}
template <class D>
[[gnu::always_inline]] inline CVec<D> operator-(CVec<D> a, CVec<D> b) {
    return {a.re - b.re, a.im - b.im};
}
template <class D>
[[gnu::always_inline]] inline CVec<D> operator*(CVec<D> a, CVec<D> b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Guards of the fast form, beyond which a lane is left to the plain kernel. A growing
// exponential (a slab with gain, as under an absorbing ambient, or a huge roughness factor) above
// e^200 keeps every product of the recursion far inside the double range; the height factor of
// an absorbing ambient may reach e^±600.
constexpr double GROWTH_MAX = 200.0;
constexpr double HEIGHT_EXP_MAX = 600.0;
// The plain kernel's phases and exponents z a± in the global coordinate carry a rounding error
// of about an ulp of their size, which reaches its R (up to 4e-16 relative per radian, measured
// on a substrate 1e6 Å thick). Beyond 1e5 rad that approaches 1e-10; such angles (stacks some
// 1e5 Å high) are left to it, so that the two never differ by more. The same bound keeps the
// phases 2 k t of the slabs (|t| <= 2 max |z|) below SINCOS_ARG_MAX.
constexpr double GLOBAL_PHASE_MAX = 1.0e5;

// What a vector of lanes has met on its way up the stack, checked once at the end.
template <class D>
struct Watch {
    IntOf<D> bad{};  // an exact zero wave number or denominator, a huge roughness phase
    D growth{};      // the largest real exponent
    D wMax{};        // the largest |κ²|
};

// κ = sqrt(chi[s] + a²), the principal root (real part never negative) in algebraic form: with
// m = |w| and t = sqrt((m + |Re w|)/2), sqrt(w) = (t, Im w / 2t) for Re w >= 0 and
// (|Im w| / 2t, ±t) with the sign of Im w otherwise, so that neither part suffers cancellation.
// (A negative zero Im w gives the lower root, as atan2 does in the plain kernel.) An exact zero
// (k = 0, where the recursion divides 0 by 0) is a bad lane.
template <class D>
[[gnu::always_inline]] inline CVec<D> waveNumber(const StackConstants& st, int s, CVec<D> aSq,
                                                 Watch<D>& watch) {
    using I = IntOf<D>;
    // χ - χ_ambient + n_ambient² sin²θ: small numbers added, none near 1 subtracted.
    D x = st.chiRe[s] + aSq.re;
    D y = st.chiIm[s] + aSq.im;
    D m = vsqrt(x * x + y * y);
    watch.wMax = m > watch.wMax ? m : watch.wMax;
    D t = vsqrt(0.5 * (m + absolute(x)));
    I zero = t == 0.0;
    watch.bad |= zero;
    t = zero ? splat<D>(1.0) : t;
    D half = y / (t + t);
    I upper = x >= 0.0;
    return {upper ? t : absolute(half), upper ? half : (D)((I)t | ((I)y & SIGN_BIT))};
}

// e^(x + i y) for |y| <= SINCOS_ARG_MAX.
template <class D>
[[gnu::always_inline]] inline CVec<D> cexpWatched(D x, D y, Watch<D>& watch) {
    watch.growth = x > watch.growth ? x : watch.growth;
    D e = vexp(x);
    D s, c;
    vsincos(y, s, c);
    return {e * c, e * s};
}

// The Névot-Croce factor exp(-2 σ² k_lo k_hi). Its phase is small wherever the media absorb
// little, so the reduction of the sine and cosine is skipped when no lane needs it.
template <class D>
[[gnu::always_inline]] inline CVec<D> roughnessFactor(double roughScale, CVec<D> kLo, CVec<D> kHi,
                                                      Watch<D>& watch) {
    CVec<D> kk = kLo * kHi;
    D x = -roughScale * kk.re;
    D y = -roughScale * kk.im;
    D absY = absolute(y);
    if (anyLane(absY > PI_4)) {
        watch.bad |= absY > SINCOS_ARG_MAX;
        return cexpWatched(x, y, watch);
    }
    watch.growth = x > watch.growth ? x : watch.growth;
    D e = vexp(x);
    D s, c;
    sinCosReduced(y, s, c);
    return {e * c, e * s};
}

// R of one vector of angles, given their a².
template <class D>
D reflectLanes(const StackConstants& st, CVec<D> aSq) {
    Watch<D> watch;
    CVec<D> kLo = waveNumber(st, 0, aSq, watch);
    CVec<D> rho{D{}, D{}};
    for (int s = 0; s < st.count; ++s) {
        CVec<D> kHi = waveNumber(st, s + 1, aSq, watch);
        double phaseScale = st.phaseScale[s];
        if (s > 0 && phaseScale != 0.0)  // ρ = 0 in the substrate: nothing to carry across it
            rho = rho * cexpWatched(-phaseScale * kLo.im, phaseScale * kLo.re, watch);
        CVec<D> diff = kHi - kLo;
        CVec<D> sum = kHi + kLo;
        if (st.roughScale[s] != 0.0)
            diff = diff * roughnessFactor(st.roughScale[s], kLo, kHi, watch);
        // ρ = (diff + sum ρ) / (sum + diff ρ): the ratio (r + ρ)/(1 + r ρ) times (k_hi + k_lo)
        // above and below, one division instead of two. A zero denominator is the global form's
        // P = 0; the plain kernel takes its limit.
        CVec<D> num = diff + sum * rho;
        CVec<D> den = sum + diff * rho;
        D denNorm = den.re * den.re + den.im * den.im;
        IntOf<D> singular = denNorm == 0.0;
        watch.bad |= singular;
        D inv = 1.0 / (singular ? splat<D>(1.0) : denNorm);
        rho = {(num.re * den.re + num.im * den.im) * inv,
               (num.im * den.re - num.re * den.im) * inv};
        kLo = kHi;
    }
    D heightExp = st.heightScale * kLo.im;  // kLo is now the ambient's κ
    IntOf<D> bad = watch.bad | (watch.growth > GROWTH_MAX) |
                   (absolute(heightExp) > HEIGHT_EXP_MAX) |
                   (st.phaseBound * vsqrt(watch.wMax) > GLOBAL_PHASE_MAX);
    D R = (rho.re * rho.re + rho.im * rho.im) * vexp(heightExp);
    return bad != 0 ? splat<D>(__builtin_nan("")) : R;
}

template <class D>
constexpr int LANES = sizeof(D) / sizeof(double);

// Loads lanes [i, i + LANES) of an array of `count`, repeating the last element past the end so
// that the spare lanes compute a real angle.
template <class D>
[[gnu::always_inline]] inline D load(const double* a, int i, int count) {
    D v;
    if (i + LANES<D> <= count) {
        __builtin_memcpy(&v, a + i, sizeof v);
    } else {
        for (int l = 0; l < LANES<D>; ++l) v[l] = a[i + l < count ? i + l : count - 1];
    }
    return v;
}

template <class D>
[[gnu::always_inline]] inline void store(D v, double* a, int i, int count) {
    if (i + LANES<D> <= count) {
        __builtin_memcpy(a + i, &v, sizeof v);
    } else {
        for (int l = 0; i + l < count; ++l) a[i + l] = v[l];
    }
}

template <class D>
void reflect(const StackConstants& st, const double* aSqRe, const double* aSqIm, int count,
             double* R) {
    for (int i = 0; i < count; i += LANES<D>) {
        CVec<D> aSq{load<D>(aSqRe, i, count), load<D>(aSqIm, i, count)};
        store(reflectLanes(st, aSq), R, i, count);
    }
}

template <class D>
void expArray(const double* x, double* y, int count) {
    for (int i = 0; i < count; i += LANES<D>) store(vexp(load<D>(x, i, count)), y, i, count);
}

template <class D>
void sinCosArray(const double* x, double* s, double* c, int count) {
    for (int i = 0; i < count; i += LANES<D>) {
        D sv, cv;
        vsincos(load<D>(x, i, count), sv, cv);
        store(sv, s, i, count);
        store(cv, c, i, count);
    }
}

template <class D>
constexpr KernelTable kernelTable(const char* name) {
    return {name, LANES<D>, &reflect<D>, &expArray<D>, &sinCosArray<D>};
}

}  // namespace
}  // namespace tolvi::fast
