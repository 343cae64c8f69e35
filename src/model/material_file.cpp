#include "model/material_file.h"

#include <cstdio>
#include <cstring>

#include "base/text_io.h"

namespace tolvi {

namespace {

constexpr int MATERIAL_LINES = 7;

}  // namespace

Status readMaterialFile(ModelStore& store, int slot, int entry) {
    LayerEntry& e = store.layerModel(slot).entries[entry];
    std::string path = store.paramDir + std::string(e.material.view());
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return {1, "--->Error can not find materi", Outcome::FileNotFound};

    // Seven values; blank lines do not count, so a blank line never repeats the value above it.
    double values[MATERIAL_LINES] = {};
    int found = 0;
    int lineNo = 0;
    char buf[1025];
    try {
        while (found < MATERIAL_LINES && std::fgets(buf, sizeof buf, f)) {
            size_t len = std::strlen(buf);
            bool whole = len > 0 && buf[len - 1] == '\n';
            ++lineNo;
            int count = splitLine(buf, 200, store.tokens);
            // The rest of an over-long line is not a line of its own.
            if (!whole)
                for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f)) {
                }
            if (std::string_view(buf).find_first_not_of(" \t\r\n") == std::string_view::npos)
                continue;
            LineFields fields(store.tokens, count, placeOf(path, lineNo));
            values[found++] = fields.real(0);
        }
    } catch (...) {
        std::fclose(f);
        throw;
    }
    std::fclose(f);
    if (found < MATERIAL_LINES)
        throw NumberError("Missing number: the material file " + path + " holds " +
                          std::to_string(found) + " of its 7 value lines");
    if (!(values[1] > 0.0))
        return {2, "--->Error molar mass not above 0 in " + path, Outcome::FileRefused};

    e.molarMass = values[1];
    e.f1 = values[2];
    e.f2 = values[3];
    e.bCoh = values[4];
    e.absXs = values[5];
    e.mag.value = values[6];
    return Status::success("--->OK");
}

}  // namespace tolvi
