#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/status.h"
#include "base/text_io.h"
#include "model/param_file.h"
#include "test_support.h"

namespace tolvi {
namespace {

std::string sp(int n) {
    return std::string(static_cast<size_t>(n), ' ');
}

// A hand-written file: CRLF line ends, blank lines, commas, comments, a lower-case group id.
const char* HAND_WRITTEN =
    "1 ; fit\r\n"
    "\r\n"
    "0\r\n"
    "0, ; X-ray\r\n"
    "1\r\n"
    "0.6\r\n"
    "1.54\r\n"
    "0.01\r\n"
    "0.1, 4.1\r\n"
    "data.dat ; the measured curve\r\n"
    "0.01 1 -0.1 0.1\r\n"
    "5.5,1,4,7\r\n"
    "1 0 0 10\r\n"
    "\r\n"
    "S Si.mf\r\n2.33 0 2 3\r\n0 0 0 0\r\n3 1 0 10\r\n0 0 -1 1\r\n"
    "G1 W.mf 10 1\r\n19.3 0 18 20\r\n20 1 15 25\r\n4 1 0 10\r\n0 0 -1 1\r\n"
    "g1 Si.mf\r\n2.33 -1 2 3\r\n30 1 25 35\r\n4 0 0 10\r\n0 0 -1 1\r\n"
    "\r\n"
    "S SiO2.mf\r\n2.2 1 2 2.5\r\n15.5 1 10 20\r\n5 1 0 10\r\n0 0 -1 1\r\n";

// What the writer makes of it, byte for byte.
const std::string WRITTEN =
    "         1" + sp(12) + "; (0/1=sim/fit) \n" + "         0" + sp(12) + "; (0/1=Lin/Log) \n" +
    "         0" + sp(12) + "; (0/1=Xray/Neutron)  \n" + "         1" + sp(12) +
    "; (0/1/2=th, 2th, q) \n" + "         1" + sp(12) + "; (0/1/-1=nonmag/pol+/pol-) \n" +
    " 1.540000" + sp(11) + "; lamd(A) \n" + " 0.010000" + sp(10) +
    "; beam divergence (x-unit FWHM) \n" + " 0.100000       4.100000" + sp(15) +
    "; x min max range \n" + "data.dat" + sp(10) + "; data file name \n" +
    "1.000000e-02    1  -1.000000e-01  1.000000e-01     ; x0_shift, fit, min, max \n" +
    "5.500000e+00    1  4.000000e+00  7.000000e+00     ; Log(I0), fit, min, max \n" +
    "1.000000e+00    0  0.000000e+00  1.000000e+01     ; BG(cps), fit, min, max \n" + "S  Si.mf" +
    sp(33) + "; layer, name --->(Substrate) \n" +
    "2.330000e+00    0  2.000000e+00  3.000000e+00    ; rho(g/cm3), fit, min, max \n" +
    "0.000000e+00    0  0.000000e+00  0.000000e+00    ; t(A), fit, min, max \n" +
    "3.000000e+00    1  0.000000e+00  1.000000e+01    ; sig(A), fit, min, max \n" +
    "0.000000e+00    0  -1.000000e+00  1.000000e+00    ; mag, fit, min, max \n" +
    "G1  W.mf   10   1" + sp(24) + "; group, name, rept, sigjoin\n" +
    "1.930000e+01    0  1.800000e+01  2.000000e+01    ; rho(g/cm3), fit, min, max \n" +
    "2.000000e+01    1  1.500000e+01  2.500000e+01    ; t(A), fit, min, max \n" +
    "4.000000e+00    1  0.000000e+00  1.000000e+01    ; sig(A), fit, min, max \n" +
    "0.000000e+00    0  -1.000000e+00  1.000000e+00    ; mag, fit, min, max \n" + "G1  Si.mf" +
    sp(33) + "; group, name \n" +
    "2.330000e+00   -1  2.000000e+00  3.000000e+00    ; rho(g/cm3), fit, min, max \n" +
    "3.000000e+01    1  2.500000e+01  3.500000e+01    ; t(A), fit, min, max \n" +
    "4.000000e+00    0  0.000000e+00  1.000000e+01    ; sig(A), fit, min, max \n" +
    "0.000000e+00    0  -1.000000e+00  1.000000e+00    ; mag, fit, min, max \n" + "S  SiO2.mf" +
    sp(33) + "; layer, name \n" +
    "2.200000e+00    1  2.000000e+00  2.500000e+00    ; rho(g/cm3), fit, min, max \n" +
    "1.550000e+01    1  1.000000e+01  2.000000e+01    ; t(A), fit, min, max \n" +
    "5.000000e+00    1  0.000000e+00  1.000000e+01    ; sig(A), fit, min, max \n" +
    "0.000000e+00    0  -1.000000e+00  1.000000e+00    ; mag, fit, min, max \n";

class ParamFile : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0);
        test::writeMaterial(dir.file("W.mf"), 183.84, 72.5, 5.6, 4.86, 18.3, 0);
        test::writeMaterial(dir.file("SiO2.mf"), 60.08, 30.1, 0.4, 15.76, 0.17, 0);
    }
    Status load(const std::string& name, int slot = 0) {
        store->layerModel(slot).paramPath = dir.file(name);
        return readParamFile(*store, slot);
    }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(ParamFile, ReadsEveryFieldOfAHandWrittenFile) {
    test::writeText(dir.file("a.par"), HAND_WRITTEN);
    Status s = load("a.par");
    EXPECT_EQ(s.code, 0) << s.message;
    const DataSet& d = store->dataSet(0);
    const LayerModel& m = store->layerModel(0);
    EXPECT_EQ(m.simFit, 1);
    EXPECT_EQ(d.xAxis, 1);
    EXPECT_EQ(d.magMode, 0.6);
    EXPECT_EQ(d.lamd, 1.54);
    EXPECT_EQ(d.xmax, 4.1);
    EXPECT_EQ(d.dataPath, dir.file("data.dat"));
    EXPECT_EQ(store->paramDir, dir.path() + "/");
    EXPECT_EQ(d.logI0.value, 5.5);
    EXPECT_EQ(d.logI0.fit, 1);
    EXPECT_EQ(d.logI0.max, 7.0);
    EXPECT_EQ(d.x0_shift.step, 0.02);
    EXPECT_EQ(d.bg.step, 0.1);
    ASSERT_EQ(m.nlay, 4);
    EXPECT_EQ(m.nglay, 1);
    EXPECT_EQ(m.entries[2].id.view(), "G1");
    EXPECT_EQ(m.entries[2].kind, 2);
    EXPECT_EQ(m.entries[1].rept, 10);
    EXPECT_EQ(m.entries[1].groupSize, 2);
    EXPECT_EQ(m.entries[3].material.view(), "SiO2.mf");
    EXPECT_EQ(m.entries[3].t.step, 0.02);
    EXPECT_EQ(m.layall, 22);
}

