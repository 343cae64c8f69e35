// The project file: a whole workspace saved and opened again without the files it was made from.
// The oracles are round trips (workspace -> file -> workspace -> the same file, the same tables
// and, bit for bit, the same curves) and refusals that name their key and leave the store alone.
#include <sys/resource.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "actions/load.h"
#include "actions/project.h"
#include "actions/workspace_snapshot.h"
#include "base/text_io.h"
#include "model/project_file.h"
#include "test_support.h"

namespace tolvi {
namespace {

using json = nlohmann::json;
using test::TempDir;

const std::string SOURCE = std::string(TOLVI_SOURCE_DIR) + "/";

// ---- Workspaces ----

// A polarised neutron multilayer simulated on the θ axis with a divergence: a group repeated
// with joined roughness, a roughness tied to an earlier row, a magnetic layer.
void writeSimulatedSlot(const std::string& dir) {
    test::writeMaterial(dir + "/si.mf", 28.0855, 14.0, 0.3, 4.1491, 0.171, 0.0);
    test::writeMaterial(dir + "/fe.mf", 55.845, 26.0, 3.3, 9.45, 2.56, 2.2);
    test::writeMaterial(dir + "/cu.mf", 63.546, 29.0, 0.5, 7.718, 3.78, 0.0);
    std::string header = test::headerText(0, 1, 1, 0, 4.75, "none", 0.05, 3.0);
    auto replace = [&](const std::string& from, const std::string& to) {
        header.replace(header.find(from), from.size(), to);
    };
    replace("         0            ; (0/1/-1", "         1            ; (0/1/-1");
    replace(" 0.000000          ; beam divergence", " 0.010000          ; beam divergence");
    test::BlockValues fe{7.87, 60.0, 4.0, 2.2};
    test::BlockValues cu{8.96, 25.0, 3.0, 0.0};
    test::BlockValues tiedFe = fe;
    tiedFe.sigFit = -2;  // the roughness of table row 2
    test::writeText(dir + "/sim.par", header + test::blockText("S si.mf", {2.33, 0.0, 3.0, 0.0}) +
                                          test::blockText("S fe.mf", fe) +
                                          test::blockText("G1 cu.mf 3 1", cu) +
                                          test::blockText("G1 fe.mf", tiedFe));
}

// A neutron film measured in log10 intensities, with the error of each point (σ of log10 y) and
// its σ in q in the data file.
void writeLogSlot(const std::string& dir) {
    test::writeMaterial(dir + "/si.mf", 28.0855, 14.0, 0.3, 4.1491, 0.171, 0.0);
    test::writeMaterial(dir + "/cu.mf", 63.546, 29.0, 0.5, 7.718, 3.78, 0.0);
    std::string data;
    for (int i = 0; i < 120; ++i) {
        double q = 0.01 + 0.19 * i / 119.0;
        data += formatText("%.6e %.6e %.6e %.6e\n", q, -1.0 - 3.0 * std::log10(q / 0.01),
                           0.02 + 0.001 * i, 0.0005 + 0.01 * q);
    }
    test::writeText(dir + "/log.dat", data);
    test::writeText(dir + "/log.par", test::headerText(1, 1, 1, 2, 5.0, "log.dat", 0.01, 0.2) +
                                          test::blockText("S si.mf", {2.33, 0.0, 3.0, 0.0}) +
                                          test::blockText("S cu.mf", {8.96, 150.0, 5.0, 0.0}));
}

DataOptions optionsOf(ErrorSource errors, StepRule steps) {
    DataOptions o;
    o.errors = errors;
    o.steps = steps;
    return o;
}

// Six slots in `root` (copies of the examples and the template, and two written here), every
// setting away from its default: errors from the data, relative steps, a resolution column and
// a relative one with a free scale, footprints with a free beam, a fronting medium given as an
// SLD, R/Rf', the genetic fit's settings, a header and a data set.
void buildSixSlots(ModelStore& store, const std::string& root) {
    namespace fs = std::filesystem;
    for (const char* folder :
         {"examples/neutron", "examples/neutron-dq", "examples/xray-footprint", "template"})
        fs::copy(SOURCE + folder, root + "/" + fs::path(folder).filename().string(),
                 fs::copy_options::recursive);
    fs::create_directory(root + "/sim");
    writeSimulatedSlot(root + "/sim");
    fs::create_directory(root + "/log");
    writeLogSlot(root + "/log");

    ASSERT_TRUE(setAmbient(store, 1e-7, 1e-9).ok());
    store.ambientSld = {true, 2.07, 0.01};
    store.rRfMode = true;
    store.fitSettings = {1, 30, 50, true, 12345};

    DataOptions neutron = optionsOf(ErrorSource::Data, StepRule::Relative);
    DataOptions column = optionsOf(ErrorSource::Data, StepRule::Fixed);
    column.resolution.kind = ResolutionKind::ColumnFwhm;
    column.resolution.scale = {1.0, 0.8, 1.25, 1, STEP_RESOLUTION_SCALE};
    DataOptions footprint = optionsOf(ErrorSource::Builtin, StepRule::Relative);
    footprint.resolution.kind = ResolutionKind::Relative;
    footprint.resolution.relativeFwhm = 0.03;
    footprint.footprint = {FootprintKind::Gaussian, {0.12, 0.05, 0.3, 1, STEP_BEAM_MM}, 12.0};
    DataOptions uniform;
    uniform.footprint = {FootprintKind::Uniform, {0.1, 0.1, 0.1, 0, STEP_BEAM_MM}, 20.0};
    DataOptions logSigma = optionsOf(ErrorSource::Data, StepRule::Relative);
    logSigma.resolution.kind = ResolutionKind::ColumnSigma;

    const std::pair<std::string, DataOptions> slots[] = {
        {"neutron/film.par", neutron},          {"neutron-dq/film.par", column},
        {"xray-footprint/film.par", footprint}, {"template/template.par", uniform},
        {"sim/sim.par", DataOptions{}},         {"log/log.par", logSigma}};
    for (const auto& [par, options] : slots) {
        store.dataOptions[store.nfile] = options;
        Status s = loadParamSlot(store, root + "/" + par);
        ASSERT_TRUE(s.succeeded()) << par << ": " << s.message;
    }
    ASSERT_EQ(store.nfile, 6);
    // What only a data file's header gives, and a data set, kept whatever the file now holds.
    store.dataHeaders[3] = {true, 3, 1, 0.1, DataFileHeader::Width::Fwhm, true, 1, 4.5};
    store.dataOptions[3].dataSet = 1;
    store.curfile = 2;
}

// ---- Comparisons ----

std::vector<double> head(const std::array<double, MAX_DATA>& values, int count) {
    return {values.begin(), values.begin() + count};
}

void expectSameParam(const BoundedParam& a, const BoundedParam& b) {
    EXPECT_EQ(a.value, b.value);
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.fit, b.fit);
    EXPECT_EQ(a.step, b.step);
}

void expectSameEntry(const LayerEntry& a, const LayerEntry& b) {
    EXPECT_EQ(a.id.view(), b.id.view());
    EXPECT_EQ(a.material.view(), b.material.view());
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.rept, b.rept);
    EXPECT_EQ(a.groupSize, b.groupSize);
    EXPECT_EQ(a.sigjoin, b.sigjoin);
    for (int q = PARAM_RHO; q <= PARAM_MAG; ++q) expectSameParam(a.param(q), b.param(q));
    EXPECT_EQ(a.molarMass, b.molarMass);
    EXPECT_EQ(a.f1, b.f1);
    EXPECT_EQ(a.f2, b.f2);
    EXPECT_EQ(a.bCoh, b.bCoh);
    EXPECT_EQ(a.absXs, b.absXs);
    EXPECT_EQ(a.n, b.n);
    EXPECT_EQ(a.magTerm, b.magTerm);
}

