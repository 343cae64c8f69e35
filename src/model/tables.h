#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "model/model_store.h"

// The model page's tables and fields as texts, and the transfers between them and the model.
// The window adapts its widgets to CellGrid and TextField; everything that decides what a cell
// shows or how a typed text becomes a model value lives here, without Qt.
namespace tolvi {

// Shapes of the three tables. The layer and data tables have a heading row (row 0), so table row
// r shows entry (or slot) r - 1; the settings table has none.
constexpr int LAYER_COLUMNS = 19;
constexpr int LAYER_ROWS = MAX_ENTRIES + 1;
constexpr int DATA_COLUMNS = 13;
constexpr int DATA_ROWS = MAX_SLOTS + 1;
constexpr int SETTINGS_COLUMNS = 2;
constexpr int SETTINGS_ROWS = 8;

// First value column of each layer quantity (LayerParam order): value, min, max, fit follow.
constexpr std::array<int, 4> LAYER_VALUE_COLUMN = {3, 7, 11, 15};
// First value column of x0_shift, logI0 and bg in the data table.
constexpr std::array<int, 3> DATA_VALUE_COLUMN = {1, 5, 9};

// A table of text cells as the window shows it.
class CellGrid {
  public:
    virtual ~CellGrid() = default;
    virtual std::string text(int row, int column) const = 0;
    virtual void setText(int row, int column, const std::string& text) = 0;
    // Whether the cell's text may differ from what the model last showed in it, so that taking
    // the tables must read it. A plain grid cannot tell: every cell counts as edited.
    virtual bool edited(int /*row*/, int /*column*/) const { return true; }
};

// A single-line text field.
class TextField {
  public:
    virtual ~TextField() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
};

// Plain in-memory implementations, for tests and for callers without a window.
class TextGrid : public CellGrid {
  public:
    TextGrid(int rows, int columns)
        : rows_(rows), columns_(columns), cells_(static_cast<size_t>(rows * columns)) {}
    std::string text(int row, int column) const override { return cells_[index(row, column)]; }
    void setText(int row, int column, const std::string& text) override {
        cells_[index(row, column)] = text;
    }
    int rows() const { return rows_; }
    int columns() const { return columns_; }

  private:
    size_t index(int row, int column) const { return static_cast<size_t>(row * columns_ + column); }
    int rows_;
    int columns_;
    std::vector<std::string> cells_;
};

// A grid that remembers what was shown in each of its cells: a cell counts as edited only when its
// text is no longer the one last set. Taking the tables then leaves a value alone whose cell
// shows it rounded ("%-10.4f" of a fitted 4e-7 is "0.0000"), unless the user typed in it.
class WatchedGrid : public CellGrid {
  public:
    WatchedGrid(CellGrid& grid, int rows, int columns) : grid_(grid), shown_(rows, columns) {}
    std::string text(int row, int column) const override { return grid_.text(row, column); }
    void setText(int row, int column, const std::string& text) override {
        grid_.setText(row, column, text);
        shown_.setText(row, column, text);
    }
    bool edited(int row, int column) const override {
        return grid_.text(row, column) != shown_.text(row, column);
    }

  private:
    CellGrid& grid_;
    TextGrid shown_;
};

class TextValue : public TextField {
  public:
    explicit TextValue(std::string text = {}) : text_(std::move(text)) {}
    std::string text() const override { return text_; }
    void setText(const std::string& text) override { text_ = text; }

  private:
    std::string text_;
};

// Cell and field formats.
std::string numberText(double value);  // shortest decimal form, 15 significant digits ("1.54")
std::string integerText(int value);
std::string fittedText(double value);  // a fitted value written back into its cell: "%-10.4f"
// A material as the layer table shows it: the name cut before its first ".mf" ("Si.mf" -> "Si").
std::string materialText(std::string_view material);

// Heading row of the layer and data tables, labels of the settings table.
const std::array<const char*, LAYER_COLUMNS>& layerHeadings();
const std::array<const char*, DATA_COLUMNS>& dataHeadings();
const std::array<const char*, SETTINGS_ROWS>& settingsLabels();

// Column 0 of the tables: "1 Base", "2", ... for table rows 1 to 200; "File 1" to "File 6" for
// slots 0 to 5.
std::string layerRowLabel(int row);
std::string dataRowLabel(int slot);

// Start-up contents: headings, row labels and settings labels, every value cell empty.
void initLayerTable(CellGrid& layer);
void initDataTable(CellGrid& data);
void initSettingsTable(CellGrid& settings);

// Emptying: columns 1 to 18 of rows 1 to 200; every cell of rows 1 to 6; the value column.
void clearLayerTable(CellGrid& layer);
void clearDataTable(CellGrid& data);
void clearSettingsValues(CellGrid& settings);

// Model -> tables for a slot: layer rows 1 to nlay, the slot's data-table row, the settings values.
void showLayerRows(const ModelStore& store, int slot, CellGrid& layer);
void showDataRow(const ModelStore& store, int slot, CellGrid& data);
void showSettings(const ModelStore& store, int slot, CellGrid& settings);
// After buildSlabStack: each tie of the slot's TieTable writes the source row's value into the
// target row's value cell, so that the table shows the value the calculation used.
void showTiedCells(const ModelStore& store, int slot, CellGrid& layer);

// Field texts of a slot: Edit1, Edit3, Edit5, Edit6, Edit7, Edit23, Edit24.
struct SlotTexts {
    std::string paramPath;
    std::string dataPath;
    std::string nlay;
    std::string nglay;
    std::string layall;
    std::string xmin;
    std::string xmax;
};
SlotTexts slotTexts(const ModelStore& store, int slot);

// The x range rule: reads a and b from the two fields; xmin = a if a < xmax, then xmax = b if b >
// the (possibly new) xmin; writes the stored range back into both fields, so a refused value is
// replaced without a message. Throws NumberError (nothing changed) for a text that is no number.
void applyXRange(DataSet& data, TextField& xminField, TextField& xmaxField);

// Tables -> model, in this order: the x range rule for the slot, the data-table row of the slot
// (or with allRows the rows of slots 0 to nfile - 1), the layer rows 1 to nlay into the slot's
// entries. Identifiers, materials and groups are never read. Throws NumberError for the first
// cell that is no number, naming table, row and column; what was read before it stays stored.
void takeTables(ModelStore& store, int slot, bool allRows, TextField& xminField,
                TextField& xmaxField, const CellGrid& data, const CellGrid& layer);

// "Set": the ambient medium from the fields δ and β. A refused medium (setAmbient) keeps the
// previous one and the fields; an accepted one is written back in shortest form.
Status applyAmbientFields(ModelStore& store, TextField& deltaField, TextField& betaField);

// "Set" with the fields read as the fronting medium's SLD, real and imaginary part in 1e-6 1/Å²
// (AmbientSld; each slot converts it with its wavelength). An imaginary part below 0 (a medium
// with gain) is refused and the previous medium kept; an accepted one is written back in
// shortest form.
Status applyAmbientSldFields(ModelStore& store, TextField& reField, TextField& imField);

}  // namespace tolvi
