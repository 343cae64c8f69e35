#include "fit/lm_linear.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fit/lm.h"

namespace tolvi::lm {

namespace {
// Thresholds of enorm, from the engine's documented machine constants.
const double smallThreshold = std::sqrt(1.5 * DWARF) * 10.0;
const double largeThreshold = std::sqrt(GIANT) * 0.1;
}  // namespace

double enorm(int n, const double* x) {
    if (n <= 0) return 0.0;
    double s1 = 0.0, s2 = 0.0, s3 = 0.0;  // sums of large, intermediate and small components
    double x1max = 0.0, x3max = 0.0;
    const double agiant = largeThreshold / n;
    for (int i = 0; i < n; ++i) {
        double xabs = std::fabs(x[i]);
        if (xabs > smallThreshold && xabs < agiant) {
            s2 += xabs * xabs;
        } else if (xabs <= smallThreshold) {
            // Small components are summed relative to the largest of them so far.
            if (xabs > x3max) {
                double r = x3max / xabs;
                s3 = 1.0 + s3 * r * r;
                x3max = xabs;
            } else if (xabs != 0.0) {
                double r = xabs / x3max;
                s3 += r * r;
            }
        } else {
            if (xabs > x1max) {
                double r = x1max / xabs;
                s1 = 1.0 + s1 * r * r;
                x1max = xabs;
            } else {
                double r = xabs / x1max;
                s1 += r * r;
            }
        }
    }
    if (s1 != 0.0) return x1max * std::sqrt(s1 + (s2 / x1max) / x1max);
    if (s2 != 0.0) {
        if (s2 >= x3max) return std::sqrt(s2 * (1.0 + (x3max / s2) * (x3max * s3)));
        return std::sqrt(x3max * ((s2 / x3max) + (x3max * s3)));
    }
    return x3max * std::sqrt(s3);
}

void qrfac(int m, int n, MatrixView a, int* ipvt, double* rdiag, double* acnorm, double* wa) {
    for (int j = 0; j < n; ++j) {
        acnorm[j] = enorm(m, a.column(j));
        rdiag[j] = acnorm[j];
        wa[j] = rdiag[j];
        ipvt[j] = j;
    }

    const int minmn = std::min(m, n);
    for (int j = 0; j < minmn; ++j) {
        // Bring the column of largest remaining norm into the pivot position.
        int kmax = j;
        for (int k = j; k < n; ++k)
            if (rdiag[k] > rdiag[kmax]) kmax = k;
        if (kmax != j) {
            for (int i = 0; i < m; ++i) std::swap(a(i, j), a(i, kmax));
            rdiag[kmax] = rdiag[j];
            wa[kmax] = wa[j];
            std::swap(ipvt[j], ipvt[kmax]);
        }

        // The Householder transformation that reduces column j to a multiple of e_j.
        double ajnorm = enorm(m - j, &a(j, j));
        if (ajnorm != 0.0) {
            if (a(j, j) < 0.0) ajnorm = -ajnorm;
            for (int i = j; i < m; ++i) a(i, j) /= ajnorm;
            a(j, j) += 1.0;

            // Apply it to the remaining columns and update their norms.
            for (int k = j + 1; k < n; ++k) {
                double sum = 0.0;
                for (int i = j; i < m; ++i) sum += a(i, j) * a(i, k);
                double temp = sum / a(j, j);
                for (int i = j; i < m; ++i) a(i, k) -= temp * a(i, j);
                if (rdiag[k] != 0.0) {
                    temp = a(j, k) / rdiag[k];
                    rdiag[k] *= std::sqrt(std::max(0.0, 1.0 - temp * temp));
                    // The downdated norm has lost its accuracy: recompute it from the column.
                    double ratio = rdiag[k] / wa[k];
                    if (0.05 * ratio * ratio <= MACHEP) {
                        rdiag[k] = enorm(m - j - 1, &a(j, k) + 1);
                        wa[k] = rdiag[k];
                    }
                }
            }
        }
        rdiag[j] = -ajnorm;
    }
}

void qrsolv(int n, MatrixView r, const int* ipvt, const double* diag, const double* qtb, double* x,
            double* sdiag, double* wa) {
    // Copy R and Q^T b so that the upper triangle survives; keep R's diagonal in x.
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) r(i, j) = r(j, i);
        x[j] = r(j, j);
        wa[j] = qtb[j];
    }

    // Eliminate the diagonal matrix D row by row with Givens rotations.
    for (int j = 0; j < n; ++j) {
        int l = ipvt[j];
        if (diag[l] != 0.0) {
            for (int k = j; k < n; ++k) sdiag[k] = 0.0;
            sdiag[j] = diag[l];
            // The rotations touch only one element of Q^T b beyond the first n.
            double qtbpj = 0.0;
            for (int k = j; k < n; ++k) {
                if (sdiag[k] == 0.0) continue;
                double sine, cosine;
                if (std::fabs(r(k, k)) < std::fabs(sdiag[k])) {
                    double cotan = r(k, k) / sdiag[k];
                    sine = 0.5 / std::sqrt(0.25 + 0.25 * cotan * cotan);
                    cosine = sine * cotan;
                } else {
                    double tangent = sdiag[k] / r(k, k);
                    cosine = 0.5 / std::sqrt(0.25 + 0.25 * tangent * tangent);
                    sine = cosine * tangent;
                }
                r(k, k) = cosine * r(k, k) + sine * sdiag[k];
                double temp = cosine * wa[k] + sine * qtbpj;
                qtbpj = -sine * wa[k] + cosine * qtbpj;
                wa[k] = temp;
                for (int i = k + 1; i < n; ++i) {
                    temp = cosine * r(i, k) + sine * sdiag[i];
                    sdiag[i] = -sine * r(i, k) + cosine * sdiag[i];
                    r(i, k) = temp;
                }
            }
        }
        sdiag[j] = r(j, j);
        r(j, j) = x[j];
    }

    // Back-substitution; a singular S gives the least-squares solution with trailing zeros.
    int nsing = n;
    for (int j = 0; j < n; ++j) {
        if (sdiag[j] == 0.0 && nsing == n) nsing = j;
        if (nsing < n) wa[j] = 0.0;
    }
    for (int j = nsing - 1; j >= 0; --j) {
        double sum = 0.0;
        for (int i = j + 1; i < nsing; ++i) sum += r(i, j) * wa[i];
        wa[j] = (wa[j] - sum) / sdiag[j];
    }
    for (int j = 0; j < n; ++j) x[ipvt[j]] = wa[j];
}