TEST_F(ParamFile, WriterFormatsByteForByteAndRoundTrips) {
    test::writeText(dir.file("a.par"), HAND_WRITTEN);
    ASSERT_EQ(load("a.par").code, 0);
    EXPECT_EQ(formatParamFile(*store, 0), WRITTEN);

    ASSERT_EQ(writeParamFile(*store, 0, dir.file("b.par")).code, 0);
    EXPECT_EQ(test::readText(dir.file("b.par")), WRITTEN);
    ASSERT_EQ(load("b.par", 1).code, 0);
    EXPECT_EQ(formatParamFile(*store, 1), WRITTEN);
}

TEST_F(ParamFile, HeaderOnlyFileHasNoLayers) {
    test::writeText(dir.file("a.par"), test::headerText(1, 0, 0, 0, 1.54));
    Status s = load("a.par");
    EXPECT_EQ(s.code, 0) << s.message;
    EXPECT_EQ(store->layerModel(0).nlay, 0);
    EXPECT_EQ(store->layerModel(0).layall, 0);
}

TEST_F(ParamFile, LineCountErrorsAndMissingFiles) {
    std::string header = test::headerText(1, 0, 0, 0, 1.54);
    test::writeText(dir.file("short.par"), "1\n2\n");
    test::writeText(dir.file("comment.par"),
                    header + "; a comment-only line is counted\n" + test::blockText("S Si.mf", {}));
    test::writeText(dir.file("empty.par"), "\n  \n");
    const char* lineMessage = "--->Error param line number. Line end space? ";
    for (const char* name : {"short.par", "comment.par"}) {
        Status s = load(name);
        EXPECT_EQ(s.code, 1) << name;
        EXPECT_EQ(s.message, lineMessage);
    }
    for (const char* name : {"empty.par", "missing.par"}) {
        Status s = load(name);
        EXPECT_EQ(s.code, -1) << name;
        EXPECT_EQ(s.message, "--->Error open file ");
    }
}

