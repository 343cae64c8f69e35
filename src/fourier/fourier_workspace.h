#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/status.h"
#include "model/model_store.h"

namespace tolvi {

constexpr int MAX_BINS = 2000;  // thickness bins of the transform: the largest bin_no
constexpr int FT_ROWS = 5;      // ft[0] the DFT, ft[1]..ft[4] the four Mexican-hat widths

// Item indices of the Fourier page's option groups, with the captions the window fills the
// groups from (same order).
namespace fourier {
constexpr int X_THETA = 0, X_TWO_THETA = 1, X_Q = 2;     // RG1 "Data_X_axis"
constexpr int Y_LINEAR = 0, Y_LOG = 1;                   // RG0 "Data_Y"
constexpr int Q_AREA_AUTO = 0, Q_AREA_MANUAL = 1;        // RG3 " q_area"
constexpr int QC_FIT = 0, QC_MANUAL = 1;                 // RG4 " q_critical"
constexpr int FRINGE_RQ4 = 0, FRINGE_R_RF = 1;           // RG5 "Fringe"
constexpr int TRANSFORM_DFT = 0, TRANSFORM_WAVELET = 1;  // RG2 "Transform"
inline constexpr const char* X_TYPE_ITEMS[] = {"θ", "2θ", "q"};
inline constexpr const char* Y_TYPE_ITEMS[] = {"Linear", "Log"};
inline constexpr const char* Q_AREA_ITEMS[] = {"Auto", "Manual"};
inline constexpr const char* Q_CRITICAL_ITEMS[] = {"Fit", "Manual"};
inline constexpr const char* FRINGE_ITEMS[] = {"R*Q^4", "(R-RF)*Q^4"};
inline constexpr const char* TRANSFORM_ITEMS[] = {"DFT", "Wavelet MH"};
}  // namespace fourier

// The Fourier page's own curve, settings and results; one record for the whole run, made once on
// the heap (std::make_unique, about 250 KB). The settings start as the page's controls do; the
// window writes each option group's item index and each converted field into them.
struct FourierWorkspace {
    // Settings.
    int x_type = fourier::X_TWO_THETA;
    int y_type = fourier::Y_LINEAR;
    int q_area = fourier::Q_AREA_AUTO;
    int q_critical_mode = fourier::QC_MANUAL;
    int fringe_mode = fourier::FRINGE_R_RF;
    int transform = fourier::TRANSFORM_DFT;
    double lambda = 1.54;     // Å
    double q_min = 0.0;       // 1/Å; the fields start empty
    double q_max = 0.0;       // 1/Å
    double q_critical = 0.0;  // 1/Å
    double d_max = 1000.0;    // Å
    int bin_no = 200;
    std::string file_path;
    std::string file_dir;
    std::string loaded_name;  // the path last given to the reader; the ".FT" name comes from it

    // Curve, points 0 .. count-1.
    int count = 0;
    std::array<double, MAX_DATA> theta{};  // glancing angle, degrees
    std::array<double, MAX_DATA> r{};      // linear intensity
    std::array<double, MAX_DATA> log_r{};
    std::array<double, MAX_DATA> q{};       // 1/Å
    std::array<double, MAX_DATA> q_film{};  // refraction-corrected q', 1/Å
    std::array<double, MAX_DATA> r_model{};
    std::array<double, MAX_DATA> log_r_model{};
    std::array<double, MAX_DATA> fringe{};

    // Estimates and critical-edge parameters.
    double q_first = 0.0;
    double q_last = 0.0;
    double i0 = 0.0;
    double delta = 0.0;
    double beta_ratio = 0.0;
    double rough = 0.0;  // Å
    double constant = 0.0;
    int start = 0;  // q window: the transform uses start .. end-1, n_window counts start .. end
    int end = 0;
    int n_window = 0;
    int ft_done = 0;  // 1 once a transform has been computed for the loaded curve

    // Thickness spectrum, bins 0 .. bin_no-1.
    double d_step = 0.0;  // Å
    std::array<double, MAX_BINS> ft_d{};
    std::array<std::array<double, MAX_BINS>, FT_ROWS> ft{};

    TokenTable tokens;  // the reader's line tokens
};

// Reads the curve file `path` with the workspace's x_type, y_type and lambda: x and y per line
// (blank and comment lines skipped, further fields ignored), at most MAX_DATA points, converted to
// theta (degrees), q (1/Å), r and log_r; linear zeros and negatives raised to 1e-12 of the
// largest y. Then q_first, q_last, q_min, q_max, the half-maximum estimate of the critical edge
// (q_critical, delta) and the start values i0, rough, constant, beta_ratio, start, end.
// Status 0 "--->OK", or a warning: "--->Warning, MAX_DATA reached" or one that says the half
// maximum gave no edge (the estimate then rests on the maximum or on the last point).
// Status 1 with "--->Error, ..." (the earlier curve stays): the file cannot be opened, a line
// with a single field, fewer than 2 points, log data above 20 ("--->Error, Check data y type"),
// linear data with no y above 1e-10, lambda not above 0, a q beyond 4π/lambda.
// Throws NumberError for a field that is not a number, naming file and line.
Status readFourierCurve(FourierWorkspace& ws, const std::string& path);

// "Template data": <programDir>template/template.dat on the θ axis, linear, 1.54 Å. Sets
// file_path, file_dir, loaded_name, clears ft_done, then reads. The window then clears its charts
// and, on success, shows q_min, q_max and q_critical with qFieldText.
Status loadFourierTemplate(FourierWorkspace& ws, const std::string& programDir);

// "Load data" after the file dialog: `chosenPath` is the picked file, or empty when the dialog
// was cancelled (the previous file_path is read again). `lambdaText` is the text of the λ field:
// empty gives status 1 "--->Error set lamda" without reading; otherwise it is converted
// (NumberError) into lambda and the curve is read with the current x_type and y_type.
Status loadFourierData(FourierWorkspace& ws, const std::string& chosenPath,
                       std::string_view lambdaText);

// Selects the q window from q_critical, q_min and q_max: q_film = sqrt(q^2 - q_critical^2) where
// positive, else 0; start is one past the last point below q_min or at q_film <= 0; end the last
// other point below q_max (unchanged when there is none); n_window = end - start + 1.
void selectQWindow(FourierWorkspace& ws);

// Status 0 when the selected window can be transformed (a loaded curve, at least two points in
// the window); otherwise 1 with "--->Error, ...".
Status windowStatus(const FourierWorkspace& ws);

// The "%.8f" text of the q fields (q_min, q_max, q_critical).
std::string qFieldText(double value);

}  // namespace tolvi
