#pragma once

#include <array>
#include <string>

#include "base/complex.h"
#include "fit/lm.h"
#include "fourier/fourier_workspace.h"

namespace tolvi {

// Number of parameters of the critical-edge fit, in the engine's order: delta, beta_ratio,
// rough (Å), constant.
constexpr int EDGE_PARAMS = 4;

// The engine's records of the critical-edge fit: delta in [1e-7, 0.001] (fixed in the Manual
// q_critical mode), beta_ratio in [0, 0.1], rough in [0.1, 50] Å, constant fixed and >= 0, with
// the finite-difference steps 1e-8, 1e-4, 0.01 and 0.001.
std::array<LmParam, EDGE_PARAMS> edgeFitParams(int q_critical_mode);

// The one-interface model at the workspace's delta, beta_ratio, rough, constant and i0 under the
// ambient index n0: r_model = i0 |r|^2 + constant and log_r_model for every point (θ held at
// 1e-5 degrees from below), r the Fresnel coefficient with the Névot-Croce factor.
void computeEdgeModel(FourierWorkspace& ws, Medium n0);

// The fit's residuals, count values: log_r - log_r_model for start <= k < end, 0 elsewhere.
void edgeResiduals(const FourierWorkspace& ws, double* residuals);

// Fit critical edge: selects the q window at q_critical, sets constant = r[end-1], refines delta
// (unless q_critical_mode is Manual), beta_ratio and rough by lmFit on the log intensities of the
// window, sets q_critical = sqrt(2 delta) 4π/lambda in the Fit mode, recomputes q_film and builds
// the "(R-RF)*Q^4" fringe. Status 0 "--->OK" when the engine ends with a positive status. A
// negative engine status is returned with its status text (statusLine(lmStatusText)); the
// parameters then hold the engine's vector, the model curve is computed once at it, and the
// fringe is built. Status 1 "--->Error, ...": no window to fit, or a fringe that is not finite.
Status fitCriticalEdge(FourierWorkspace& ws, Medium n0);

// What the page shows after the fit: the density estimate delta 0.8228e6 / lambda^2 (g/cm3) and
// the roughness, both "%.3f", and q_critical = sqrt(delta) 17.7715 / lambda (1/Å).
std::string densityText(const FourierWorkspace& ws);
std::string roughnessText(const FourierWorkspace& ws);
double edgeQCritical(const FourierWorkspace& ws);

// The delta the FT action starts the fit from: (0.07958 lambda q_critical)^2 / 2.
double deltaFromQCritical(double qCritical, double lambda);

}  // namespace tolvi