TEST_F(ParamFile, EveryLoadEndsWithAnOutcomeBesideItsText) {
    std::string header = test::headerText(1, 0, 0, 0, 1.54);
    std::string layer = test::blockText("S Si.mf", {});
    test::writeText(dir.file("data.dat"), "0.5 100\n1 10\n");
    test::writeText(dir.file("empty.dat"), "# nothing\n");
    test::writeText(dir.file("ok.par"), header + layer);
    test::writeText(dir.file("simulated.par"), test::headerText(0, 0, 0, 0, 1.54) + layer);
    test::writeText(dir.file("no-point.par"),
                    test::headerText(1, 0, 0, 0, 1.54, "empty.dat") + layer);
    test::writeText(dir.file("short.par"), "1\n2\n");
    test::writeText(dir.file("lamd.par"), test::headerText(1, 0, 0, 0, 0.0) + layer);
    test::writeText(dir.file("material.par"), header + test::blockText("S none.mf", {}));
    test::writeText(dir.file("type.par"), header + test::blockText("X Si.mf", {}));
    test::writeText(dir.file("data.par"), test::headerText(1, 0, 0, 0, 1.54, "gone.dat") + layer);
    struct Case {
        const char* file;
        int code;
        Outcome outcome;
        const char* message;
    };
    const Case cases[] = {
        {"ok.par", 0, Outcome::Ok, "--->OK"},
        {"simulated.par", 0, Outcome::Ok, "--->OK"},
        {"no-point.par", 0, Outcome::Warning, "--->Warning, no data point"},
        {"missing.par", -1, Outcome::FileNotFound, "--->Error open file "},
        {"short.par", 1, Outcome::FileRefused, "--->Error param line number. Line end space? "},
        {"lamd.par", 1, Outcome::FileRefused, "--->Error lamd (line 6) must be above 0"},
        {"material.par", 0, Outcome::FileNotFound, "--->Error can not find materi"},
        {"type.par", 0, Outcome::FileRefused, "--->Error layer type S or G"},
        {"data.par", 0, Outcome::FileNotFound, "--->Error, cant find data"},
    };
    for (const Case& c : cases) {
        store = test::makeStore();
        Status s = loadParamSlot(*store, dir.file(c.file));
        EXPECT_EQ(s.code, c.code) << c.file;
        EXPECT_EQ(s.outcome, c.outcome) << c.file;
        EXPECT_EQ(s.message, c.message) << c.file;
        EXPECT_EQ(s.succeeded(), c.outcome == Outcome::Ok || c.outcome == Outcome::Warning);
    }
    store = test::makeStore();
    for (int slot = 0; slot < MAX_SLOTS; ++slot)
        ASSERT_TRUE(loadParamSlot(*store, dir.file("ok.par")).succeeded());
    Status seventh = loadParamSlot(*store, dir.file("ok.par"));
    EXPECT_EQ(seventh.outcome, Outcome::Refused);
    EXPECT_EQ(seventh.message, "--->Error: Exceed file max of 6");
}

TEST_F(ParamFile, HeaderValuesOutsideTheirSetsAreRefusedAndChangeNothing) {
    store->dataSet(0).xmin = 123.0;
    struct Case {
        int yScale, probe, xAxis;
        double lamd;
    };
    for (Case c : {Case{2, 0, 0, 1.54}, {0, -1, 0, 1.54}, {0, 0, 3, 1.54}, {0, 1, 0, 0.0}}) {
        test::writeText(dir.file("a.par"), test::headerText(1, c.yScale, c.probe, c.xAxis, c.lamd) +
                                               test::blockText("S Si.mf", {}));
        Status s = load("a.par");
        EXPECT_EQ(s.code, 1);
        EXPECT_EQ(s.message.rfind("--->Error", 0), 0u) << s.message;
        EXPECT_EQ(store->dataSet(0).xmin, 123.0);
    }
}

