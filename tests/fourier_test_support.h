#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "fourier/edge_fit.h"
#include "fourier/fourier_workspace.h"

namespace tolvi::test {

constexpr double PI = 3.14159265358979323846;
constexpr Medium VACUUM{0.0, 0.0};

inline std::unique_ptr<FourierWorkspace> makeWorkspace() {
    return std::make_unique<FourierWorkspace>();
}

inline double qOfTheta(double thetaDeg, double lambda) {
    return 4.0 * PI * std::sin(thetaDeg * PI / 180.0) / lambda;
}

// Puts a curve on the q axis straight into the workspace, as the reader would leave it.
inline void setCurve(FourierWorkspace& ws, const std::vector<double>& q,
                     const std::vector<double>& r) {
    ws.count = static_cast<int>(q.size());
    for (int i = 0; i < ws.count; ++i) {
        ws.q[i] = q[i];
        ws.theta[i] = std::asin(ws.lambda * q[i] / (4.0 * PI)) * 180.0 / PI;
        ws.r[i] = r[i];
        ws.log_r[i] = std::log10(r[i]);
    }
    ws.q_first = q.front();
    ws.q_last = q.back();
    // The reader's start values of the edge fit.
    ws.i0 = r.front();
    ws.rough = 5.0;
    ws.beta_ratio = 0.001;
    ws.constant = r.back();
    ws.start = 0;
    ws.end = ws.count - 1;
}

// A one-interface curve made by the model itself on a θ grid 0.05° .. 3°, as measured data.
inline void setModelCurve(FourierWorkspace& ws, double delta, double betaRatio, double rough,
                          double i0, double background) {
    ws.count = 591;
    for (int i = 0; i < ws.count; ++i) {
        ws.theta[i] = 0.05 + 0.005 * i;
        ws.q[i] = qOfTheta(ws.theta[i], ws.lambda);
    }
    ws.delta = delta;
    ws.beta_ratio = betaRatio;
    ws.rough = rough;
    ws.i0 = i0;
    ws.constant = background;
    computeEdgeModel(ws, VACUUM);
    for (int i = 0; i < ws.count; ++i) {
        ws.r[i] = ws.r_model[i];
        ws.log_r[i] = ws.log_r_model[i];
    }
    ws.q_first = ws.q[0];
    ws.q_last = ws.q[ws.count - 1];
    ws.start = 0;
    ws.end = ws.count - 1;
}

}  // namespace tolvi::test