void expectSameTables(const ModelStore& a, const ModelStore& b, int slot) {
    const LayerModel& la = a.layerModel(slot);
    const LayerModel& lb = b.layerModel(slot);
    EXPECT_EQ(la.simFit, lb.simFit);
    ASSERT_EQ(la.nlay, lb.nlay);
    EXPECT_EQ(la.nglay, lb.nglay);
    ASSERT_EQ(la.layall, lb.layall);
    for (int k = 0; k < la.nlay; ++k) expectSameEntry(la.entries[k], lb.entries[k]);
    for (int k = 0; k < la.layall; ++k) expectSameEntry(la.slabs[k], lb.slabs[k]);
    EXPECT_EQ(la.paramPath, lb.paramPath);
}

void expectSameData(const ModelStore& a, const ModelStore& b, int slot) {
    const DataSet& da = a.dataSet(slot);
    const DataSet& db = b.dataSet(slot);
    EXPECT_EQ(da.dataPath, db.dataPath);
    EXPECT_EQ(da.yScale, db.yScale);
    EXPECT_EQ(da.probe, db.probe);
    EXPECT_EQ(da.xAxis, db.xAxis);
    EXPECT_EQ(da.lamd, db.lamd);
    EXPECT_EQ(da.divergence, db.divergence);
    EXPECT_EQ(da.magMode, db.magMode);
    EXPECT_EQ(da.xmin, db.xmin);
    EXPECT_EQ(da.xmax, db.xmax);
    expectSameParam(da.x0_shift, db.x0_shift);
    expectSameParam(da.logI0, db.logI0);
    expectSameParam(da.bg, db.bg);
    int n = da.npoints;
    ASSERT_EQ(n, db.npoints);
    EXPECT_EQ(head(da.xData, n), head(db.xData, n));
    EXPECT_EQ(head(da.yLin, n), head(db.yLin, n));
    EXPECT_EQ(head(da.yLog, n), head(db.yLog, n));
    EXPECT_EQ(head(da.sigmaLog, n), head(db.sigmaLog, n));

    const PointErrors& ea = a.pointErrors[slot];
    const PointErrors& eb = b.pointErrors[slot];
    ASSERT_EQ(ea.loaded, eb.loaded);
    if (ea.loaded) {
        EXPECT_EQ(head(ea.y, n), head(eb.y, n));
        EXPECT_EQ(head(ea.dy, n), head(eb.dy, n));
    }
    ASSERT_EQ(a.pointResolution[slot].loaded, b.pointResolution[slot].loaded);
    if (a.pointResolution[slot].loaded) {
        EXPECT_EQ(head(a.pointResolution[slot].sigmaX, n), head(b.pointResolution[slot].sigmaX, n));
    }

    const DataFileHeader& ha = a.dataHeaders[slot];
    const DataFileHeader& hb = b.dataHeaders[slot];
    EXPECT_EQ(ha.orso, hb.orso);
    EXPECT_EQ(ha.dataSets, hb.dataSets);
    EXPECT_EQ(ha.dataSet, hb.dataSet);
    EXPECT_EQ(ha.qUnit, hb.qUnit);
    EXPECT_EQ(ha.resolutionWidth, hb.resolutionWidth);
    EXPECT_EQ(ha.probe, hb.probe);
    EXPECT_EQ(ha.wavelength, hb.wavelength);
}