void lmpar(int n, MatrixView r, const int* ipvt, const double* diag, const double* qtb,
           double delta, double& par, double* x, double* sdiag, double* wa1, double* wa2) {
    constexpr double p1 = 0.1;
    constexpr double p001 = 0.001;

    // The Gauss-Newton direction; a rank-deficient R gives a least-squares solution.
    int nsing = n;
    for (int j = 0; j < n; ++j) {
        wa1[j] = qtb[j];
        if (r(j, j) == 0.0 && nsing == n) nsing = j;
        if (nsing < n) wa1[j] = 0.0;
    }
    for (int j = nsing - 1; j >= 0; --j) {
        wa1[j] /= r(j, j);
        double temp = wa1[j];
        for (int i = 0; i < j; ++i) wa1[i] -= r(i, j) * temp;
    }
    for (int j = 0; j < n; ++j) x[ipvt[j]] = wa1[j];

    // Accept par = 0 when the Gauss-Newton step is short enough.
    int iter = 0;
    for (int j = 0; j < n; ++j) wa2[j] = diag[j] * x[j];
    double dxnorm = enorm(n, wa2);
    double fp = dxnorm - delta;
    if (fp <= p1 * delta) {
        par = 0.0;
        return;
    }

    // Lower bound parl of the zero of phi(par) = |D x| - delta from a Newton step at par = 0;
    // without full rank the bound is zero.
    double parl = 0.0;
    if (nsing >= n) {
        for (int j = 0; j < n; ++j) {
            int l = ipvt[j];
            wa1[j] = diag[l] * (wa2[l] / dxnorm);
        }
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int i = 0; i < j; ++i) sum += r(i, j) * wa1[i];
            wa1[j] = (wa1[j] - sum) / r(j, j);
        }
        double temp = enorm(n, wa1);
        parl = ((fp / delta) / temp) / temp;
    }

    // Upper bound paru from the scaled gradient.
    for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int i = 0; i <= j; ++i) sum += r(i, j) * qtb[i];
        wa1[j] = sum / diag[ipvt[j]];
    }
    double gnorm = enorm(n, wa1);
    double paru = gnorm / delta;
    if (paru == 0.0) paru = DWARF / std::min(delta, p1);

    // Start from the caller's estimate, moved into [parl, paru].
    par = std::max(par, parl);
    par = std::min(par, paru);
    if (par == 0.0) par = gnorm / dxnorm;

    for (;;) {
        ++iter;
        if (par == 0.0) par = std::max(DWARF, p001 * paru);
        double temp = std::sqrt(par);
        for (int j = 0; j < n; ++j) wa1[j] = temp * diag[j];
        qrsolv(n, r, ipvt, wa1, qtb, x, sdiag, wa2);
        for (int j = 0; j < n; ++j) wa2[j] = diag[j] * x[j];
        dxnorm = enorm(n, wa2);
        temp = fp;
        fp = dxnorm - delta;

        // Stop when |D x| is within 10% of delta, when parl = 0 and phi is negative and no
        // longer rising, or after 10 iterations.
        if (std::fabs(fp) <= p1 * delta || (parl == 0.0 && fp <= temp && temp < 0.0) || iter == 10)
            break;

        // Newton correction of par, using the factor S of the augmented system.
        for (int j = 0; j < n; ++j) {
            int l = ipvt[j];
            wa1[j] = diag[l] * (wa2[l] / dxnorm);
        }
        for (int j = 0; j < n; ++j) {
            wa1[j] /= sdiag[j];
            temp = wa1[j];
            for (int i = j + 1; i < n; ++i) wa1[i] -= r(i, j) * temp;
        }
        temp = enorm(n, wa1);
        double parc = ((fp / delta) / temp) / temp;

        if (fp > 0.0) parl = std::max(parl, par);
        if (fp < 0.0) paru = std::min(paru, par);
        par = std::max(parl, par + parc);
    }
}

