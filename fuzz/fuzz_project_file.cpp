// A project file opened as "Open project" opens it; then every slot it gave is checked and the
// workspace is written again, which must give a text that opens once more.
#include <memory>

#include "actions/project.h"
#include "base/status.h"
#include "fuzz_support.h"
#include "model/project_file.h"

using namespace tolvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeFile("p.tolvi", std::string(reinterpret_cast<const char*>(data), size));
    static auto store = std::make_unique<ModelStore>();
    clearAll(*store);
    try {
        Status s = openProject(*store, fuzz::workDir() + "p.tolvi");
        if (!s.succeeded()) return 0;
        for (int slot = 0; slot < store->nfile; ++slot) fuzz::checkSlotFinite(*store, slot);
        // What was read is written back whole: it must open again.
        fuzz::writeFile("q.tolvi", projectText(*store));
        static auto again = std::make_unique<ModelStore>();
        if (!openProject(*again, fuzz::workDir() + "q.tolvi").succeeded()) std::abort();
    } catch (const NumberError&) {
    }
    return 0;
}