void expectSameOptions(const DataOptions& a, const DataOptions& b) {
    EXPECT_EQ(a.errors, b.errors);
    EXPECT_EQ(a.steps, b.steps);
    EXPECT_EQ(a.resolution.kind, b.resolution.kind);
    EXPECT_EQ(a.resolution.relativeFwhm, b.resolution.relativeFwhm);
    expectSameParam(a.resolution.scale, b.resolution.scale);
    EXPECT_EQ(a.footprint.kind, b.footprint.kind);
    expectSameParam(a.footprint.beam, b.footprint.beam);
    EXPECT_EQ(a.footprint.sample, b.footprint.sample);
    EXPECT_EQ(a.dataSet, b.dataSet);
}

// The calculated curves and the R/Rf' reference, bit for bit.
void expectSameCurves(const ModelStore& a, const ModelStore& b, int slot) {
    const DataSet& da = a.dataSet(slot);
    const DataSet& db = b.dataSet(slot);
    int n = da.npoints;
    ASSERT_EQ(n, db.npoints);
    EXPECT_GT(n, 0);
    EXPECT_EQ(head(da.calcLin, n), head(db.calcLin, n));
    EXPECT_EQ(head(da.calcLog, n), head(db.calcLog, n));
    EXPECT_EQ(head(da.rfLin, n), head(db.rfLin, n));
    EXPECT_EQ(head(da.rfLog, n), head(db.rfLog, n));
}

