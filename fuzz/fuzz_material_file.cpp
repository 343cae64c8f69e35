// A material file read into a layer entry, its optical constants for X-rays and neutrons.
#include <memory>

#include "actions/load.h"
#include "base/status.h"
#include "fuzz_support.h"
#include "physics/optics.h"

using namespace tolvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeFile("m.mf", std::string(reinterpret_cast<const char*>(data), size));
    static auto store = std::make_unique<ModelStore>();
    store->paramDir = fuzz::workDir();
    LayerEntry& e = store->layerModel(0).entries[0];
    e.material.assign("m.mf");
    e.rho.value = 2.33;
    for (int probe = 0; probe < 2; ++probe) {
        store->dataSet(0).probe = probe;
        store->dataSet(0).lamd = probe ? 4.75 : 1.54;
        try {
            if (readMaterial(*store, 0, 0).ok() &&
                (!isFinite(e.n) || !isFinite(e.magTerm) || !std::isfinite(e.molarMass)))
                std::abort();
        } catch (const NumberError&) {
        }
    }
    return 0;
}
