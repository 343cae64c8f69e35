#pragma once

#include <string>
#include <string_view>

namespace tolvi {

// Settings and machine constants of the Levenberg-Marquardt engine. No caller changes them; the
// decimal values are the documented ones, not the exact limits of IEEE double.
namespace lm {
constexpr double ftol = 1e-10;            // relative chi-square reduction test
constexpr double xtol = 1e-10;            // relative parameter change test
constexpr double gtol = 1e-10;            // orthogonality (gradient) test
constexpr double epsfcn = 2.2204460e-16;  // relative precision of the residuals (automatic step)
constexpr double stepfactor = 100.0;      // initial step bound factor
constexpr double covtol = 1e-14;          // rank tolerance of the covariance
constexpr int maxiter = 200;              // iteration limit

constexpr double MACHEP = 2.2204460e-16;
constexpr double DWARF = 2.2250739e-308;
constexpr double GIANT = 1.7976931e+308;

// Status codes of lmFit, and the codes of the fit drivers that share lmStatusText.
constexpr int CHI_CONVERGED = 1;           // chi-square reduction within ftol
constexpr int PARAMS_CONVERGED = 2;        // parameter change within xtol
constexpr int BOTH_CONVERGED = 3;          // 1 and 2
constexpr int GRADIENT_ORTHOGONAL = 4;     // residuals orthogonal to the Jacobian within gtol
constexpr int MAX_ITERATIONS = 5;          // iteration limit reached
constexpr int FTOL_TOO_SMALL = 6;          // no further chi-square reduction is possible
constexpr int XTOL_TOO_SMALL = 7;          // no further parameter change is possible
constexpr int GTOL_TOO_SMALL = 8;          // gradient below machine precision
constexpr int GA_FINISHED = 9;             // genetic fit ended
constexpr int INPUT_PARAM = -1;            // residual function failed with -1
constexpr int NON_FINITE = -16;            // residuals (or Jacobian or step) not finite
constexpr int NO_FUNCTION = -17;           // no residual function
constexpr int NO_DATA = -18;               // m <= 0 or no parameter vector
constexpr int NO_FREE_PARAM = -19;         // n <= 0, or every parameter fixed
constexpr int NO_STORAGE = -20;            // the work arrays cannot be allocated
constexpr int START_OUTSIDE_BOUNDS = -21;  // a start value outside its active bounds
constexpr int INCONSISTENT_BOUNDS = -22;   // a free parameter with lower >= upper
constexpr int BAD_SETTINGS = -23;          // a tolerance or factor not positive (the settings
                                           // above are constants: no fit ends so)
constexpr int TOO_FEW_RESIDUALS = -24;     // m < number of free parameters
constexpr int GA_NO_PARAM = -25;           // genetic fit without free parameters
constexpr int LM_NO_PARAM = -26;           // least-squares fit without free parameters
constexpr int CANCELLED = -34;  // a fit stopped by its caller (FitState::cancelRequested)
}  // namespace lm

// One record per parameter; callers zero-fill, then set what they use. `side` is kept for
// one-sided or two-sided differences; the engine ignores it (only 0 is supported).
struct LmParam {
    int fixed = 0;            // non-zero: keeps its start value
    int limited[2] = {0, 0};  // [0] lower bound active, [1] upper bound active
    double limits[2] = {0.0, 0.0};
    double step = 0.0;     // absolute finite-difference step; 0 (or negative) = automatic
    double relStep = 0.0;  // > 0: the step is max(relStep |x|, step) at the current x
    int side = 0;          // always 0
};

// Filled by lmFit when the caller passes one. xerror is the caller's array of n doubles (or
// nullptr); lmFit writes the 1-sigma errors into it and leaves the pointer alone. covariance, when
// given, is the caller's n x n array (row-major, the caller's order): the covariance of the free
// parameters, (J^T J)^-1 of the residuals as the function returns them, unscaled; rows and
// columns of fixed parameters, and of those beyond the numerical rank, hold 0.
struct LmResult {
    double bestnorm = 0.0;  // final chi-square: max(accepted norm, last trial norm) squared
    double orignorm = 0.0;  // chi-square at the start values
    int niter = 0;          // starts at 1, one more per accepted step
    int nfev = 0;           // residual evaluations, Jacobian columns and the final call included
    int status = 0;
    int npar = 0;     // n
    int nfree = 0;    // free parameters
    int npegged = 0;  // parameters (fixed ones included) sitting exactly on an active bound
    int nfunc = 0;    // m
    double* xerror = nullptr;
    double* covariance = nullptr;
};

// Fills m residuals for the n parameters x (fixed ones included, caller's order). Returns >= 0 on
// success, < 0 to stop the fit with that status.
using ResidualFn = int (*)(int m, int n, const double* x, double* residuals, void* context);

// Evaluates `count` parameter vectors at once (xs: count x n, residuals: count x m, statuses: one
// per vector, each what a ResidualFn would return). The engine hands it the Jacobian's columns,
// which are independent, so that a caller may compute them in parallel; the numbers must be those
// of `count` calls of the ResidualFn.
using BatchResidualFn = void (*)(int count, int m, int n, const double* xs, double* residuals,
                                 int* statuses, void* context);

// Minimises the sum of squared residuals over the free parameters of x within their active
// bounds: MINPACK lmdif (forward-difference Jacobian, pivoted QR, lmpar trust region) extended
// for fixed and bounded parameters. x holds the start values on entry and the best values on
// return; params (n records) and result may be nullptr, without params every parameter is free.
// Returns 1..4 on convergence, 5..8 with a warning (x still the best values found), a negative
// status of the residual function, -16 for non-finite residuals (x: best values so far), or
// -17..-24 from the checks before fitting (x unchanged, residual function not called).
// After a positive status the last call of the residual function was made with the returned x.
// An exception thrown by the residual function propagates; nothing leaks.
// With `batch`, the Jacobian's columns are evaluated through it (same numbers, same counts).
int lmFit(ResidualFn fn, int m, int n, double* x, const LmParam* params, LmResult* result,
          void* context, BatchResidualFn batch = nullptr);

// The status-line text of an engine or fit-driver status; a "%s" in it is replaced by dateTime.
// Unknown codes give "-->Unknown code   <dateTime> \n". Some texts end in "\n".
std::string lmStatusText(int status, std::string_view dateTime);
// ... with the current local date and time.
std::string lmStatusText(int status);

// The current local date and time as "YYYY-MM-DD HH:MM:SS".
std::string localDateTime();

// A status text for a one-line field: the text without one trailing "\n".
std::string statusLine(std::string text);

}  // namespace tolvi
