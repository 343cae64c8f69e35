// A Fourier curve file read with settings chosen by the input's first bytes, then "FT" with the
// critical-edge fit or without, DFT or wavelet, and the ".FT" text.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "base/status.h"
#include "fourier/fourier_workspace.h"
#include "fourier/thickness_transform.h"
#include "fuzz_support.h"

using namespace tolvi;

namespace {

void checkFinite(const FourierWorkspace& ws) {
    for (int i = 0; i < ws.count; ++i)
        if (!std::isfinite(ws.q[i]) || !std::isfinite(ws.r[i]) || !std::isfinite(ws.log_r[i]) ||
            !std::isfinite(ws.q_film[i]) || !std::isfinite(ws.r_model[i]) ||
            !std::isfinite(ws.fringe[i]))
            std::abort();
    for (int b = 0; b < ws.bin_no && b < MAX_BINS; ++b)
        for (int s = 0; s < FT_ROWS; ++s)
            if (!std::isfinite(ws.ft[s][b])) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int a = data[0], b = data[1];
    fuzz::writeFile("c.dat", std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    static auto ws = std::make_unique<FourierWorkspace>();
    *ws = FourierWorkspace{};
    ws->x_type = a % 3;
    ws->y_type = (a >> 2) & 1;
    ws->q_critical_mode = (a >> 3) & 1;
    ws->fringe_mode = (a >> 4) & 1;
    ws->transform = (a >> 5) & 1;
    ws->q_area = (a >> 6) & 1;
    const char* lambdas[] = {"1.54", "0.71", "4.75", "0.1"};
    try {
        Status s = loadFourierData(*ws, fuzz::workDir() + "c.dat", lambdas[b & 3]);
        if (s.code != 0) return 0;
        ws->bin_no = 1 + (b >> 2) * 7;
        ws->d_max = 50.0 * (1 + (b >> 5));
        ws->q_min = ws->q_first;
        ws->q_max = ws->q_last;
        (void)runFourierTransform(*ws, Medium{1e-6 * (a >> 7), 0.0});
        checkFinite(*ws);
        (void)fourierResultText(*ws);
    } catch (const NumberError&) {
    }
    return 0;
}
