#include "fuzz_support.h"

#include "actions/load.h"
#include "base/status.h"
#include "physics/profile.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace tolvi::fuzz {

std::vector<std::string> splitParts(const uint8_t* data, size_t size, size_t parts) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> out;
    const std::string separator = "\n=====\n";
    size_t start = 0;
    while (out.size() + 1 < parts) {
        size_t at = text.find(separator, start);
        if (at == std::string::npos) break;
        out.push_back(text.substr(start, at - start + 1));
        start = at + separator.size();
    }
    out.push_back(text.substr(start));
    out.resize(parts);
    return out;
}

const std::string& workDir() {
    // Never destroyed: the clean-up at exit, registered while it is made, still needs it.
    static const std::string& dir = *new std::string([] {
        // Shared memory where there is some: every run writes and reads its files.
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string d = base + "/tolvi-fuzz-" + std::to_string(getpid()) + "/";
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(workDir(), ec);
        });
        return d;
    }());
    return dir;
}

void writeFile(const std::string& name, const std::string& content) {
    FILE* f = std::fopen((workDir() + name).c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

namespace {

void checkArray(const std::array<double, MAX_DATA>& values, int count, const char* name) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            std::fprintf(stderr, "%s[%d] = %g is not finite\n", name, i, values[i]);
            std::abort();
        }
    }
}

}  // namespace

void checkSlotFinite(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    int n = d.npoints;
    if (n < 0 || n > MAX_DATA) std::abort();
    checkArray(d.xData, n, "xData");
    checkArray(d.yLin, n, "yLin");
    checkArray(d.yLog, n, "yLog");
    checkArray(d.calcLin, n, "calcLin");
    checkArray(d.calcLog, n, "calcLog");
    checkArray(d.sigmaLog, n, "sigmaLog");
    for (int i = 0; i < store.nprofile; ++i)
        if (!std::isfinite(store.profileZ[i]) || !std::isfinite(store.profileRho[i])) std::abort();
    const LayerModel& m = store.layerModel(slot);
    for (int s = 0; s < m.layall; ++s)
        if (!isFinite(m.slabs[s].n) || !isFinite(m.slabs[s].magTerm)) std::abort();
}

void loadAndCheck(ModelStore& store) {
    store.nfile = 0;
    try {
        Status s = loadParamSlot(store, workDir() + "p.par");
        if (s.code == 0) {
            computeProfile(store, 0);
            checkSlotFinite(store, 0);
        }
    } catch (const NumberError&) {
    }
}

}  // namespace tolvi::fuzz
