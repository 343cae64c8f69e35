#include "model/tables.h"

#include <gtest/gtest.h>

#include "actions/load.h"
#include "physics/reflectivity.h"
#include "physics/slab_stack.h"
#include "test_support.h"

namespace tolvi {
namespace {

class Tables : public ::testing::Test {
  protected:
    void SetUp() override {
        initLayerTable(layer);
        initDataTable(data);
        initSettingsTable(settings);
    }

    // A model of two entries with values that survive the shortest-form text unchanged.
    void fillModel(int slot) {
        LayerModel& m = store->layerModel(slot);
        m.nlay = 2;
        m.entries[0].id.assign("S");
        m.entries[0].material.assign("Si.mf");
        m.entries[0].rho = {2.33, 1.864, 2.796, 0};
        m.entries[0].sig = {3, 0, 10, 1};
        m.entries[1].id.assign("G1");
        m.entries[1].material.assign("W");
        m.entries[1].t = {15.6, 7.8, 33.4, 1};
        m.entries[1].mag = {-0.25, -1, 1, -1};
        DataSet& d = store->dataSet(slot);
        d.x0_shift = {0.01, -0.05, 0.05, 0};
        d.logI0 = {6.1, 5, 7, 1};
        d.bg = {2, 0, 10, 0};
    }