void covar(int n, MatrixView r, const int* ipvt, double tol, double* wa) {
    // Invert the leading well-conditioned block of R in place; l is its last column.
    const double tolr = tol * std::fabs(r(0, 0));
    int l = -1;
    for (int k = 0; k < n; ++k) {
        if (std::fabs(r(k, k)) <= tolr) break;
        r(k, k) = 1.0 / r(k, k);
        for (int j = 0; j < k; ++j) {
            double temp = r(k, k) * r(j, k);
            r(j, k) = 0.0;
            for (int i = 0; i <= j; ++i) r(i, k) -= temp * r(i, j);
        }
        l = k;
    }

    // The full upper triangle of (R^T R)^-1 = R^-1 R^-T.
    for (int k = 0; k <= l; ++k) {
        for (int j = 0; j < k; ++j) {
            double temp = r(j, k);
            for (int i = 0; i <= j; ++i) r(i, j) += temp * r(i, k);
        }
        double temp = r(k, k);
        for (int i = 0; i <= k; ++i) r(i, k) *= temp;
    }

    // Undo the pivoting: the covariance's lower triangle goes into the strict lower triangle
    // of r, its diagonal into wa. Rows and columns beyond the rank become zero.
    for (int j = 0; j < n; ++j) {
        int jj = ipvt[j];
        bool singular = j > l;
        for (int i = 0; i <= j; ++i) {
            if (singular) r(i, j) = 0.0;
            int ii = ipvt[i];
            if (ii > jj) r(ii, jj) = r(i, j);
            if (ii < jj) r(jj, ii) = r(i, j);
        }
        wa[jj] = r(j, j);
    }

    // Symmetrise.
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i <= j; ++i) r(i, j) = r(j, i);
        r(j, j) = wa[j];
    }
}

}  // namespace tolvi::lm
