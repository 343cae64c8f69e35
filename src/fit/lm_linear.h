#pragma once

#include <cstddef>

// The linear algebra of the Levenberg-Marquardt engine, after the MINPACK-1 routines of the same
// names (Moré, Garbow, Hillstrom, Argonne report ANL-80-74). Internal to src/fit; indices are
// 0-based, matrices column-major.

namespace tolvi::lm {

// A column-major matrix view: element (i, j) at data[i + j * ld].
struct MatrixView {
    double* data = nullptr;
    int ld = 0;

    double& operator()(int i, int j) const { return data[i + static_cast<std::ptrdiff_t>(j) * ld]; }
    double* column(int j) const { return data + static_cast<std::ptrdiff_t>(j) * ld; }
};

// Euclidean norm of x[0..n-1] without destructive underflow or overflow (MINPACK enorm): small,
// intermediate and large components are summed apart, split at sqrt(1.5 DWARF) 10 and
// sqrt(GIANT) 0.1 / n.
double enorm(int n, const double* x);

// Householder QR factorisation with column pivoting of the m x n matrix a (MINPACK qrfac with
// pivot = true). On return the strict upper triangle of a holds R without its diagonal, which
// is in rdiag; the lower trapezoid holds the Householder vectors. ipvt[j] is the original
// column now in position j, acnorm the norms of the original columns. wa: n doubles.
void qrfac(int m, int n, MatrixView a, int* ipvt, double* rdiag, double* acnorm, double* wa);

// Solves the least-squares system [A; D] x = [b; 0] given the QR factors of A P, Q^T b in qtb
// and the diagonal D in diag (MINPACK qrsolv). The full upper triangle of r is kept; its strict
// lower triangle and sdiag receive the triangular factor S of the augmented system. wa: n.
void qrsolv(int n, MatrixView r, const int* ipvt, const double* diag, const double* qtb, double* x,
            double* sdiag, double* wa);

// The Levenberg-Marquardt parameter par for trust-region radius delta and the step x solving
// (A^T A + par D^T D) x = A^T b with |D x| within 10% of delta, or par = 0 when the Gauss-Newton
// step already lies inside (MINPACK lmpar: at most 10 iterations of the parameter search).
// par holds the initial estimate on entry. sdiag, wa1, wa2: n doubles.
void lmpar(int n, MatrixView r, const int* ipvt, const double* diag, const double* qtb,
           double delta, double& par, double* x, double* sdiag, double* wa1, double* wa2);

// Turns the R of qrfac (full upper triangle incl. diagonal) into the n x n covariance
// (A^T A)^-1 in the original column order (MINPACK covar). Columns beyond the numerical rank,
// the first k with |R_kk| <= tol |R_11|, get zero rows and columns. wa: n doubles.
void covar(int n, MatrixView r, const int* ipvt, double tol, double* wa);

}  // namespace tolvi::lm
