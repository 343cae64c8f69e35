// "Load Param", "Template", "Save Param" and the data-file selector.
#include "model/param_file.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

using ModelPage = WindowTest;

TEST_F(ModelPage, TemplateFillsFieldsTablesAndCharts) {
    loadTemplate();
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_TRUE(field(1).endsWith("/template/template.par")) << field(1).toStdString();
    EXPECT_TRUE(field(3).endsWith("/template/template_data.dat")) << field(3).toStdString();
    EXPECT_EQ(field(5) + " " + field(6) + " " + field(7), "4 1 22");
    EXPECT_EQ(field(23) + " " + field(24), "0.1 6");

    const char* base[] = {"1 Base", "S", "Si", "2.33", "1.864", "2.796", "0",  "0", "0", "11.5",
                          "0",      "3", "0",  "10",   "0",     "0",     "-1", "1", "0"};
    for (int c = 0; c < 19; ++c) EXPECT_EQ(cell("StringGrid1", 1, c), base[c]) << c;
    EXPECT_EQ(cell("StringGrid1", 2, 1) + cell("StringGrid1", 2, 2), "G1W");
    EXPECT_EQ(cell("StringGrid1", 3, 7), "24.2");
    EXPECT_EQ(cell("StringGrid1", 4, 2), "C");
    EXPECT_EQ(cell("StringGrid1", 5, 3), "");

    // The other tables through their cell formats (the formats themselves: test_tables).
    EXPECT_EQ(cell("StringGrid2", 1, 0) + " " + cell("StringGrid2", 1, 2), "File 1 -0.05");
    EXPECT_EQ(cell("StringGrid2", 1, 5) + " " + cell("StringGrid2", 1, 8), "6.1 1");
    EXPECT_EQ(cell("StringGrid3", 3, 1) + " " + cell("StringGrid3", 7, 1), "1.54 6");

    EXPECT_EQ(points("Chart1", 0), 591);
    EXPECT_EQ(points("Chart1", 1), 591);
    EXPECT_EQ(seriesPoints("Chart1", 1)[10].y(), store->dataSet(0).calcLog[10]);
    EXPECT_EQ(points("Chart2", 0), store->nprofile);
    EXPECT_GT(store->nprofile, 100);
    EXPECT_EQ(store->nfile, 0) << "the template stays uncounted";
}

TEST_F(ModelPage, TemplateAgainIsAllowedButNotOnceASlotIsLoaded) {
    loadTemplate();
    loadTemplate();
    EXPECT_EQ(field(4), "--->OK");
    loadParam(writeFilm("a.par", 100));
    EXPECT_EQ(store->nfile, 1) << "the load reads into slot 0 and counts it";
    EXPECT_EQ(store->layerModel(0).nlay, 2);
    loadTemplate();
    EXPECT_EQ(field(4), "--->Error Data already exists");
    EXPECT_EQ(field(1).toStdString(), dir.file("a.par"));
}

TEST_F(ModelPage, LoadsGoIntoTheNextSlotWhichBecomesCurrent) {
    loadParam(writeFilm("a.par", 100));
    loadParam(writeFilm("b.par", 250, 0.2, 3));
    EXPECT_EQ(store->nfile, 2);
    EXPECT_EQ(store->curfile, 1);
    EXPECT_EQ(itemIndex("RGF"), 1);
    EXPECT_EQ(field(1).toStdString(), dir.file("b.par"));
    EXPECT_EQ(cell("StringGrid1", 2, 7), "250");
    EXPECT_EQ(cell("StringGrid1", 2, 2), "Ni");
    EXPECT_EQ(cell("StringGrid2", 1, 0), "File 1") << "slot 0 keeps its row";
    EXPECT_EQ(cell("StringGrid2", 2, 0), "File 2");
    EXPECT_EQ(field(23) + " " + field(24), "0.2 3");
    EXPECT_EQ(points("Chart1", 0), 201);
    ASSERT_EQ(dialogs->asked.size(), 2u);
    EXPECT_TRUE(dialogs->asked[0].filter.isEmpty()) << "the open dialog has no filter";
}

TEST_F(ModelPage, CancelledDialogLoadsTheFileChosenLastAgain) {
    loadParam("");
    EXPECT_EQ(store->nfile, 0) << "nothing chosen yet: nothing happens";
    EXPECT_EQ(field(4), "");
    loadParam(writeFilm("a.par", 100));
    loadParam("");
    EXPECT_EQ(store->nfile, 2);
    EXPECT_EQ(store->layerModel(1).paramPath, dir.file("a.par"));
}

TEST_F(ModelPage, SeventhLoadIsRefusedAfterTheTablesAreEmptied) {
    std::string path = writeFilm("a.par", 100);
    for (int i = 0; i < 6; ++i) loadParam(path);
    EXPECT_EQ(store->nfile, 6);
    EXPECT_EQ(cell("StringGrid1", 1, 3), "2.33");
    loadParam(path);
    EXPECT_EQ(field(4), "--->Error: Exceed file max of 6");
    EXPECT_EQ(store->nfile, 6);
    EXPECT_EQ(store->curfile, 5);
    EXPECT_EQ(itemIndex("RGF"), 5);
    EXPECT_EQ(cell("StringGrid1", 1, 3), "") << "the layer table was emptied first";
    EXPECT_EQ(cell("StringGrid3", 3, 1), "");
    EXPECT_EQ(cell("StringGrid1", 1, 0), "1 Base");
}