void expectSameWorkspace(const ModelStore& a, const ModelStore& b) {
    ASSERT_EQ(a.nfile, b.nfile);
    EXPECT_EQ(a.curfile, b.curfile);
    EXPECT_EQ(a.ambient.delta, b.ambient.delta);
    EXPECT_EQ(a.ambient.beta, b.ambient.beta);
    EXPECT_EQ(a.ambientSld.given, b.ambientSld.given);
    EXPECT_EQ(a.ambientSld.re, b.ambientSld.re);
    EXPECT_EQ(a.ambientSld.im, b.ambientSld.im);
    EXPECT_EQ(a.rRfMode, b.rRfMode);
    EXPECT_EQ(a.fitSettings.method, b.fitSettings.method);
    EXPECT_EQ(a.fitSettings.population, b.fitSettings.population);
    EXPECT_EQ(a.fitSettings.maxGene, b.fitSettings.maxGene);
    EXPECT_EQ(a.fitSettings.seeded, b.fitSettings.seeded);
    EXPECT_EQ(a.fitSettings.seed, b.fitSettings.seed);
    for (int s = 0; s < a.nfile; ++s) {
        SCOPED_TRACE("slot " + std::to_string(s));
        expectSameTables(a, b, s);
        expectSameData(a, b, s);
        expectSameOptions(a.dataOptions[s], b.dataOptions[s]);
        expectSameCurves(a, b, s);
    }
}

// ---- Round trips ----

class ProjectRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(buildSixSlots(*original, dir.path())); }

    std::unique_ptr<ModelStore> original = test::makeStore();
    TempDir dir;
};

TEST_F(ProjectRoundTrip, SixSlotsReopenWithTheSameFileTablesOptionsDataAndCurves) {
    std::string first = dir.file("work.tolvi");
    Status saved = saveProject(*original, first);
    ASSERT_TRUE(saved.ok()) << saved.message;
    EXPECT_EQ(original->projectSource, test::readText(first));

    auto reopened = test::makeStore();
    Status opened = openProject(*reopened, first);
    ASSERT_EQ(opened.outcome, Outcome::Ok) << opened.message;
    EXPECT_EQ(reopened->nfitParam, 0);
    expectSameWorkspace(*original, *reopened);
    // The reference is there to compare: R/Rf' was on while the slots were loaded.
    EXPECT_GT(reopened->dataSet(0).rfLin[0], 0.0);

    std::string second = dir.file("again.tolvi");
    ASSERT_TRUE(saveProject(*reopened, second).ok());
    EXPECT_EQ(test::readText(second), test::readText(first));
    // The writer alone gives the same text, without the source it overlays.
    reopened->projectSource.clear();
    EXPECT_EQ(projectText(*reopened), test::readText(first));
}

TEST_F(ProjectRoundTrip, AMovedProjectNeedsNoOtherFile) {
    ASSERT_TRUE(saveProject(*original, dir.file("work.tolvi")).ok());
    TempDir elsewhere;
    std::string moved = elsewhere.file("moved.tolvi");
    std::filesystem::copy_file(dir.file("work.tolvi"), moved);
    // The parameter, material and data files stay behind, and then are gone.
    for (const char* folder : {"neutron", "neutron-dq", "xray-footprint", "template", "sim", "log"})
        std::filesystem::remove_all(dir.file(folder));

    auto reopened = test::makeStore();
    Status opened = openProject(*reopened, moved);
    ASSERT_TRUE(opened.ok()) << opened.message;
    expectSameWorkspace(*original, *reopened);
    EXPECT_EQ(reopened->paramDir, directoryOf(moved)) << "materials are looked up beside it";
}

