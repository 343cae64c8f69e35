// A parameter file with its material file (every material name of the seeds is "a.mf") and its
// data file ("d.dat"), read as "Load Param" reads it, then the rest of the calculation chain.
#include <memory>

#include "fuzz_support.h"

using namespace tolvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::splitParts(data, size, 3);
    fuzz::writeFile("p.par", parts[0]);
    fuzz::writeFile("a.mf", parts[1]);
    fuzz::writeFile("d.dat", parts[2]);
    static auto store = std::make_unique<ModelStore>();
    store->rRfMode = size % 2 == 1;
    fuzz::loadAndCheck(*store);
    return 0;
}