TEST_F(ModelPage, AFailedReadLeavesTheSlotUncountedForTheNextLoad) {
    loadParam(writeFilm("a.par", 100));
    // A block cut short: the line count is wrong.
    writeText(dir.file("short.par"), headerText(0, 0, 0, 1, 1.54) + "S Si.mf\n2.33 0 0 5\n");
    loadParam(dir.file("short.par"));
    EXPECT_NE(field(4), "--->OK");
    EXPECT_EQ(store->nfile, 1);
    EXPECT_EQ(store->curfile, 1);
    EXPECT_EQ(itemIndex("RGF"), 1);
    EXPECT_EQ(field(1).toStdString(), dir.file("short.par"));
    loadParam(writeFilm("b.par", 50));
    EXPECT_EQ(store->nfile, 2);
    EXPECT_EQ(store->layerModel(1).entries[1].t.value, 50);
}

TEST_F(ModelPage, ANumberThatCannotBeReadEndsTheLoadInTheErrorBox) {
    std::string text = headerText(0, 0, 0, 1, 1.54) + blockText("S  Si.mf", {2.33});
    text.replace(text.find("1.540000"), 8, "1.54O");
    writeFilm("a.par", 100);
    writeText(dir.file("bad.par"), text);
    loadParam(dir.file("bad.par"));
    ASSERT_EQ(errors->messages.size(), 1);
    EXPECT_TRUE(errors->messages[0].contains("1.54O")) << errors->messages[0].toStdString();
    EXPECT_EQ(store->nfile, 0);
    loadParam(writeFilm("a.par", 100));
    EXPECT_EQ(store->nfile, 1) << "the window goes on";
}

TEST_F(ModelPage, SaveParamWritesTheModelNotTheTables) {
    loadParam(writeFilm("a.par", 100));
    setCell("StringGrid1", 2, 7, "123");
    std::string saved = dir.file("saved.par");
    dialogs->answers.push_back(QString::fromStdString(saved));
    click("Button3");
    EXPECT_EQ(field(2).toStdString(), saved);
    EXPECT_EQ(readText(saved), formatParamFile(*store, 0));
    EXPECT_EQ(readText(saved).find("1.230000e+02"), std::string::npos);
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "par");
    EXPECT_EQ(dialogs->asked.back().filter, "*.par (*.par)");

    dialogs->answers.push_back("");
    click("Button3");
    EXPECT_EQ(field(2).toStdString(), saved) << "a cancelled dialog changes nothing";
}

TEST_F(ModelPage, SlotSwitchShowsTheOtherSlotWithItsWholeCurve) {
    loadParam(writeFilm("a.par", 100, 0.1, 4));
    loadParam(writeFilm("b.par", 250, 0.2, 3));
    setField(23, "1");
    setField(24, "2");
    click("Button6");  // Plot slot 1 over part of its range
    ASSERT_LT(points("Chart1", 0), 201);
    setCell("StringGrid1", 2, 7, "999");

    chooseItem("RGF", 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(cell("StringGrid1", 2, 7), "100");
    EXPECT_EQ(field(1).toStdString(), dir.file("a.par"));
    EXPECT_EQ(field(8), "");
    EXPECT_EQ(field(23) + " " + field(24), "1 2") << "the range shown stays";
    EXPECT_EQ(points("Chart1", 0), 201) << "every point, not only the x range";
    EXPECT_EQ(points("Chart1", 1), 201);
    EXPECT_EQ(store->layerModel(1).entries[1].t.value, 250) << "unplotted edits are dropped";

    chooseItem("RGF", 1);
    EXPECT_EQ(points("Chart1", 0), 201) << "slot 1 shows whole too, although Plot cut it";
    EXPECT_EQ(cell("StringGrid1", 2, 7), "250");
}

TEST_F(ModelPage, SwitchToAnUnloadedSlotIsRefused) {
    loadParam(writeFilm("a.par", 100));
    chooseItem("RGF", 3);
    EXPECT_EQ(field(4), "-->Error, No data ");
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(itemIndex("RGF"), 3) << "the group keeps the chosen item";
    EXPECT_EQ(cell("StringGrid1", 2, 7), "100");

    chooseItem("RGF", 0);
    EXPECT_EQ(cell("StringGrid1", 2, 7), "100") << "the current slot: nothing to do";
}

TEST_F(ModelPage, SwitchIsRefusedWithNothingLoaded) {
    loadTemplate();
    chooseItem("RGF", 1);
    EXPECT_EQ(field(4), "-->Error, No data ");
    EXPECT_EQ(points("Chart1", 0), 591);
}

}  // namespace
}  // namespace tolvi::test