TEST(ProjectTemplate, TheTemplateAloneIsSavedAsOneSlot) {
    auto store = test::makeStore();
    ASSERT_TRUE(loadTemplateSlot(*store, SOURCE).succeeded());
    ASSERT_EQ(store->nfile, 0);
    TempDir dir;
    ASSERT_TRUE(saveProject(*store, dir.file("t.tolvi")).ok());
    auto reopened = test::makeStore();
    ASSERT_TRUE(openProject(*reopened, dir.file("t.tolvi")).ok());
    EXPECT_EQ(reopened->nfile, 1);
    expectSameTables(*store, *reopened, 0);
    expectSameCurves(*store, *reopened, 0);
}

TEST(ProjectEmpty, AnEmptyWorkspaceOpensEmpty) {
    auto store = test::makeStore();
    json saved = json::parse(projectText(*store));
    EXPECT_TRUE(saved["slots"].empty());
    auto other = test::makeStore();
    ASSERT_TRUE(loadTemplateSlot(*other, SOURCE).succeeded());
    ASSERT_TRUE(readProjectText(*other, projectText(*store), "empty.tolvi").ok());
    EXPECT_EQ(other->nfile, 0);
    EXPECT_EQ(other->layerModel(0).nlay, 0) << "the slots beyond the file are emptied";
}

// ---- Snapshots of the workspace (undo) ----

// A snapshot put back over a changed workspace gives it back bit for bit, the calculated curves
// and what "Recov" would restore included; one that cannot be read changes nothing.
TEST(WorkspaceSnapshots, PutBackTheWorkspaceBitForBitOrNothing) {
    auto store = test::makeStore();
    auto state = std::make_unique<FitState>();
    DataOptions column = optionsOf(ErrorSource::Data, StepRule::Fixed);
    column.resolution.kind = ResolutionKind::ColumnFwhm;
    store->dataOptions[0] = column;
    ASSERT_TRUE(loadParamSlot(*store, SOURCE + "examples/neutron-dq/film.par").succeeded());
    ASSERT_TRUE(loadTemplateSlot(*store, SOURCE).code != 0) << "refused beside a counted slot";
    store->nfitParam = 2;
    state->list.savedX[0] = 12.5;
    state->list.owner[1] = 1;
    state->list.quantity[1] = FIT_BG;
    store->dataSet(0).calcLin[3] = std::nextafter(store->dataSet(0).calcLin[3], 1.0);
    const WorkspaceSnapshot snapshot = takeSnapshot(*store, *state);
    const std::string project = projectText(*store);
    const DataSet before = store->dataSet(0);

    ASSERT_TRUE(loadParamSlot(*store, SOURCE + "examples/neutron/film.par").succeeded());
    store->nfitParam = 0;
    state->list.savedX[0] = 0;
    ASSERT_TRUE(restoreSnapshot(*store, *state, snapshot).ok());
    EXPECT_EQ(projectText(*store), project);
    EXPECT_EQ(store->nfile, 1);
    const DataSet& after = store->dataSet(0);
    EXPECT_EQ(std::memcmp(after.calcLin.data(), before.calcLin.data(), sizeof before.calcLin), 0)
        << "the curve as it was, not as computed afresh";
    EXPECT_EQ(std::memcmp(after.rfLog.data(), before.rfLog.data(), sizeof before.rfLog), 0);
    EXPECT_EQ(store->nfitParam, 2);
    EXPECT_EQ(state->list.savedX[0], 12.5);
    EXPECT_EQ(state->list.quantity[1], FIT_BG);
    EXPECT_TRUE(takeSnapshot(*store, *state) == snapshot);

    WorkspaceSnapshot damaged = snapshot;
    damaged.project.resize(damaged.project.size() / 2);
    EXPECT_FALSE(restoreSnapshot(*store, *state, damaged).ok());
    EXPECT_EQ(projectText(*store), project);
}

// ---- Keys this version does not know ----

// A two-slot workspace from the examples: the base of the tests that change its file.
std::string twoSlotProject(ModelStore& store) {
    DataOptions column = optionsOf(ErrorSource::Data, StepRule::Fixed);
    column.resolution.kind = ResolutionKind::ColumnFwhm;
    store.dataOptions[0] = optionsOf(ErrorSource::Data, StepRule::Fixed);
    store.dataOptions[1] = column;
    EXPECT_TRUE(loadParamSlot(store, SOURCE + "examples/neutron/film.par").succeeded());
    EXPECT_TRUE(loadParamSlot(store, SOURCE + "examples/neutron-dq/film.par").succeeded());
    return projectText(store);
}

