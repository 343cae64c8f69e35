#pragma once

#include <string>

#include "base/complex.h"
#include "base/status.h"
#include "fourier/fourier_workspace.h"

namespace tolvi {

// Fringe "R*Q^4": selects the q window at q_critical, then fringe = (r - r[end-1]) q_film^4
// under the Hann taper 0.5 - 0.5 cos(2π (k - start) / n_window) for start <= k < end, 0 elsewhere
// (the last transformed point's intensity is the flat background). Status 1 "--->Error, ...":
// no window of two points, or a value that is not finite (stored as 0).
Status buildFringeRq4(FourierWorkspace& ws);

// Fringe "(R-RF)*Q^4" with the window and q_film as they stand (the edge fit's):
// fringe = (r - r_model) q_film^4 under the same taper. Status as buildFringeRq4.
Status buildFringeRRf(FourierWorkspace& ws);

// ft_d[b] = (b + 1) d_step for b = 0 .. bin_no-1 (bin_no must lie in 1..MAX_BINS).
void fillThicknessGrid(FourierWorkspace& ws);

// ft[0][b] = |S|, S = sum over the window of w_j fringe[k] e^(-i q_film[k] ft_d[b]) with the
// trapezoid end weights 0.5 (q'[k+1] - q'[k]) and 0.5 (q'[k] - q'[k-1]) and the inner weights
// q'[k+1] - q'[k]. Needs the window, fringe and grid. Status 1 when a magnitude is not finite
// (stored as 0).
Status computeDft(FourierWorkspace& ws);

// ft[s][b] = 100 |W| for s = 1..4, W the sum of computeDft under the Mexican hat
// (1 - x^2) exp(-x^2/2) at x = (q_film[k] - ft_d[b]) / c_s, c_s = (s + 1) d_max / 5, with every
// weight halved. ft[0] is left as the last DFT made it. Status as computeDft.
Status computeWavelet(FourierWorkspace& ws);

// What the FT action leaves for the page.
struct FtReport {
    Status status;             // Edit14: 0 "--->OK"; < 0 the edge fit's engine refused (its
                               // text; the spectrum was still computed); 1 refused, nothing new
    bool transformed = false;  // ft_done = 1: redraw the fringe and thickness charts
    bool edgeFitted = false;   // "(R-RF)*Q^4": Edit17, Edit18 and the model series are new
    std::string q_min_text;    // Auto q_area: Edit11 and Edit12 ("%.8f"); empty in Manual
    std::string q_max_text;
    std::string q_critical_text;  // Edit13 ("%.8f") when transformed
    std::string density_text;     // Edit17 when edgeFitted
    std::string roughness_text;   // Edit18 when edgeFitted
};

// "FT": the window has written the converted fields q_min, q_max (Manual q_area), q_critical,
// d_max, bin_no and the option groups into the workspace. Sets the window (Auto: q_first ..
// q_last), delta from q_critical, constant, d_step; builds the fringe of fringe_mode (running the
// critical-edge fit under the ambient medium for "(R-RF)*Q^4", then q_critical =
// sqrt(delta) 17.7715 / lambda) and computes the DFT (ft[0]) or the wavelet rows (ft[1]..ft[4])
// over the grid; ft_done = 1. Refusals (status 1, ft_done = 0, fringe and spectrum of the last run
// kept when the check comes first): no curve, bin_no outside 1..MAX_BINS, d_max / bin_no not above
// 0, a window of fewer than 2 points; later, a fringe or magnitude that is not finite. The window
// then draws: (q, r_model) as the model series when edgeFitted; (q, fringe); for DFT (ft_d, ft[0])
// in thickness series 4, for wavelet (ft_d, ft[s]) in series s = 0..4.
FtReport runFourierTransform(FourierWorkspace& ws, Medium ambient);

// The ".FT" file beside the curve: the file name's extension (from its last dot) replaced by
// ".FT", or ".FT" appended when it has none; "dir/film.dat" -> "dir/film.FT".
std::string ftFileName(const std::string& loadedName);

// The content of the ".FT" file: 9 header lines with i0, rough, constant, delta, beta, then
// for DFT "%12.2f  %e" rows b = 0 .. bin_no-1, for wavelet "%12.2f  %e  %e  %e  %e " rows
// b = 1 .. bin_no-1, the layout chosen by the transform setting as it stands.
std::string fourierResultText(const FourierWorkspace& ws);

// "Save FT": writes fourierResultText to ftFileName(loaded_name) through writeFileSafely.
// Status 0 with the file name (Edit14 shows it); -1 with writeFileSafely's "--->Error can not
// write ..." (an old file stays); 1 with an empty message when ft_done is 0 (the button does
// nothing, the status line stays).
Status saveFourierResult(const FourierWorkspace& ws);

}  // namespace tolvi
