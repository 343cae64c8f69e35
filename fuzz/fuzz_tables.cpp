// Arbitrary cell texts taken into the template's model as "Plot" takes the tables, then the
// calculation chain.
#include <memory>

#include "actions/load.h"
#include "base/status.h"
#include "fuzz_support.h"
#include "model/tables.h"
#include "physics/profile.h"
#include "physics/reflectivity.h"
#include "physics/slab_stack.h"

using namespace tolvi;

namespace {

// The template, loaded once; every run starts from a copy of it.
const ModelStore& templateStore() {
    static const std::unique_ptr<ModelStore> store = [] {
        auto s = std::make_unique<ModelStore>();
        if (loadTemplateSlot(*s, TOLVI_BIN_DIR "/").code != 0) std::abort();
        return s;
    }();
    return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto store = std::make_unique<ModelStore>();
    *store = templateStore();
    TextGrid layer(MAX_ENTRIES + 1, LAYER_COLUMNS);
    TextGrid table(MAX_SLOTS + 1, DATA_COLUMNS);
    showLayerRows(*store, 0, layer);
    showDataRow(*store, 0, table);
    TextValue xmin("0.1"), xmax("6");

    // The input is a list of edits "row column text", one a line.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() < 2) continue;
        int which = static_cast<unsigned char>(line[0]);
        int row = static_cast<unsigned char>(line[1]);
        std::string cell = line.substr(2);
        if (which % 4 == 0)
            xmin.setText(cell);
        else if (which % 4 == 1)
            xmax.setText(cell);
        else if (which % 4 == 2)
            table.setText(1, 1 + row % (DATA_COLUMNS - 1), cell);
        else
            layer.setText(1 + row % 4, 3 + (which / 4) % (LAYER_COLUMNS - 3), cell);
    }
    try {
        takeTables(*store, 0, false, xmin, xmax, table, layer);
        buildSlabStack(*store, 0);
        computeReflectivity(*store, 0, false);
        computeProfile(*store, 0);
        fuzz::checkSlotFinite(*store, 0);
    } catch (const NumberError&) {
    }
    return 0;
}
