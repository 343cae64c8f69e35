#pragma once

#include "model/model_store.h"

// The instrument beyond the parameter file: a Gaussian resolution of each point in q, and the
// footprint (the part of the beam that the sample intercepts).
//
// With a pointwise resolution (DataOptions::resolution other than Divergence) the curve at point
// i is the average
//     R̄(q_i) = ∫ R(q) N(q; q_i, σ_i) dq / ∫ N(q; q_i, σ_i) dq
// over the window [max(0, q_i - 3.5 σ_i), q_i + 3.5 σ_i], so that a flat R stays flat and no q
// below 0 enters. The integrals are taken from one grid shared by all points (ResolutionPlan):
// the windows' union is cut into panels short enough that a polynomial through a few
// Gauss-Legendre nodes follows R there to about 1e-6 of its size (the panels shrink towards the
// substrate's critical edge, where R has a square-root kink); R is computed once per node, and
// each point's average is a weighted sum of the node values of its window, the weights being the
// exact integrals of the nodes' interpolating polynomials against the Gaussian.
namespace tolvi {

// The truncation of every resolution window, in units of its σ: the reach of the field's
// validation references and of peer programs.
constexpr double RESOLUTION_HALF_WIDTH = 3.5;

// The fraction of the beam on the sample at a grazing angle of sine `sine` (0 to 1): 1 without a
// footprint; erf(L sinθ √ln2 / w) for a Gaussian beam of FWHM w, min(1, L sinθ / w) for a
// uniform beam of width w, on a sample of length L. A beam width of 0 or less counts as a beam
// that the sample intercepts whole.
double footprintFraction(const FootprintSettings& footprint, double sine);

// q_i and σ_i (1/Å) of point i of a slot at the offset x0 and a resolution scale of 1: q from the
// angle of x_i - x0 (held as the curve holds it), σ from the resolution column (σ_q =
// 4π/λ cosθ σ_θ on the θ and 2θ axes, σ_θ being half the 2θ width) or from dQ/Q.
struct PointWidth {
    double q = 0.0;
    double sigma = 0.0;
};
PointWidth resolutionOfPoint(const ModelStore& store, int slot, int i, double x0);

// Samples f R (f the footprint fraction) of a slot's whole stack at values of q (1/Å): what a
// plan checks its panels with (made by makeStackSampler, physics/reflectivity.h).
class ReflectivitySampler {
  public:
    virtual ~ReflectivitySampler() = default;
    virtual void sample(const double* q, int count, double* R) = 0;
};

// Makes the resolution plan of a slot (grid and weights) for its points, settings and slab
// stack as they stand. With `forFit` the grid covers every window that the fit's free offset
// (x0_shift) and resolution scale can give, and the plan stays (`frozen`) until
// releaseResolutionPlan, so that the curve is a smooth function of every parameter while the
// fit runs. A grid beyond the plan's capacity is made coarser until it fits (`coarsened`).
// Nothing happens without a pointwise resolution.
void makeResolutionPlan(ModelStore& store, int slot, bool forFit);

// Ends a fit's plan: the next curve of the slot makes a fresh one.
void releaseResolutionPlan(ModelStore& store, int slot);

// Before the nodes and points of a curve: makes the plan unless a fit holds one, and brings the
// weights up to date with the slot's current offset and resolution scale. Throws NumberError if
// the weights of a fit's offset or scale outgrow the plan's capacity.
void prepareResolution(ModelStore& store, int slot);

// Copies a plan (only the parts in use), for the working copies of a fit's threads.
void copyResolutionPlan(const ResolutionPlan& from, ResolutionPlan& to);

// The nodes whose values the points [first, end) of a prepared plan read: [firstNode, endNode).
struct NodeRange {
    int first = 0;
    int end = 0;
};
NodeRange resolutionNodesOf(const ResolutionPlan& plan, int first, int end);

}  // namespace tolvi
