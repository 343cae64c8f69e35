// A measured data file under a fixed model, on an axis and intensity scale chosen by the input's
// first byte, read as the last step of a load; then the profile. The first byte's high bits also
// choose a resolution (the divergence, a FWHM column, a column as an ORSO header says, dQ/Q) and
// a footprint with the errors from the data.
#include <memory>

#include "fuzz_support.h"

using namespace tolvi;

namespace {

const char* MATERIAL = "1\n28.0855\n14.28\n0.33\n4.1491\n0.171\n0\n";

std::string parameterFile(int yScale, int probe, int xAxis) {
    std::string s = "1\n" + std::to_string(yScale) + "\n" + std::to_string(probe) + "\n" +
                    std::to_string(xAxis) +
                    "\n0\n1.54\n0.01\n-1 10\nd.dat\n0 1 -1 1\n5 1 0 9\n"
                    "1 1 0 5\n";
    s += "S a.mf\n2.33 0 2 3\n0 0 0 1\n3 0 0 9\n0 0 -1 1\n";
    s += "G1 a.mf 3 1\n5 0 4 6\n40 1 0 99\n4 0 0 9\n0 0 -1 1\n";
    s += "G1 a.mf\n2 -1 1 3\n20 0 0 99\n6 0 0 9\n0 0 -1 1\n";
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int mode = data[0];
    fuzz::writeFile("a.mf", MATERIAL);
    fuzz::writeFile("p.par", parameterFile(mode & 1, (mode >> 1) & 1, (mode >> 2) % 3));
    fuzz::writeFile("d.dat", std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    static auto store = std::make_unique<ModelStore>();
    store->rRfMode = (mode >> 4) & 1;
    DataOptions options;
    const ResolutionKind kinds[] = {ResolutionKind::Divergence, ResolutionKind::ColumnFwhm,
                                    ResolutionKind::Column, ResolutionKind::Relative};
    options.resolution.kind = kinds[(mode >> 5) & 3];
    options.resolution.relativeFwhm = 0.05;
    if (mode >> 7) {
        options.errors = ErrorSource::Data;
        options.footprint.kind = FootprintKind::Gaussian;
        options.footprint.beam.value = 0.1;
        options.footprint.sample = 10.0;
    }
    store->dataOptions.fill(options);
    fuzz::loadAndCheck(*store);
    return 0;
}