TEST_F(ParamFile, BadNumbersNameFileAndLine) {
    std::string text = test::headerText(1, 0, 0, 0, 1.54) + test::blockText("S Si.mf", {});
    text.replace(text.find("0.100000"), 8, "0.1x0000");
    test::writeText(dir.file("a.par"), text);
    try {
        (void)load("a.par");
        FAIL();
    } catch (const NumberError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "\"0.1x0000\" is not a number (in " + dir.file("a.par") + ", line 8)");
    }
    // A line with fewer fields than needed is an error, not a read of an older line's tokens.
    text = test::headerText(1, 0, 0, 0, 1.54) + test::blockText("S Si.mf", {});
    text.replace(text.find("      4.100000"), 14, "");
    test::writeText(dir.file("a.par"), text);
    EXPECT_THROW((void)load("a.par"), NumberError);
    // The fit flag of a layer line is an integer; that of a header line a truncated real.
    text =
        test::headerText(1, 0, 0, 0, 1.54) + "S Si.mf\n2.33 1.0 2 3\n0 0 0 0\n0 0 0 0\n0 0 0 0\n";
    test::writeText(dir.file("a.par"), text);
    EXPECT_THROW((void)load("a.par"), NumberError);
}

TEST_F(ParamFile, TwoHundredLayersRoundTripAndMoreAreRefused) {
    std::string text = test::headerText(1, 0, 0, 0, 1.54);
    for (int k = 0; k < MAX_ENTRIES; ++k) text += test::blockText("S Si.mf", {2.0, 1.0 * k});
    test::writeText(dir.file("a.par"), text);
    Status s = load("a.par");
    ASSERT_EQ(s.code, 0) << s.message;
    EXPECT_EQ(store->layerModel(0).nlay, MAX_ENTRIES);
    std::string written = formatParamFile(*store, 0);
    ASSERT_EQ(writeParamFile(*store, 0, dir.file("b.par")).code, 0);
    ASSERT_EQ(load("b.par", 1).code, 0);
    EXPECT_EQ(formatParamFile(*store, 1), written);

    test::writeText(dir.file("c.par"), text + test::blockText("S Si.mf", {}));
    Status more = load("c.par", 2);
    EXPECT_EQ(more.code, 1);
    EXPECT_EQ(store->layerModel(2).nlay, 0);
}

TEST_F(ParamFile, LongNamesStayWithinOneLineWhenWritten) {
    std::string material = std::string(88, 'm') + ".mf";  // "G1 <name> 3 1" is 98 characters
    std::string dataName = std::string(85, 'd') + ".dat";
    test::writeMaterial(dir.file(material), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0);
    test::writeText(dir.file("a.par"), test::headerText(1, 0, 0, 0, 1.54, dataName) +
                                           test::blockText("S " + material, {}) +
                                           test::blockText("G1 " + material + " 3 1", {}));
    ASSERT_EQ(load("a.par").code, 0);
    std::string written = formatParamFile(*store, 0);
    for (size_t start = 0, end; (end = written.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 99u) << written.substr(start, end - start);
    ASSERT_EQ(writeParamFile(*store, 0, dir.file("b.par")).code, 0);
    Status s = load("b.par", 1);
    ASSERT_EQ(s.code, 0) << s.message;
    EXPECT_EQ(store->layerModel(1).entries[1].material.view(), material);
    EXPECT_EQ(store->layerModel(1).entries[1].rept, 3);
    EXPECT_EQ(store->dataSet(1).dataPath, dir.file(dataName));
    EXPECT_EQ(formatParamFile(*store, 1), written);
}

TEST_F(ParamFile, MagneticModeIsWrittenWithoutDecimals) {
    store->dataSet(0).magMode = -1.0;
    store->dataSet(0).lamd = 1e-9;  // six decimals would lose it, and a load refuses 0
    std::string text = formatParamFile(*store, 0);
    EXPECT_NE(text.find("        -1            ; (0/1/-1"), std::string::npos) << text;
    EXPECT_NE(text.find("1.0000000000000001e-09"), std::string::npos) << text;
}

TEST_F(ParamFile, FailedWriteKeepsTheOldFile) {
    test::writeText(dir.file("a.par"), HAND_WRITTEN);
    ASSERT_EQ(load("a.par").code, 0);
    Status s = writeParamFile(*store, 0, dir.file("missing-dir/b.par"));
    EXPECT_EQ(s.code, -1);
    EXPECT_EQ(test::readText(dir.file("a.par")), HAND_WRITTEN);
}

}  // namespace
}  // namespace tolvi