class ProjectKeys : public ::testing::TestWithParam<int> {};

TEST_P(ProjectKeys, UnknownKeysAtEveryLevelSurviveOpenAndSave) {
    int version = GetParam();
    auto store = test::makeStore();
    json file = json::parse(twoSlotProject(*store));
    file["version"] = version;
    file["futureTop"] = {{"a", 1}};
    file["slots"][0]["futureSlot"] = "kept";
    file["slots"][1]["layers"][1]["futureLayer"] = {1, 2, 3};
    file["slots"][0]["data"]["futureData"] = true;
    TempDir dir;
    test::writeText(dir.file("p.tolvi"), file.dump());

    auto opened = test::makeStore();
    Status s = openProject(*opened, dir.file("p.tolvi"));
    ASSERT_TRUE(s.ok()) << s.message;
    if (version > PROJECT_VERSION) {
        EXPECT_EQ(s.outcome, Outcome::Warning);
        EXPECT_NE(s.message.find("newer version (" + std::to_string(version) + ")"),
                  std::string::npos)
            << s.message;
    } else {
        EXPECT_EQ(s.outcome, Outcome::Ok) << s.message;
    }
    // A change made after opening is saved with them.
    opened->dataSet(1).logI0.value = 0.25;
    ASSERT_TRUE(saveProject(*opened, dir.file("q.tolvi")).ok());
    json saved = json::parse(test::readText(dir.file("q.tolvi")));
    EXPECT_EQ(saved["futureTop"], file["futureTop"]);
    EXPECT_EQ(saved["slots"][0]["futureSlot"], "kept");
    EXPECT_EQ(saved["slots"][1]["layers"][1]["futureLayer"], json({1, 2, 3}));
    EXPECT_EQ(saved["slots"][0]["data"]["futureData"], true);
    EXPECT_EQ(saved["slots"][1]["data"]["logI0"]["value"], 0.25);
    EXPECT_EQ(saved["version"], PROJECT_VERSION) << "written by this version";
}

INSTANTIATE_TEST_SUITE_P(CurrentAndNewer, ProjectKeys, ::testing::Values(1, 2));

// ---- Refusals ----

struct Refusal {
    const char* name;
    std::function<void(json&)> change;
    const char* key;  // what the message must name
};

