#pragma once

#include <memory>

#include "model/model_store.h"
#include "physics/resolution.h"

namespace tolvi {

// Calculated curve of a slot: calcLin (counts/s) and calcLog (its log10) at each of the slot's
// npoints x values, and with `simulate` the same two values in yLin and yLog. Reads the slab
// stack as the last buildSlabStack left it, ambientN and the slot's xAxis, lamd (Å), divergence
// (FWHM in x units; 0 for none), magMode, x0_shift, logI0 and bg. Specular reflectivity by 2x2
// transfer matrices with Névot-Croce roughness, averaged over four divergence nodes (or, with a
// pointwise resolution in the slot's DataOptions, over each point's Gaussian in q; the
// divergence is then not used), each node's R taken times the footprint fraction when there is a
// footprint, then I = 10^logI0 R + bg held at 10^(logI0 - 20) from below. An empty stack
// reflects nothing.
// Allocates nothing. Throws NumberError rather than store an intensity that is not finite
// (points before the failing one keep their new values). Computed by a vectorised kernel chosen
// for the CPU at run time (TOLVI_KERNEL=avx512|avx2|base forces one), which agrees with the plain
// transfer matrix to 1e-10 relative and falls back to it per angle where it cannot vouch for that.
// Safe to call from several threads at once on different stores.
void computeReflectivity(ModelStore& store, int slot, bool simulate);

// computeReflectivity for the points [firstPoint, endPoint) only (clamped to 0..npoints), with
// the same numbers as the whole curve gives them; points outside are not touched. Lets a long
// curve be split over threads, each with its own range of the same store.
void computeReflectivityRange(ModelStore& store, int slot, bool simulate, int firstPoint,
                              int endPoint);

// With a pointwise resolution (physics/resolution.h) a curve is computed in two steps, which a
// fit spreads over its threads: R (times the footprint fraction) at the nodes [firstNode,
// endNode) of the slot's prepared resolution plan, then the points [firstPoint, endPoint) from
// the node values of their windows. computeReflectivity and computeReflectivityRange do both.
void computeReflectivityNodes(ModelStore& store, int slot, int firstNode, int endNode);
void computeReflectivityFromNodes(ModelStore& store, int slot, bool simulate, int firstPoint,
                                  int endPoint);

// Reference curve of a slot (rfLin, rfLog): the bare substrate (slab 0, with its thickness) under
// the ambient medium, with the roughness of the top slab, over the same points, nodes and
// scaling as computeReflectivity. An empty stack reflects nothing (rf = bg, or the floor).
// Throws NumberError as computeReflectivity does.
void computeFresnelReference(ModelStore& store, int slot);

// A sampler of f R of the slot's whole stack at any q (1/Å), the stack unpacked once: the
// resolution plan checks its panels with it. The store must outlive it unchanged.
std::unique_ptr<ReflectivitySampler> makeStackSampler(const ModelStore& store, int slot);

// Grazing angle in radians (in the ambient medium) of one x value already shifted by x0_shift.
// xAxis 0: θ in degrees, held at 1e-5° from below; 1: 2θ in degrees, held at 2e-5°; otherwise q
// in 1/Å through arcsin(λq/4π), whose argument is held to [-1, 1] (q beyond 4π/λ is computed at
// 90°), and the angle held at 1e-6 rad from below. lamd in Å.
double grazingAngle(int xAxis, double lamd, double x);

// sin²θ of the same angle, formed directly from x and rounded once: the sine of the held angle
// on the θ and 2θ axes, λq/4π itself on the q axis (held to [sin 1e-6, 1] as the angle is held),
// each in long double, so that no digit of a small sine is lost through an arcsine and a cosine.
double grazingSineSquared(int xAxis, double lamd, double x);

// R at one grazing angle θ (radians, in the ambient medium) of the slot's slab stack, with the
// slot's wavelength and magMode: the value computeReflectivity averages over its nodes, before
// scaling and background. 0 for an empty stack; may be non-finite only for non-finite inputs or
// an absorbing ambient over a stack so thick that R exceeds the double range.
double slabReflectivity(const ModelStore& store, int slot, double theta);

}  // namespace tolvi
