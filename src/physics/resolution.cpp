#include "physics/resolution.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "base/constants.h"
#include "base/text_io.h"
#include "physics/reflectivity.h"
#include "physics/reflectivity_fast.h"

namespace tolvi {

namespace {

// ---- Gauss-Legendre rules on [-1, 1] with the barycentric weights of their nodes, computed once
// by Newton's iteration on the Legendre polynomials.
constexpr int MAX_PANEL_NODES = 8;  // nodes of a full panel
constexpr int CUT_RULE_NODES = 16;  // the rule of a panel part cut by a window's edge
constexpr int MAX_RULE = 16;

struct GaussRule {
    int n = 0;
    std::array<double, MAX_RULE> t{};     // nodes, ascending
    std::array<double, MAX_RULE> w{};     // weights, summing to 2
    std::array<double, MAX_RULE> bary{};  // 1 / prod_{m != j} (t_j - t_m)
    // The polynomial through the nodes' values v_k is sum_m c_m P_m(t) with
    // c_m = sum_k legendre[k][m] v_k, legendre[k][m] = (2m + 1)/2 w_k P_m(t_k) (the rule
    // integrates P_m times it exactly): what weights the nodes by Legendre moments, no division.
    std::array<std::array<double, MAX_PANEL_NODES>, MAX_PANEL_NODES> legendre{};
};

// P_0(t) .. P_{n-1}(t) (n <= MAX_PANEL_NODES) by the three-term recurrence
// P_{m+1} = (2m+1)/(m+1) t P_m - m/(m+1) P_{m-1}, its factors taken from tables: no division.
void legendreValues(double t, int n, double* P) {
    static constexpr std::array<double, MAX_PANEL_NODES> A = {
        1.0, 3.0 / 2.0, 5.0 / 3.0, 7.0 / 4.0, 9.0 / 5.0, 11.0 / 6.0, 13.0 / 7.0, 15.0 / 8.0};
    static constexpr std::array<double, MAX_PANEL_NODES> B = {
        0.0, 1.0 / 2.0, 2.0 / 3.0, 3.0 / 4.0, 4.0 / 5.0, 5.0 / 6.0, 6.0 / 7.0, 7.0 / 8.0};
    P[0] = 1.0;
    if (n > 1) P[1] = t;
    for (int m = 1; m + 1 < n; ++m) P[m + 1] = A[m] * t * P[m] - B[m] * P[m - 1];
}

GaussRule makeRule(int n) {
    GaussRule r;
    r.n = n;
    for (int i = 0; i < n; ++i) {
        // Start from the Chebyshev-like guess and polish: P_n(t) = 0.
        long double t = std::cos(PI * (i + 0.75) / (n + 0.5));
        long double dp = 1.0L;
        for (int iteration = 0; iteration < 100; ++iteration) {
            long double p0 = 1.0L, p1 = t;
            for (int k = 2; k <= n; ++k) {
                long double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            if (n == 1) p0 = 1.0L;
            dp = n * (t * p1 - p0) / (t * t - 1.0L);
            long double step = p1 / dp;
            t -= step;
            if (std::fabs(static_cast<double>(step)) < 1e-19) break;
        }
        r.t[n - 1 - i] = static_cast<double>(t);
        r.w[n - 1 - i] = static_cast<double>(2.0L / ((1.0L - t * t) * dp * dp));
    }
    for (int j = 0; j < n; ++j) {
        long double product = 1.0L;
        for (int m = 0; m < n; ++m)
            if (m != j) product *= static_cast<long double>(r.t[j]) - r.t[m];
        r.bary[j] = static_cast<double>(1.0L / product);
    }
    if (n <= MAX_PANEL_NODES) {
        for (int k = 0; k < n; ++k) {
            double P[MAX_PANEL_NODES];
            legendreValues(r.t[k], n, P);
            for (int m = 0; m < n; ++m) r.legendre[k][m] = 0.5 * (2 * m + 1) * r.w[k] * P[m];
        }
    }
    return r;
}

const GaussRule& gaussRule(int n) {
    static const std::array<GaussRule, MAX_RULE + 1> rules = [] {
        std::array<GaussRule, MAX_RULE + 1> all{};
        for (int k = 1; k <= MAX_RULE; ++k) all[k] = makeRule(k);
        return all;
    }();
    return rules[n];
}

// The Lagrange basis of a rule's nodes at t (barycentric form), into L[0..n).
void lagrangeBasis(const GaussRule& r, double t, double* L) {
    if (r.n == 1) {
        L[0] = 1.0;
        return;
    }
    double sum = 0.0;
    for (int j = 0; j < r.n; ++j) {
        double diff = t - r.t[j];
        if (diff == 0.0) {
            for (int k = 0; k < r.n; ++k) L[k] = k == j ? 1.0 : 0.0;
            return;
        }
        L[j] = r.bary[j] / diff;
        sum += L[j];
    }
    for (int j = 0; j < r.n; ++j) L[j] /= sum;
}

// ---- How fine the grid must be.
//
// A polynomial of degree p - 1 through p Gauss-Legendre nodes follows sin(νq) over a panel of
// width w to about 2 (wν/4)^p / p!. The local frequency ν of R is estimated from the stack
// (Features below: its layers' phases, the q^-4 fall, the distance to the substrate's critical
// edge), and a panel is made as wide as PANEL_TOLERANCE allows with up to MAX_PANEL_NODES
// nodes. What the estimate cannot foresee (a guided mode below the edge) the checks of each
// panel find. The constants were set on random stacks against the definition: the averages
// agree with it to about 1e-6 (tests/test_resolution.cpp).
constexpr double PANEL_TOLERANCE = 1e-4;
// Multiple reflections where R is large: harmonics of the layers' phases (Features).
constexpr double HARMONICS = 2.0;
// The fall of R like q^-4 acts over a panel like a frequency of about 4/q; ENVELOPE doubles it.
constexpr double ENVELOPE = 8.0;
// Below this q (1/Å) the envelope is taken as flat: where no critical edge sets the scale, R
// approaches 1 over about the q of the substrate's |χ|, never over less than this.
constexpr double MIN_Q_SCALE = 2e-3;
// Towards the substrate's critical edge (a square-root branch point of R) the panels halve in
// width on both sides, down to this fraction of q_c, and carry full panels of nodes: a branch
// point one panel width from a panel costs a polynomial about 6^-p of its size.
constexpr double EDGE_GRADING_LIMIT = 1e-4;
// Beyond the graded panels the edge adds a frequency of EDGE_DISTANCE / |q - q_c|.
constexpr double EDGE_DISTANCE = 1.0;
// A window at least this many panel widths wide (in σ) averages a whole panel with the panel's
// own nodes; narrower ones, and panels cut by a window's edge, take the cut rule.
constexpr double SMOOTH_SIGMA_PANELS = 1.0;
// A panel whose polynomial misses R between its nodes by more than this share of the panel's
// largest value is halved, at most MAX_REFINEMENT times, and never below MIN_PANEL_WIDTH of q.
constexpr double CHECK_TOLERANCE = 1e-6;
constexpr int MAX_REFINEMENT = 12;
constexpr double MIN_PANEL_WIDTH = 1e-7;
// No window may reach beyond this q (1/Å): far past every angle (4π/λ is 8 1/Å at 1.54 Å), and
// a bound that keeps every panel's arithmetic finite.
constexpr double MAX_WINDOW_Q = 1e6;
// When a fit's plan is made, its weights may take no more of the capacity than this: a later
// offset can move a few windows over one more panel.
constexpr double FIT_WEIGHT_SHARE = 0.9;

double interpolationError(int p, double wnu) {
    double e = 2.0;
    for (int k = 1; k <= p; ++k) e *= (wnu / 4.0) / k;
    return e;
}

// The widest panel that MAX_PANEL_NODES nodes serve at frequency 1.
double widestPanelAtUnitFrequency() {
    double lo = 0.0, hi = 64.0;
    for (int k = 0; k < 200; ++k) {
        double mid = 0.5 * (lo + hi);
        (interpolationError(MAX_PANEL_NODES, mid) <= PANEL_TOLERANCE ? lo : hi) = mid;
    }
    return lo;
}

// What the grid follows of the slot's stack. The phase k_j t_j of layer j (k_j its wave number
// normal to the surface, t_j its thickness) changes with q at the rate t_j q / 4k_j: t_j / 2 far
// above the layer's own critical edge, faster close to it, where k_j passes through 0 and R is
// an entire but steep function of k_j² t_j², whose scale in q is about 4 / (t_j² q). R carries
// twice each phase, so its frequency from the layers is the sum of t_j² q / (2 max(1, t_j |k_j|)),
// the total height of the stack far above every edge; HARMONICS allows for the multiple
// reflections where R is large.
struct Features {
    int layers = 0;  // slabs above the substrate
    std::array<double, MAX_SLABS> thickness{};
    std::array<Complex, MAX_SLABS> chi{};  // χ of the layer less the ambient's
    Complex ambientSq{1.0, 0.0};           // n_a²
    double k0 = 0.0;
    double lamd = 0.0;
    double edge = 0.0;  // 1/Å: the substrate's critical edge, 0 where it has none
    double qScale = MIN_Q_SCALE;
    double coarsen = 1.0;  // > 1: the grid made coarser to fit its capacity

    double layerFrequency(double q) const {
        double sine = lamd * q / FOUR_PI;
        Complex aSq = (sine * sine) * ambientSq;
        double nu = 0.0;
        for (int j = 0; j < layers; ++j) {
            double t = thickness[j];
            Complex w = chi[j] + aSq;
            double k = k0 * std::sqrt(std::sqrt(norm2(w)));
            nu += t * t * q / (2.0 * std::max(1.0, t * k));
        }
        return nu;
    }
    // Without the edge's own term: what sets the width of the graded panels around it.
    double smoothFrequency(double q) const {
        return HARMONICS * layerFrequency(q) + ENVELOPE / std::max(q, qScale);
    }
    // Near the edge R varies on the scale of the distance to it.
    double frequency(double q) const {
        double nu = smoothFrequency(q);
        if (edge > 0.0 && q != edge) nu += EDGE_DISTANCE / std::fabs(q - edge);
        return nu;
    }
    double maxWidth(double q) const {
        static const double unit = widestPanelAtUnitFrequency();
        return coarsen * unit / frequency(q);
    }
    double gradedWidth() const {
        static const double unit = widestPanelAtUnitFrequency();
        return coarsen * unit / smoothFrequency(edge);
    }
    int nodesFor(double width, double q) const {
        if (coarsen > 1.0) return MAX_PANEL_NODES;
        double wnu = width * frequency(q);
        for (int p = 1; p < MAX_PANEL_NODES; ++p)
            if (interpolationError(p, wnu) <= PANEL_TOLERANCE) return p;
        return MAX_PANEL_NODES;
    }
};

Features featuresOf(const ModelStore& store, int slot) {
    Features f;
    const LayerModel& model = store.layerModel(slot);
    const DataSet& d = store.dataSet(slot);
    f.lamd = d.lamd;
    f.k0 = TWO_PI / d.lamd;
    int count = std::clamp(model.layall, 0, MAX_SLABS);
    if (count == 0) return f;
    Medium ambient = ambientOf(store, slot);
    Complex ambientChi = ambient.chi();
    f.ambientSq = Complex{1.0, 0.0} + ambientChi;
    for (int s = 1; s < count; ++s) {
        f.thickness[f.layers] = std::fabs(model.slabs[s].t.value);
        f.chi[f.layers] = effectiveMedium(model.slabs[s], d.magMode).chi() - ambientChi;
        ++f.layers;
    }
    // The substrate's wave number is k0 sqrt(χ_rel + n_a² sin²θ): it branches where
    // sin²θ = -χ_rel / n_a², a real angle when the substrate is the denser medium.
    Complex chiRel = effectiveMedium(model.slabs[0], d.magMode).chi() - ambientChi;
    double s2 = -(chiRel / f.ambientSq).re;
    double qOf = FOUR_PI / d.lamd;
    if (s2 > 0.0 && s2 < 1.0) f.edge = qOf * std::sqrt(s2);
    f.qScale = std::max(MIN_Q_SCALE, qOf * std::sqrt(std::min(std::fabs(s2), 1.0)));
    return f;
}

// The breakpoints of the graded panels around the critical edge, ascending.
int edgeBreakpoints(const Features& f, std::array<double, 128>& points) {
    if (f.edge <= 0.0) return 0;
    double width = f.gradedWidth();
    int levels = 0;
    while (levels < 60 && width * std::ldexp(1.0, -levels) > EDGE_GRADING_LIMIT * f.edge) ++levels;
    int n = 0;
    for (int k = 0; k <= levels; ++k) points[n++] = f.edge - width * std::ldexp(1.0, -k);
    points[n++] = f.edge;
    for (int k = levels; k >= 0; --k) points[n++] = f.edge + width * std::ldexp(1.0, -k);
    return n;
}

// A point's window at offset x0 and scale: [max(0, q - 3.5 σ), q + 3.5 σ].
struct Window {
    double lo = 0.0;
    double hi = 0.0;
};
Window windowOf(PointWidth w, double scale) {
    double half = RESOLUTION_HALF_WIDTH * w.sigma * scale;
    return {std::max(0.0, w.q - half), w.q + half};
}

struct Range {
    double lo = 0.0;
    double hi = 0.0;
};

// The offsets and scales a plan covers: the current values, or the free ranges of a fit.
Range offsetRange(const DataSet& d, bool forFit) {
    if (forFit && d.x0_shift.fit > 0)
        return {std::min(d.x0_shift.min, d.x0_shift.value),
                std::max(d.x0_shift.max, d.x0_shift.value)};
    return {d.x0_shift.value, d.x0_shift.value};
}
double largestScale(const ResolutionSettings& r, bool forFit) {
    double scale = std::fabs(r.scale.value);
    if (forFit && r.scale.fit > 0) scale = std::max({scale, std::fabs(r.scale.max)});
    return scale;
}

// Adds panel [lo, hi] with `nodes` Gauss-Legendre nodes (one node at lo for a panel of width
// 0), their values, when given, as the node values; false when the capacity is reached.
bool addPanel(ResolutionPlan& plan, double lo, double hi, int nodes, const double* values) {
    if (plan.panelCount >= MAX_RES_PANELS || plan.nodeCount + nodes > MAX_RES_NODES) return false;
    int p = plan.panelCount++;
    plan.panelLo[p] = lo;
    plan.panelHi[p] = hi;
    plan.panelNode[p] = plan.nodeCount;
    if (lo == hi) {
        plan.nodeQ[plan.nodeCount] = lo;
        plan.nodeValue[plan.nodeCount++] = values ? values[0] : 0.0;
    } else {
        const GaussRule& r = gaussRule(nodes);
        double mid = 0.5 * (lo + hi), half = 0.5 * (hi - lo);
        for (int k = 0; k < nodes; ++k) {
            plan.nodeQ[plan.nodeCount] = mid + half * r.t[k];
            plan.nodeValue[plan.nodeCount++] = values ? values[k] : 0.0;
        }
    }
    plan.panelNode[p + 1] = plan.nodeCount;
    return true;
}

// Adds panel [lo, hi] with `nodes` nodes once R, sampled between its nodes (and between its
// ends and their neighbours), follows its polynomial to CHECK_TOLERANCE of the panel's largest
// value; otherwise its halves, each checked in turn (at most MAX_REFINEMENT times). The frequency
// model cannot foresee everything: a guided mode in a layer below the substrate's critical edge
// is a dip of R far narrower than the stack's fringes.
bool addCheckedPanel(ResolutionPlan& plan, ReflectivitySampler& sampler, double lo, double hi,
                     int nodes, int depth, bool check = true) {
    if (lo == hi) {
        double value = 0.0;
        sampler.sample(&lo, 1, &value);
        plan.sampleCount += 1;
        return addPanel(plan, lo, hi, 1, &value);
    }
    const GaussRule& r = gaussRule(nodes);
    double mid = 0.5 * (lo + hi), half = 0.5 * (hi - lo);
    // The nodes, then the midpoints of lo, the nodes and hi.
    double q[2 * MAX_PANEL_NODES + 1];
    double t[MAX_PANEL_NODES + 1];
    double values[2 * MAX_PANEL_NODES + 1];
    for (int k = 0; k < nodes; ++k) q[k] = mid + half * r.t[k];
    for (int k = 0; k <= nodes; ++k) {
        double left = k == 0 ? -1.0 : r.t[k - 1];
        double right = k == nodes ? 1.0 : r.t[k];
        t[k] = 0.5 * (left + right);
        q[nodes + k] = mid + half * t[k];
    }
    if (!check) {
        sampler.sample(q, nodes, values);
        plan.sampleCount += nodes;
        return addPanel(plan, lo, hi, nodes, values);
    }
    sampler.sample(q, 2 * nodes + 1, values);
    plan.sampleCount += 2 * nodes + 1;
    double scale = 0.0;
    for (int k = 0; k < nodes; ++k) scale = std::max(scale, std::fabs(values[k]));
    double miss = 0.0;
    double L[MAX_PANEL_NODES];
    for (int k = 0; k <= nodes; ++k) {
        lagrangeBasis(r, t[k], L);
        double p = 0.0;
        for (int j = 0; j < nodes; ++j) p += L[j] * values[j];
        miss = std::max(miss, std::fabs(p - values[nodes + k]));
    }
    bool narrow = hi - lo <= MIN_PANEL_WIDTH * hi;
    if (miss <= CHECK_TOLERANCE * scale || depth >= MAX_REFINEMENT || narrow)
        return addPanel(plan, lo, hi, nodes, values);
    return addCheckedPanel(plan, sampler, lo, mid, MAX_PANEL_NODES, depth + 1) &&
           addCheckedPanel(plan, sampler, mid, hi, MAX_PANEL_NODES, depth + 1);
}

// The panels of the covered intervals [lo[k], hi[k]] (ascending, disjoint), checked against R
// (and their node values set) unless the grid is being made coarser to fit.
bool makePanels(ResolutionPlan& plan, const Features& f, const Range* intervals, int count,
                ReflectivitySampler& sampler) {
    plan.panelCount = 0;
    plan.nodeCount = 0;
    plan.sampleCount = 0;
    plan.panelNode[0] = 0;
    bool checked = f.coarsen == 1.0;
    std::array<double, 128> breaks{};
    int nBreaks = edgeBreakpoints(f, breaks);
    double gradedLo = nBreaks > 0 ? breaks[0] : 0.0;
    double gradedHi = nBreaks > 0 ? breaks[nBreaks - 1] : -1.0;
    int b = 0;
    for (int k = 0; k < count; ++k) {
        double q = intervals[k].lo, end = intervals[k].hi;
        if (q == end) {
            bool added = checked ? addCheckedPanel(plan, sampler, q, q, 1, 0)
                                 : addPanel(plan, q, q, 1, nullptr);
            if (!added) return false;
            continue;
        }
        while (q < end) {
            double next = std::min(end, q + f.maxWidth(q));
            while (b < nBreaks && breaks[b] <= q) ++b;
            if (b < nBreaks && breaks[b] < next) next = breaks[b];
            bool graded = q >= gradedLo && next <= gradedHi;
            int nodes = graded && checked ? MAX_PANEL_NODES : f.nodesFor(next - q, q);
            // The two panels that touch the edge follow its branch point by their width: a check
            // would halve them down to nothing. Every other one is checked, the graded ones too
            // (guided modes lie just below the edge).
            bool touching = f.edge > 0.0 && (q == f.edge || next == f.edge);
            bool added = checked ? addCheckedPanel(plan, sampler, q, next, nodes, 0, !touching)
                                 : addPanel(plan, q, next, nodes, nullptr);
            if (!added) return false;
            q = next;
        }
    }
    return true;
}

// ∫ G(q) L_k(q) dq over [lo, hi] ⊂ panel p (lo < hi, so the panel has a width) for each node k
// of the panel, added into w[0..n).
void addPanelWeights(const ResolutionPlan& plan, int p, double lo, double hi, double centre,
                     double sigma, const fast::KernelTable& kernel, double* w) {
    int first = plan.panelNode[p];
    int n = plan.panelNode[p + 1] - first;
    double pLo = plan.panelLo[p], pHi = plan.panelHi[p];
    double mid = 0.5 * (pLo + pHi), half = 0.5 * (pHi - pLo);
    double arg[CUT_RULE_NODES], gauss[CUT_RULE_NODES];
    const GaussRule& own = gaussRule(n);
    double inverseSigma = 1.0 / sigma, inverseHalf = 1.0 / half;
    if (lo == pLo && hi == pHi && sigma >= SMOOTH_SIGMA_PANELS * (pHi - pLo)) {
        for (int k = 0; k < n; ++k) {
            double u = (plan.nodeQ[first + k] - centre) * inverseSigma;
            arg[k] = -0.5 * u * u;
        }
        kernel.exp(arg, gauss, n);
        for (int k = 0; k < n; ++k) w[k] += half * own.w[k] * gauss[k];
        return;
    }
    // The Legendre moments of the Gaussian over [lo, hi], then the nodes' weights from them.
    const GaussRule& cut = gaussRule(CUT_RULE_NODES);
    double cMid = 0.5 * (lo + hi), cHalf = 0.5 * (hi - lo);
    double q[CUT_RULE_NODES];
    for (int g = 0; g < cut.n; ++g) {
        q[g] = cMid + cHalf * cut.t[g];
        double u = (q[g] - centre) * inverseSigma;
        arg[g] = -0.5 * u * u;
    }
    kernel.exp(arg, gauss, cut.n);
    double moment[MAX_PANEL_NODES] = {};
    double P[MAX_PANEL_NODES];
    for (int g = 0; g < cut.n; ++g) {
        legendreValues((q[g] - mid) * inverseHalf, n, P);
        double weight = cHalf * cut.w[g] * gauss[g];
        for (int m = 0; m < n; ++m) moment[m] += weight * P[m];
    }
    for (int k = 0; k < n; ++k) {
        double sum = 0.0;
        for (int m = 0; m < n; ++m) sum += own.legendre[k][m] * moment[m];
        w[k] += sum;
    }
}

// The panel holding q (the nearest one when rounding leaves q just outside all of them).
int panelHolding(const ResolutionPlan& plan, double q) {
    const double* hiEnd = plan.panelHi.data() + plan.panelCount;
    int p = static_cast<int>(std::lower_bound(plan.panelHi.data(), hiEnd, q) - plan.panelHi.data());
    return std::min(p, plan.panelCount - 1);
}

// The weights of every point at offset x0 and scale; false when they exceed `capacity`.
bool makeWeights(ResolutionPlan& plan, const ModelStore& store, int slot, double x0, double scale,
                 int capacity) {
    int n = plan.points;
    plan.weightCount = 0;
    const fast::KernelTable& kernel = fast::kernels(fast::activeVariant());
    for (int i = 0; i < n; ++i) {
        PointWidth pw = resolutionOfPoint(store, slot, i, x0);
        plan.center[i] = pw.q;
        plan.sigma[i] = pw.sigma;
        double sigma = pw.sigma * std::fabs(scale);
        Window win = windowOf(pw, scale);
        int p0 = panelHolding(plan, win.lo);
        int p1 = p0;
        while (p1 + 1 < plan.panelCount && plan.panelLo[p1 + 1] <= win.hi) ++p1;
        int firstNode = plan.panelNode[p0];
        int span = plan.panelNode[p1 + 1] - firstNode;
        if (plan.weightCount + span > capacity) return false;
        double* w = plan.weight.data() + plan.weightCount;
        std::fill(w, w + span, 0.0);
        if (sigma == 0.0) {
            // No width: the value of the polynomial of the panel holding q_i, at q_i itself.
            int count = plan.panelNode[p0 + 1] - firstNode;
            double mid = 0.5 * (plan.panelLo[p0] + plan.panelHi[p0]);
            double half = 0.5 * (plan.panelHi[p0] - plan.panelLo[p0]);
            if (count == 1)
                w[0] = 1.0;
            else
                lagrangeBasis(gaussRule(count), (pw.q - mid) / half, w);
        } else {
            for (int p = p0; p <= p1; ++p) {
                double lo = std::max(win.lo, plan.panelLo[p]);
                double hi = std::min(win.hi, plan.panelHi[p]);
                if (!(hi > lo)) continue;
                addPanelWeights(plan, p, lo, hi, pw.q, sigma, kernel,
                                w + (plan.panelNode[p] - firstNode));
            }
            // Normalised over what the window covers, so that a flat R stays flat.
            double sum = 0.0;
            for (int k = 0; k < span; ++k) sum += w[k];
            if (sum > 0.0)
                for (int k = 0; k < span; ++k) w[k] /= sum;
        }
        plan.firstNode[i] = firstNode;
        plan.nodeSpan[i] = span;
        plan.firstWeight[i] = plan.weightCount;
        plan.weightCount += span;
    }
    plan.weightShift = x0;
    plan.weightScale = scale;
    return true;
}

}  // namespace

double footprintFraction(const FootprintSettings& footprint, double sine) {
    double w = footprint.beam.value;
    if (footprint.kind == FootprintKind::None || !(w > 0.0)) return 1.0;
    double x = footprint.sample * sine / w;
    if (footprint.kind == FootprintKind::Gaussian) return std::erf(std::sqrt(LN2) * x);
    return std::min(1.0, x);
}

PointWidth resolutionOfPoint(const ModelStore& store, int slot, int i, double x0) {
    const DataSet& d = store.dataSet(slot);
    const ResolutionSettings& r = store.dataOptions[slot].resolution;
    double s2 = grazingSineSquared(d.xAxis, d.lamd, d.xData[i] - x0);
    double qOf = FOUR_PI / d.lamd;
    PointWidth w;
    w.q = qOf * std::sqrt(s2);
    if (r.kind == ResolutionKind::Relative) {
        w.sigma = r.relativeFwhm * w.q * FWHM_TO_SIGMA;
        return w;
    }
    const PointResolution& column = store.pointResolution[slot];
    double sigmaX = column.loaded ? column.sigmaX[i] : 0.0;
    if (d.xAxis == 0 || d.xAxis == 1) {
        double sigmaTheta = (d.xAxis == 0 ? sigmaX : 0.5 * sigmaX) * RAD_PER_DEG;
        w.sigma = qOf * std::sqrt(std::max(0.0, 1.0 - s2)) * sigmaTheta;
    } else {
        w.sigma = sigmaX;
    }
    return w;
}

void makeResolutionPlan(ModelStore& store, int slot, bool forFit) {
    ResolutionPlan& plan = store.resolutionPlans[slot];
    plan.valid = false;
    plan.frozen = false;
    plan.coarsened = false;
    const DataOptions& options = store.dataOptions[slot];
    if (!pointwiseResolution(options)) return;
    const DataSet& d = store.dataSet(slot);
    int n = std::clamp(d.npoints, 0, MAX_DATA);
    plan.points = n;

    // The windows to cover, ascending by their start, merged into disjoint intervals.
    Range offsets = offsetRange(d, forFit);
    double scale = largestScale(options.resolution, forFit);
    std::array<Range, MAX_DATA> windows;
    std::array<int, MAX_DATA> order;
    for (int i = 0; i < n; ++i) {
        // q falls as the offset grows.
        Window a = windowOf(resolutionOfPoint(store, slot, i, offsets.hi), scale);
        Window b = windowOf(resolutionOfPoint(store, slot, i, offsets.lo), scale);
        windows[i] = {std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
        if (!(windows[i].hi <= MAX_WINDOW_Q))
            throw NumberError(formatText("The resolution of F%d at x = %.15g reaches beyond q = "
                                         "%g 1/A",
                                         slot + 1, d.xData[i], MAX_WINDOW_Q));
        order[i] = i;
    }
    std::sort(order.begin(), order.begin() + n,
              [&](int a, int b) { return windows[a].lo < windows[b].lo; });
    std::array<Range, MAX_DATA> intervals;
    int count = 0;
    for (int k = 0; k < n; ++k) {
        const Range& w = windows[order[k]];
        if (count > 0 && w.lo <= intervals[count - 1].hi)
            intervals[count - 1].hi = std::max(intervals[count - 1].hi, w.hi);
        else
            intervals[count++] = w;
    }

    Features features = featuresOf(store, slot);
    std::unique_ptr<ReflectivitySampler> sampler = makeStackSampler(store, slot);
    double x0 = d.x0_shift.value;
    double current = options.resolution.scale.value;
    int fitCapacity = static_cast<int>(FIT_WEIGHT_SHARE * MAX_RES_WEIGHTS);
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (makePanels(plan, features, intervals.data(), count, *sampler)) {
            bool fits = true;
            if (forFit) fits = makeWeights(plan, store, slot, x0, scale, fitCapacity);
            if (fits && makeWeights(plan, store, slot, x0, current, MAX_RES_WEIGHTS)) {
                plan.valid = true;
                plan.frozen = forFit;
                // A fit's plan serves other values than these.
                plan.nodesFresh = features.coarsen == 1.0 && !forFit;
                return;
            }
        }
        features.coarsen *= 2.0;
        plan.coarsened = true;
    }
    throw NumberError("The resolution windows need more grid than a plan holds");
}

void releaseResolutionPlan(ModelStore& store, int slot) {
    ResolutionPlan& plan = store.resolutionPlans[slot];
    plan.frozen = false;
    plan.valid = false;
}

void prepareResolution(ModelStore& store, int slot) {
    ResolutionPlan& plan = store.resolutionPlans[slot];
    if (!plan.frozen) {
        makeResolutionPlan(store, slot, false);
        return;
    }
    const DataSet& d = store.dataSet(slot);
    double scale = store.dataOptions[slot].resolution.scale.value;
    if (plan.weightShift == d.x0_shift.value && plan.weightScale == scale) return;
    if (!makeWeights(plan, store, slot, d.x0_shift.value, scale, MAX_RES_WEIGHTS))
        throw NumberError("The resolution windows of the fit outgrew their plan");
}

void copyResolutionPlan(const ResolutionPlan& from, ResolutionPlan& to) {
    to.valid = from.valid;
    to.frozen = from.frozen;
    to.coarsened = from.coarsened;
    to.nodesFresh = from.nodesFresh;
    to.sampleCount = from.sampleCount;
    to.weightShift = from.weightShift;
    to.weightScale = from.weightScale;
    to.points = from.points;
    if (!from.valid) return;
    to.panelCount = from.panelCount;
    std::copy_n(from.panelLo.begin(), from.panelCount, to.panelLo.begin());
    std::copy_n(from.panelHi.begin(), from.panelCount, to.panelHi.begin());
    std::copy_n(from.panelNode.begin(), from.panelCount + 1, to.panelNode.begin());
    to.nodeCount = from.nodeCount;
    std::copy_n(from.nodeQ.begin(), from.nodeCount, to.nodeQ.begin());
    std::copy_n(from.nodeValue.begin(), from.nodeCount, to.nodeValue.begin());
    int n = from.points;
    std::copy_n(from.center.begin(), n, to.center.begin());
    std::copy_n(from.sigma.begin(), n, to.sigma.begin());
    std::copy_n(from.firstNode.begin(), n, to.firstNode.begin());
    std::copy_n(from.nodeSpan.begin(), n, to.nodeSpan.begin());
    std::copy_n(from.firstWeight.begin(), n, to.firstWeight.begin());
    to.weightCount = from.weightCount;
    std::copy_n(from.weight.begin(), from.weightCount, to.weight.begin());
}

NodeRange resolutionNodesOf(const ResolutionPlan& plan, int first, int end) {
    NodeRange r{plan.nodeCount, 0};
    for (int i = first; i < end; ++i) {
        r.first = std::min(r.first, plan.firstNode[i]);
        r.end = std::max(r.end, plan.firstNode[i] + plan.nodeSpan[i]);
    }
    if (r.end <= r.first) r = {0, 0};
    return r;
}

}  // namespace tolvi