const Refusal REFUSALS[] = {
    {"missing version", [](json& f) { f.erase("version"); }, "key version"},
    {"version not a number", [](json& f) { f["version"] = "x"; }, "key version"},
    {"version 0", [](json& f) { f["version"] = 0; }, "key version"},
    {"version not whole", [](json& f) { f["version"] = 1.5; }, "key version"},
    {"missing format", [](json& f) { f.erase("format"); }, "format"},
    {"another format", [](json& f) { f["format"] = "other"; }, "format"},
    {"missing lamd", [](json& f) { f["slots"][0]["data"].erase("lamd"); }, "slots[0].data.lamd"},
    {"lamd 0", [](json& f) { f["slots"][0]["data"]["lamd"] = 0.0; }, "slots[0].data.lamd"},
    {"lamd negative", [](json& f) { f["slots"][1]["data"]["lamd"] = -5; }, "slots[1].data.lamd"},
    {"text for a number", [](json& f) { f["slots"][1]["layers"][2]["rho"]["value"] = "1.0"; },
     "slots[1].layers[2].rho.value"},
    {"null (NaN) in an array", [](json& f) { f["slots"][0]["data"]["yLin"][5] = nullptr; },
     "slots[0].data.yLin[5]"},
    {"array one short", [](json& f) { f["slots"][0]["data"]["xData"].erase(0); },
     "slots[0].data.xData"},
    {"npoints beyond MAX_DATA", [](json& f) { f["slots"][0]["data"]["npoints"] = MAX_DATA + 1; },
     "slots[0].data.npoints"},
    {"probe outside its set", [](json& f) { f["slots"][0]["data"]["probe"] = "gamma"; },
     "slots[0].data.probe"},
    {"error of 0", [](json& f) { f["slots"][0]["pointErrors"]["dy"][3] = 0.0; },
     "slots[0].pointErrors.dy[3]"},
    {"negative width", [](json& f) { f["slots"][1]["pointResolution"]["sigmaX"][7] = -1e-4; },
     "slots[1].pointResolution.sigmaX[7]"},
    {"resolution kind outside its set",
     [](json& f) { f["slots"][1]["options"]["resolution"]["kind"] = "column:fwhm2"; },
     "slots[1].options.resolution.kind"},
    {"nlay not the layers", [](json& f) { f["slots"][0]["nlay"] = 3; }, "slots[0].nlay"},
    {"more than 200 layers",
     [](json& f) {
         json& layers = f["slots"][0]["layers"];
         while (layers.size() <= MAX_ENTRIES) layers.push_back(layers[1]);
         f["slots"][0]["nlay"] = layers.size();
     },
     "slots[0].layers"},
    {"group member without its group",
     [](json& f) { f["slots"][0]["layers"][1]["kind"] = "group-member"; },
     "slots[0].layers[1].kind"},
    {"molar mass 0", [](json& f) { f["slots"][1]["layers"][0]["molarMass"] = 0; },
     "slots[1].layers[0].molarMass"},
    {"seven slots",
     [](json& f) {
         while (f["slots"].size() <= MAX_SLOTS) f["slots"].push_back(f["slots"][0]);
     },
     "key slots"},
    {"slot not an object", [](json& f) { f["slots"][1] = 7; }, "slots[1]"},
    {"ambient with gain", [](json& f) { f["ambient"]["beta"] = -1e-9; }, "ambient.beta"},
};

// A workspace (the template's slot) that refused files must leave alone, and the file of another
// to change.
class RefusedProject : public ::testing::Test {
  protected:
    void SetUp() override {
        auto source = test::makeStore();
        base = json::parse(twoSlotProject(*source));
        ASSERT_TRUE(loadParamSlot(*store, SOURCE + "template/template.par").succeeded());
        store->projectSource = "before";
        calc10 = store->dataSet(0).calcLin[10];
    }
    void expectUnchanged() const {
        EXPECT_EQ(store->nfile, 1);
        EXPECT_EQ(store->dataSet(0).lamd, 1.54);
        EXPECT_EQ(store->layerModel(0).nlay, 4);
        EXPECT_EQ(store->dataSet(0).calcLin[10], calc10);
        EXPECT_EQ(store->projectSource, "before");
    }
    // Opens `text` as a project file; the status must be a refusal of its content.
    Status open(const std::string& text) {
        test::writeText(dir.file("bad.tolvi"), text);
        Status s = openProject(*store, dir.file("bad.tolvi"));
        EXPECT_EQ(s.code, 1);
        EXPECT_EQ(s.outcome, Outcome::FileRefused);
        return s;
    }

    std::unique_ptr<ModelStore> store = test::makeStore();
    json base;
    TempDir dir;
    double calc10 = 0.0;
};

