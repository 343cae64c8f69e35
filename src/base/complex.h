#pragma once

#include <cmath>

namespace tolvi {

// A complex number as a plain pair of doubles. The operations are the textbook formulas,
// written out so that no library routine (and no NaN/infinity recovery) sits in the hot loops.
struct Complex {
    double re = 0.0;
    double im = 0.0;
};

inline Complex operator+(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}
inline Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
inline Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex operator*(double s, Complex a) {
    return {s * a.re, s * a.im};
}
inline Complex operator/(Complex a, Complex b) {
    double d = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
inline bool operator==(Complex a, Complex b) {
    return a.re == b.re && a.im == b.im;
}

inline double norm2(Complex a) {
    return a.re * a.re + a.im * a.im;
}
inline Complex square(Complex a) {
    return a * a;
}

// Principal square root in polar form: modulus^(1/2) at half the atan2 angle, so that the real
// part is never negative; the angle of 0 is taken as 0.
inline Complex csqrt(Complex w) {
    double r = std::sqrt(std::sqrt(w.re * w.re + w.im * w.im));
    double phi = (w.re == 0.0 && w.im == 0.0) ? 0.0 : std::atan2(w.im, w.re);
    return {r * std::cos(0.5 * phi), r * std::sin(0.5 * phi)};
}

// exp(w) = e^re (cos im + i sin im)
inline Complex cexp(Complex w) {
    double e = std::exp(w.re);
    return {e * std::cos(w.im), e * std::sin(w.im)};
}

// A medium of refractive index n = (1 - delta) + i beta (beta >= 0 absorbs), kept as delta and
// beta: the wave numbers are formed from χ = n² - 1 of each medium, which these give without the
// cancellation of n² near 1.
struct Medium {
    double delta = 0.0;
    double beta = 0.0;

    Complex index() const { return {1.0 - delta, beta}; }
    // χ = n² - 1 = -2δ + δ² - β² + 2iβ(1 - δ).
    Complex chi() const {
        return {-2.0 * delta + delta * delta - beta * beta, 2.0 * beta * (1.0 - delta)};
    }
};

inline bool isFinite(Complex a) {
    return std::isfinite(a.re) && std::isfinite(a.im);
}

}  // namespace tolvi