    std::unique_ptr<ModelStore> store = test::makeStore();
    TextGrid layer{LAYER_ROWS, LAYER_COLUMNS};
    TextGrid data{DATA_ROWS, DATA_COLUMNS};
    TextGrid settings{SETTINGS_ROWS, SETTINGS_COLUMNS};
    TextValue xmin{"0.1"}, xmax{"4"};
};

TEST(TableFormats, NumbersInShortestFormAndFittedValuesInFixedColumns) {
    struct Case {
        double value;
        const char* text;
    };
    for (const Case& c :
         {Case{1.54, "1.54"}, Case{0.1 + 0.2, "0.3"}, Case{1e-5, "1e-05"}, Case{-0.05, "-0.05"},
          Case{1000, "1000"}, Case{1.0 / 3, "0.333333333333333"}})
        EXPECT_EQ(numberText(c.value), c.text) << c.value;
    EXPECT_EQ(integerText(-3), "-3");
    EXPECT_EQ(fittedText(15.6), "15.6000   ");
    EXPECT_EQ(fittedText(-0.12345), "-0.1235   ");
}

TEST(TableFormats, MaterialIsCutBeforeItsFirstMf) {
    EXPECT_EQ(materialText("Si.mf"), "Si");
    EXPECT_EQ(materialText("Si"), "Si");
    EXPECT_EQ(materialText("a.mf.b.mf"), "a");
    EXPECT_EQ(materialText("SiO2.dat"), "SiO2.dat");
}

TEST_F(Tables, StartUpHeadingsAndLabels) {
    EXPECT_EQ(layer.text(0, 0), "Layer");
    EXPECT_EQ(layer.text(0, 7), "thick[A]");
    EXPECT_EQ(layer.text(0, 18), "fit");
    EXPECT_EQ(layer.text(1, 0), "1 Base");
    EXPECT_EQ(layer.text(2, 0), "2");
    EXPECT_EQ(layer.text(200, 0), "200");
    EXPECT_EQ(layer.text(1, 3), "");
    EXPECT_EQ(data.text(0, 5), "Log(I0)");
    EXPECT_EQ(data.text(1, 0), "File 1");
    EXPECT_EQ(data.text(6, 0), "File 6");
    EXPECT_EQ(settings.text(0, 0), "simul/fit (0/1)");
    EXPECT_EQ(settings.text(2, 0), "θ/2θ/q (0/1/2)");
    EXPECT_EQ(settings.text(7, 0), "x-max");
    EXPECT_EQ(settings.text(7, 1), "");
}

TEST_F(Tables, ShowsASlotInItsRows) {
    fillModel(2);
    store->layerModel(2).simFit = 1;
    store->dataSet(2).lamd = 1.54;
    store->dataSet(2).magMode = -1;
    store->dataSet(2).xmax = 6;
    showLayerRows(*store, 2, layer);
    showDataRow(*store, 2, data);
    showSettings(*store, 2, settings);

    const char* row1[] = {"1 Base", "S", "Si", "2.33", "1.864", "2.796", "0", "0", "0", "0",
                          "0",      "3", "0",  "10",   "1",     "0",     "0", "0", "0"};
    for (int c = 0; c < LAYER_COLUMNS; ++c) EXPECT_EQ(layer.text(1, c), row1[c]) << c;
    EXPECT_EQ(layer.text(2, 2), "W");
    EXPECT_EQ(layer.text(2, 7), "15.6");
    EXPECT_EQ(layer.text(2, 15), "-0.25");
    EXPECT_EQ(layer.text(2, 18), "-1");
    EXPECT_EQ(layer.text(3, 3), "") << "rows beyond nlay stay as they were";

    const char* row3[] = {"File 3", "0.01", "-0.05", "0.05", "0",  "6.1", "5",
                          "7",      "1",    "2",     "0",    "10", "0"};
    for (int c = 0; c < DATA_COLUMNS; ++c) EXPECT_EQ(data.text(3, c), row3[c]) << c;
    EXPECT_EQ(data.text(1, 1), "") << "other slots' rows are untouched";

    const char* values[] = {"1", "0", "0", "1.54", "-1", "0", "0", "6"};
    for (int r = 0; r < SETTINGS_ROWS; ++r) EXPECT_EQ(settings.text(r, 1), values[r]) << r;
}

TEST_F(Tables, ClearingKeepsLabelsExceptTheDataTables) {
    fillModel(0);
    showLayerRows(*store, 0, layer);
    showDataRow(*store, 0, data);
    showSettings(*store, 0, settings);
    clearLayerTable(layer);
    clearDataTable(data);
    clearSettingsValues(settings);
    EXPECT_EQ(layer.text(1, 0), "1 Base");
    EXPECT_EQ(layer.text(1, 1), "");
    EXPECT_EQ(layer.text(2, 18), "");
    EXPECT_EQ(data.text(0, 0), "Data");
    EXPECT_EQ(data.text(1, 0), "") << "\"All Clear\" empties every cell of the slot rows";
    EXPECT_EQ(settings.text(3, 0), "λ [A]");
    EXPECT_EQ(settings.text(3, 1), "");
    showDataRow(*store, 0, data);
    EXPECT_EQ(data.text(1, 0), "File 1") << "a shown row brings its label back";
}

TEST_F(Tables, ModelToTablesToModelKeepsEveryValue) {
    fillModel(0);
    std::unique_ptr<ModelStore> before = std::move(store);
    showLayerRows(*before, 0, layer);
    showDataRow(*before, 0, data);
    store = test::makeStore();
    store->layerModel(0).nlay = 2;
    store->dataSet(0).xmax = 4;
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    for (int e = 0; e < 2; ++e)
        for (int q = PARAM_RHO; q <= PARAM_MAG; ++q) {
            const BoundedParam& a = before->layerModel(0).entries[e].param(q);
            const BoundedParam& b = store->layerModel(0).entries[e].param(q);
            EXPECT_EQ(a.value, b.value);
            EXPECT_EQ(a.min, b.min);
            EXPECT_EQ(a.max, b.max);
            EXPECT_EQ(a.fit, b.fit);
        }
    EXPECT_EQ(store->dataSet(0).logI0.value, 6.1);
    EXPECT_EQ(store->dataSet(0).x0_shift.min, -0.05);
    EXPECT_EQ(store->dataSet(0).bg.max, 10);
    EXPECT_EQ(store->layerModel(0).entries[0].id.view(), "") << "identifiers are never read";
}

TEST_F(Tables, TemplateThroughTheTablesGivesTheSameCurve) {
    ASSERT_EQ(loadTemplateSlot(*store, TOLVI_BIN_DIR "/").message, "--->OK");
    const DataSet& d = store->dataSet(0);
    std::vector<double> calc(d.calcLog.begin(), d.calcLog.begin() + d.npoints);
    showLayerRows(*store, 0, layer);
    showDataRow(*store, 0, data);
    xmin.setText(numberText(d.xmin));
    xmax.setText(numberText(d.xmax));
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    buildSlabStack(*store, 0);
    computeReflectivity(*store, 0, false);
    for (int i = 0; i < d.npoints; ++i) ASSERT_EQ(d.calcLog[i], calc[i]) << i;
}

TEST_F(Tables, XRangeRuleRefusesValueByValue) {
    struct Case {
        const char* a;
        const char* b;
        double xmin, xmax;
        const char* shownMin;
        const char* shownMax;
    };
    const Case cases[] = {
        {"5", "1", 0.1, 1, "0.1", "1"},    // 5 is not below 4; 1 is above 0.1
        {"2", "1", 2, 4, "2", "4"},        // 2 is taken; 1 is not above 2
        {"0.5", "3", 0.5, 3, "0.5", "3"},  // both taken
        {" 4", "4.", 0.1, 4, "0.1", "4"},  // equal to the bound: refused
    };
    for (const Case& c : cases) {
        DataSet d;
        d.xmin = 0.1;
        d.xmax = 4;
        TextValue a(c.a), b(c.b);
        applyXRange(d, a, b);
        EXPECT_EQ(d.xmin, c.xmin) << c.a << " " << c.b;
        EXPECT_EQ(d.xmax, c.xmax) << c.a << " " << c.b;
        EXPECT_EQ(a.text(), c.shownMin);
        EXPECT_EQ(b.text(), c.shownMax);
    }
}

TEST_F(Tables, XRangeThatIsNoNumberChangesNothing) {
    DataSet d;
    d.xmax = 4;
    TextValue a("1"), b("4,5");
    EXPECT_THROW(applyXRange(d, a, b), NumberError);
    EXPECT_EQ(d.xmin, 0.0);
    EXPECT_EQ(a.text(), "1");
}

TEST_F(Tables, ABadCellStopsTheTransferWhereItIs) {
    fillModel(0);
    store->dataSet(0).xmax = 4;
    showLayerRows(*store, 0, layer);
    showDataRow(*store, 0, data);
    layer.setText(1, 3, "2.5");
    layer.setText(2, 3, "9");
    layer.setText(2, 7, "abc");
    try {
        takeTables(*store, 0, false, xmin, xmax, data, layer);
        FAIL() << "no error";
    } catch (const NumberError& e) {
        EXPECT_NE(std::string(e.what()).find("\"abc\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("layer table, row 2, column 7"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(xmin.text(), "0.1") << "the x range came first";
    EXPECT_EQ(store->layerModel(0).entries[0].rho.value, 2.5);
    EXPECT_EQ(store->layerModel(0).entries[1].rho.value, 9) << "cells before the bad one";
    EXPECT_EQ(store->layerModel(0).entries[1].t.value, 15.6);
}

TEST_F(Tables, FitFlagsAreIntegersExceptTheMagneticOneWhichIsTruncated) {
    fillModel(0);
    showLayerRows(*store, 0, layer);
    showDataRow(*store, 0, data);
    layer.setText(1, 18, "1.7");
    layer.setText(2, 18, "-1.7");
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    EXPECT_EQ(store->layerModel(0).entries[0].mag.fit, 1);
    EXPECT_EQ(store->layerModel(0).entries[1].mag.fit, -1);

    layer.setText(1, 6, "1.5");
    EXPECT_THROW(takeTables(*store, 0, false, xmin, xmax, data, layer), NumberError);
    layer.setText(1, 6, "1");
    data.setText(1, 4, "0.5");
    EXPECT_THROW(takeTables(*store, 0, false, xmin, xmax, data, layer), NumberError);
}

TEST_F(Tables, AllRowsReadsTheDataRowOfEveryLoadedSlot) {
    store->nfile = 3;
    for (int s = 0; s < 3; ++s) {
        fillModel(s);
        store->dataSet(s).logI0.value = s + 1;
        showDataRow(*store, s, data);
        store->dataSet(s).logI0.value = 0;
    }
    store->dataSet(0).xmax = 4;
    showLayerRows(*store, 0, layer);
    for (int c = 1; c < DATA_COLUMNS; ++c) data.setText(4, c, "junk");  // slot 3: not loaded
    takeTables(*store, 0, true, xmin, xmax, data, layer);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(store->dataSet(s).logI0.value, s + 1);

    store->dataSet(1).logI0.value = 0;
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    EXPECT_EQ(store->dataSet(1).logI0.value, 0) << "without allRows only the slot's own row";
}

TEST_F(Tables, TiedCellsShowTheSourceValue) {
    fillModel(0);
    LayerModel& m = store->layerModel(0);
    m.nlay = 3;
    m.entries[2].id.assign("S");
    m.entries[2].t = {99, 0, 100, -2};  // thickness tied to table row 2
    applyTies(*store, 0);
    ASSERT_EQ(store->ties[0].count, 2) << "row 2's moment is tied to row 1 as well";
    store->layerModel(0).entries[0].mag.value = 0.5;
    showLayerRows(*store, 0, layer);
    layer.setText(3, 7, "99");
    showTiedCells(*store, 0, layer);
    EXPECT_EQ(layer.text(3, 7), "15.6");
    EXPECT_EQ(layer.text(2, 15), "0.5");
}

TEST_F(Tables, AmbientFieldsSetTheMediumInShortestForm) {
    TextValue delta("1e-5"), beta(" 1e-7");
    Status s = applyAmbientFields(*store, delta, beta);
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(store->ambientN().re, 1 - 1e-5);
    EXPECT_EQ(store->ambientN().im, 1e-7);
    EXPECT_EQ(delta.text(), "1e-05");
    EXPECT_EQ(beta.text(), "1e-07");

    TextValue zero("0."), zeroToo("0.");
    EXPECT_TRUE(applyAmbientFields(*store, zero, zeroToo).ok());
    EXPECT_EQ(zero.text(), "0") << "start-up text \"0.\" is read and shown in shortest form";
}

TEST_F(Tables, AmbientRefusalKeepsMediumAndFields) {
    struct Case {
        const char* delta;
        const char* beta;
    };
    for (const Case& c : {Case{"1", "0"}, Case{"2", "0"}, Case{"0", "-1e-9"}}) {
        store->ambient = {0.5, 0.25};
        TextValue delta(c.delta), beta(c.beta);
        Status s = applyAmbientFields(*store, delta, beta);
        EXPECT_FALSE(s.ok()) << c.delta << " " << c.beta;
        EXPECT_EQ(s.message.rfind("--->Error", 0), 0u) << s.message;
        EXPECT_EQ(store->ambientN(), (Complex{0.5, 0.25}));
        EXPECT_EQ(delta.text(), c.delta);
    }
    TextValue bad("x"), fine("0");
    EXPECT_THROW((void)applyAmbientFields(*store, bad, fine), NumberError);
}

TEST_F(Tables, WatchedCellsAreReadOnlyWhereTheirTextChanged) {
    ASSERT_EQ(loadTemplateSlot(*store, TOLVI_BIN_DIR "/").message, "--->OK");
    TextGrid dataCells(DATA_ROWS, DATA_COLUMNS), layerCells(LAYER_ROWS, LAYER_COLUMNS);
    WatchedGrid data(dataCells, DATA_ROWS, DATA_COLUMNS),
        layer(layerCells, LAYER_ROWS, LAYER_COLUMNS);
    showDataRow(*store, 0, data);
    showLayerRows(*store, 0, layer);
    // A fit leaves a background of 4e-7 and writes it back as the cell shows fitted values.
    store->dataSet(0).bg.value = 4e-7;
    data.setText(1, DATA_VALUE_COLUMN[2], fittedText(4e-7));
    EXPECT_EQ(data.text(1, DATA_VALUE_COLUMN[2]), "0.0000    ");
    TextValue xmin("0.1"), xmax("6");
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    EXPECT_EQ(store->dataSet(0).bg.value, 4e-7) << "a cell nobody edited is not read back";

    dataCells.setText(1, DATA_VALUE_COLUMN[2], "5e-7");  // typed by the user
    takeTables(*store, 0, false, xmin, xmax, data, layer);
    EXPECT_EQ(store->dataSet(0).bg.value, 5e-7);

    // A plain grid reads every cell, as it always has.
    TextGrid plain(DATA_ROWS, DATA_COLUMNS);
    showDataRow(*store, 0, plain);
    plain.setText(1, DATA_VALUE_COLUMN[2], fittedText(4e-7));
    takeTables(*store, 0, false, xmin, xmax, plain, layer);
    EXPECT_EQ(store->dataSet(0).bg.value, 0.0);
}

}  // namespace
}  // namespace tolvi