class ProjectRefusal : public RefusedProject, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ProjectRefusal, NamesItsKeyAndLeavesTheStoreAlone) {
    const Refusal& r = GetParam();
    json file = base;
    r.change(file);
    Status s = open(file.dump());
    EXPECT_NE(s.message.find(r.key), std::string::npos) << s.message;
    EXPECT_NE(s.message.find(dir.file("bad.tolvi")), std::string::npos) << s.message;
    expectUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Table, ProjectRefusal, ::testing::ValuesIn(REFUSALS),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST_F(RefusedProject, TextThatIsNotJsonNamesTheByte) {
    Status s = open("{\"format\": tolvi}");
    EXPECT_NE(s.message.find("is not a project file"), std::string::npos) << s.message;
    EXPECT_NE(s.message.find("at byte 13"), std::string::npos) << s.message;
    expectUnchanged();

    Status empty = open("");
    EXPECT_NE(empty.message.find("at byte 1"), std::string::npos) << empty.message;
    expectUnchanged();

    Status array = open("[1, 2]");
    EXPECT_NE(array.message.find("not a JSON object"), std::string::npos) << array.message;
    expectUnchanged();
}

// An unknown key nested thousands deep would be kept, and written again by recursion.
TEST_F(RefusedProject, NestingDeeperThanAnyProjectIsRefused) {
    std::string text = base.dump();
    std::string deep = std::string(5000, '[') + std::string(5000, ']');
    text.insert(1, "\"deep\": " + deep + ", ");
    Status s = open(text);
    EXPECT_NE(s.message.find("nested deeper than 64 levels"), std::string::npos) << s.message;
    expectUnchanged();
}

TEST_F(RefusedProject, AMissingFileIsNotFound) {
    Status s = openProject(*store, dir.file("none.tolvi"));
    EXPECT_EQ(s.code, -1);
    EXPECT_EQ(s.outcome, Outcome::FileNotFound);
    EXPECT_NE(s.message.find("--->Error open file"), std::string::npos);
    expectUnchanged();
}

TEST_F(RefusedProject, MoreSlabsThanTheStackHoldsAreRefused) {
    json file = base;
    json& layers = file["slots"][0]["layers"];
    layers[1]["kind"] = "group";
    layers[1]["rept"] = MAX_SLABS;
    layers[1]["groupSize"] = 1;
    Status s = open(file.dump());
    EXPECT_NE(s.message.find("slots[0].layers"), std::string::npos) << s.message;
    EXPECT_NE(s.message.find("slabs"), std::string::npos) << s.message;
    expectUnchanged();
}

// ---- Writing ----

// Files may grow to `bytes` and no further while it lives (a full disk, even for root).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST(ProjectSave, AFileThatCannotBeWrittenKeepsTheOldOne) {
    auto store = test::makeStore();
    std::string before = twoSlotProject(*store);
    TempDir dir;
    std::string path = dir.file("p.tolvi");
    ASSERT_TRUE(saveProject(*store, path).ok());
    ASSERT_EQ(test::readText(path), before);

    store->dataSet(0).logI0.value = 0.5;
    {
        FileSizeLimit full(before.size() / 2);
        Status s = saveProject(*store, path);
        EXPECT_EQ(s.code, -1);
        EXPECT_EQ(s.outcome, Outcome::WriteFailed);
    }
    EXPECT_EQ(test::readText(path), before);
    EXPECT_EQ(store->projectSource, before) << "the source is what was last written";
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
    EXPECT_EQ(entries, 1) << "no partial file is left";

    Status missing = saveProject(*store, dir.file("no/such/p.tolvi"));
    EXPECT_EQ(missing.outcome, Outcome::WriteFailed);
}

// ---- Recognition ----

TEST(ProjectRecognition, ByContentNotByName) {
    auto store = test::makeStore();
    std::string text = twoSlotProject(*store);
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        bool project;
    };
    std::string binary;
    for (int c = 0; c < 256; ++c) binary += static_cast<char>(c);
    const Case cases[] = {
        {"work.tolvi", text, true},
        {"notes.txt", text, true},
        {"no-extension", text, true},
        {"format-first.json", "{\"format\": \"tolvi-project\", \"slots\": [}", true},
        {"film.par", test::readText(SOURCE + "examples/neutron/film.par"), false},
        {"film.dat", test::readText(SOURCE + "examples/neutron/film.dat"), false},
        {"empty.tolvi", "", false},
        {"binary.tolvi", binary, false},
        {"other.json", "{\"format\": \"other\", \"version\": 1}", false},
        {"nested.json", "{\"a\": {\"format\": \"tolvi-project\"}}", false},
        {"array.json", "[{\"format\": \"tolvi-project\"}]", false},
        {"number.json", "{\"format\": 1}", false},
    };
    for (const Case& c : cases) {
        test::writeText(dir.file(c.name), c.content);
        EXPECT_EQ(isProjectFile(dir.file(c.name)), c.project) << c.name;
    }
    EXPECT_FALSE(isProjectFile(dir.file("missing.tolvi")));
    EXPECT_FALSE(isProjectFile(dir.path())) << "a directory";
}

}  // namespace
}  // namespace tolvi
