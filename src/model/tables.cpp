#include "model/tables.h"

#include "base/text_io.h"

namespace tolvi {

namespace {

// Table row r (1-based, below the heading row) shows entry or slot r - 1.
int tableRowOf(int index) {
    return index + 1;
}

// Value, min, max and fit of one quantity into four consecutive cells.
void showParam(CellGrid& grid, int row, int column, const BoundedParam& p) {
    grid.setText(row, column, numberText(p.value));
    grid.setText(row, column + 1, numberText(p.min));
    grid.setText(row, column + 2, numberText(p.max));
    grid.setText(row, column + 3, integerText(p.fit));
}

std::string cellPlace(const char* table, int row, int column) {
    return std::string(table) + ", row " + std::to_string(row) + ", column " +
           std::to_string(column);
}

// Reads value, min, max and fit of one quantity from four consecutive cells, those the grid counts
// as edited; each is stored as soon as it is read, so a bad cell leaves the ones before it taken.
// The magnetic fit flag is typed as a real by habit and is truncated; every other flag must be an
// integer.
void takeParam(const CellGrid& grid, const char* table, int row, int column, BoundedParam& p,
               bool truncatedFit) {
    auto real = [&](int c, double& value) {
        if (grid.edited(row, c)) value = parseReal(grid.text(row, c), cellPlace(table, row, c));
    };
    real(column, p.value);
    real(column + 1, p.min);
    real(column + 2, p.max);
    if (!grid.edited(row, column + 3)) return;
    std::string fitText = grid.text(row, column + 3);
    std::string where = cellPlace(table, row, column + 3);
    p.fit = truncatedFit ? parseTruncated(fitText, where) : parseInt(fitText, where);
}

void takeDataRow(ModelStore& store, int slot, const CellGrid& data) {
    DataSet& d = store.dataSet(slot);
    int row = tableRowOf(slot);
    takeParam(data, "data table", row, DATA_VALUE_COLUMN[0], d.x0_shift, false);
    takeParam(data, "data table", row, DATA_VALUE_COLUMN[1], d.logI0, false);
    takeParam(data, "data table", row, DATA_VALUE_COLUMN[2], d.bg, false);
}

void takeLayerRows(ModelStore& store, int slot, const CellGrid& layer) {
    LayerModel& m = store.layerModel(slot);
    for (int e = 0; e < m.nlay; ++e)
        for (int q = PARAM_RHO; q <= PARAM_MAG; ++q)
            takeParam(layer, "layer table", tableRowOf(e), LAYER_VALUE_COLUMN[q],
                      m.entries[e].param(q), q == PARAM_MAG);
}

}  // namespace

std::string numberText(double value) {
    return formatText("%.15g", value);
}

std::string integerText(int value) {
    return formatText("%d", value);
}

std::string fittedText(double value) {
    return formatText("%-10.4f", value);
}

std::string materialText(std::string_view material) {
    size_t mf = material.find(".mf");
    return std::string(mf == std::string_view::npos ? material : material.substr(0, mf));
}

const std::array<const char*, LAYER_COLUMNS>& layerHeadings() {
    static const std::array<const char*, LAYER_COLUMNS> headings = {
        "Layer", "typ",    "materi", "dens[g]", "min", "max", "fit", "thick[A]", "min", "max",
        "fit",   "sig[A]", "min",    "max",     "fit", "mag", "min", "max",      "fit"};
    return headings;
}

const std::array<const char*, DATA_COLUMNS>& dataHeadings() {
    static const std::array<const char*, DATA_COLUMNS> headings = {
        "Data", "x0sift", "min",     "max", "fit", "Log(I0)", "min",
        "max",  "fit",    "BG(cnt)", "min", "max", "fit"};
    return headings;
}

const std::array<const char*, SETTINGS_ROWS>& settingsLabels() {
    static const std::array<const char*, SETTINGS_ROWS> labels = {
        "simul/fit (0/1)", "Xray/Neutrn (0/1)", "θ/2θ/q (0/1/2)", "λ [A]",
        "non_mag/mag_pol", "⊿θ[FWHM x-unit]",   "x-min",          "x-max"};
    return labels;
}

std::string layerRowLabel(int row) {
    return row == 1 ? std::string("1 Base") : integerText(row);
}

std::string dataRowLabel(int slot) {
    return formatText("File%2d", slot + 1);
}

void initLayerTable(CellGrid& layer) {
    for (int c = 0; c < LAYER_COLUMNS; ++c) layer.setText(0, c, layerHeadings()[c]);
    for (int r = 1; r < LAYER_ROWS; ++r) layer.setText(r, 0, layerRowLabel(r));
    clearLayerTable(layer);
}

void initDataTable(CellGrid& data) {
    for (int c = 0; c < DATA_COLUMNS; ++c) data.setText(0, c, dataHeadings()[c]);
    clearDataTable(data);
    for (int s = 0; s < MAX_SLOTS; ++s) data.setText(tableRowOf(s), 0, dataRowLabel(s));
}

void initSettingsTable(CellGrid& settings) {
    for (int r = 0; r < SETTINGS_ROWS; ++r) settings.setText(r, 0, settingsLabels()[r]);
    clearSettingsValues(settings);
}

void clearLayerTable(CellGrid& layer) {
    for (int r = 1; r < LAYER_ROWS; ++r)
        for (int c = 1; c < LAYER_COLUMNS; ++c) layer.setText(r, c, {});
}

void clearDataTable(CellGrid& data) {
    for (int r = 1; r < DATA_ROWS; ++r)
        for (int c = 0; c < DATA_COLUMNS; ++c) data.setText(r, c, {});
}

void clearSettingsValues(CellGrid& settings) {
    for (int r = 0; r < SETTINGS_ROWS; ++r) settings.setText(r, 1, {});
}

void showLayerRows(const ModelStore& store, int slot, CellGrid& layer) {
    const LayerModel& m = store.layerModel(slot);
    for (int e = 0; e < m.nlay; ++e) {
        const LayerEntry& entry = m.entries[e];
        int row = tableRowOf(e);
        layer.setText(row, 0, layerRowLabel(row));
        layer.setText(row, 1, std::string(entry.id.view()));
        layer.setText(row, 2, materialText(entry.material.view()));
        for (int q = PARAM_RHO; q <= PARAM_MAG; ++q)
            showParam(layer, row, LAYER_VALUE_COLUMN[q], entry.param(q));
    }
}

void showDataRow(const ModelStore& store, int slot, CellGrid& data) {
    const DataSet& d = store.dataSet(slot);
    int row = tableRowOf(slot);
    // "All Clear" empties the labels too, so the row brings its own back.
    data.setText(row, 0, dataRowLabel(slot));
    showParam(data, row, DATA_VALUE_COLUMN[0], d.x0_shift);
    showParam(data, row, DATA_VALUE_COLUMN[1], d.logI0);
    showParam(data, row, DATA_VALUE_COLUMN[2], d.bg);
}

void showSettings(const ModelStore& store, int slot, CellGrid& settings) {
    const DataSet& d = store.dataSet(slot);
    const std::array<std::string, SETTINGS_ROWS> values = {
        integerText(store.layerModel(slot).simFit),
        integerText(d.probe),
        integerText(d.xAxis),
        numberText(d.lamd),
        numberText(d.magMode),
        numberText(d.divergence),
        numberText(d.xmin),
        numberText(d.xmax)};
    for (int r = 0; r < SETTINGS_ROWS; ++r) settings.setText(r, 1, values[r]);
}

void showTiedCells(const ModelStore& store, int slot, CellGrid& layer) {
    const TieTable& ties = store.ties[slot];
    const LayerModel& m = store.layerModel(slot);
    for (int k = 0; k < ties.count; ++k) {
        int q = ties.param[k];
        double value = m.entries[ties.source[k]].param(q).value;
        layer.setText(tableRowOf(ties.target[k]), LAYER_VALUE_COLUMN[q], numberText(value));
    }
}

SlotTexts slotTexts(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    const LayerModel& m = store.layerModel(slot);
    return {m.paramPath,           d.dataPath,         integerText(m.nlay), integerText(m.nglay),
            integerText(m.layall), numberText(d.xmin), numberText(d.xmax)};
}

void applyXRange(DataSet& data, TextField& xminField, TextField& xmaxField) {
    double a = parseReal(xminField.text(), "field xmin");
    double b = parseReal(xmaxField.text(), "field xmax");
    if (a < data.xmax) data.xmin = a;
    if (b > data.xmin) data.xmax = b;
    xminField.setText(numberText(data.xmin));
    xmaxField.setText(numberText(data.xmax));
}

void takeTables(ModelStore& store, int slot, bool allRows, TextField& xminField,
                TextField& xmaxField, const CellGrid& data, const CellGrid& layer) {
    applyXRange(store.dataSet(slot), xminField, xmaxField);
    if (allRows) {
        for (int s = 0; s < store.nfile; ++s) takeDataRow(store, s, data);
    } else {
        takeDataRow(store, slot, data);
    }
    takeLayerRows(store, slot, layer);
}

Status applyAmbientFields(ModelStore& store, TextField& deltaField, TextField& betaField) {
    double delta = parseReal(deltaField.text(), "field δ");
    double beta = parseReal(betaField.text(), "field β");
    Status s = setAmbient(store, delta, beta);
    if (s.ok()) {
        deltaField.setText(numberText(delta));
        betaField.setText(numberText(beta));
    }
    return s;
}

Status applyAmbientSldFields(ModelStore& store, TextField& reField, TextField& imField) {
    double re = parseReal(reField.text(), "field SLD Re");
    double im = parseReal(imField.text(), "field SLD Im");
    if (!(im >= 0.0)) return {1, "--->Error ambient SLD Im must not be negative", Outcome::Refused};
    store.ambientSld = {true, re, im};
    reField.setText(numberText(re));
    imField.setText(numberText(im));
    return Status::success("--->OK");
}

}  // namespace tolvi
