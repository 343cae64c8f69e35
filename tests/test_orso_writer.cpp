// ORSO reflectivity files written: read back by Tolvi's own reader to the same numbers, the
// header parsed as YAML with the values of the model, several slots as several data sets, and
// the refusals.
#include <yaml-cpp/yaml.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "actions/orso_export.h"
#include "base/constants.h"
#include "base/text_io.h"
#include "model/orso_file.h"
#include "model/orso_writer.h"
#include "test_support.h"

namespace tolvi {
namespace {

const std::string SOURCE = std::string(TOLVI_SOURCE_DIR) + "/";
const OrsoCreation CREATION = {"9.8", "2026-01-02T03:04:05+01:00"};

// The points of the plain data files below: x (q in 1/Å, or 2θ in degrees), y, its error and the
// resolution column.
struct Point {
    double x, y, dy, dx;
};
const std::vector<Point> Q_POINTS = {{0.0123456789, 0.91, 0.0101, 0.00041},
                                     {0.0211111111, 0.05123, 0.00117, 0.00063},
                                     {0.0333333333, 6.1e-3, 1.01e-4, 0.00081},
                                     {0.0587654321, 4.2e-4, 1.3e-5, 0.0012},
                                     {0.0912345678, 3.3e-5, 1.1e-6, 0.0021}};
const std::vector<Point> TWO_THETA_POINTS = {{0.3, 1.0e5, 320.0, 0.011},
                                             {0.71, 2.3e3, 48.0, 0.012},
                                             {1.13, 170.0, 13.0, 0.013},
                                             {2.9, 8.1, 2.8, 0.02}};

std::string plainData(const std::vector<Point>& points) {
    std::string s;
    for (const Point& p : points)
        s += formatText("%.17g %.17g %.17g %.17g\n", p.x, p.y, p.dy, p.dx);
    return s;
}

class OrsoWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeMaterial(dir.file("Ni.mf"), 58.69, 26.5, 0.5, 10.3, 4.49, 0.0);
    }
    // A nickel film on silicon reading `dataName`, into the next slot of `target`.
    Status load(ModelStore& target, const std::string& parName, const std::string& dataName,
                const DataOptions& options, int xAxis = 2, int probe = 1, double lamd = 5.0) {
        test::writeText(dir.file(parName),
                        test::headerText(1, 0, probe, xAxis, lamd, dataName, 0.0, 6.0) +
                            test::blockText("S Si.mf", {2.33, 0.0, 3.0}) +
                            test::blockText("S Ni.mf", {8.9, 200.0, 4.0}));
        int slot = target.nfile;
        target.dataOptions[slot] = options;
        return loadParamSlot(target, dir.file(parName));
    }
    // Writes the store's workspace to out.ort, with the test's creation.
    std::string write(const ModelStore& from) {
        std::string text = orsoWorkspaceText(from, CREATION);
        test::writeText(dir.file("out.ort"), text);
        return text;
    }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
    std::unique_ptr<ModelStore> back = test::makeStore();
};

DataOptions withColumns(ResolutionKind kind) {
    DataOptions o;
    o.errors = ErrorSource::Data;
    o.resolution.kind = kind;
    return o;
}

// The YAML of the header of data set 0: the "#" lines before the first row, "# " taken off.
YAML::Node headerOf(const std::string& text) {
    std::string yaml;
    size_t start = 0;
    while (start < text.size() && text[start] == '#') {
        size_t end = text.find('\n', start);
        yaml += text.substr(start + 2, end - start - 2) + "\n";
        start = end + 1;
    }
    return YAML::Load(yaml);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// "%-22.16e" gives 17 significant digits: every double reads back to itself, the extremes too.
TEST(OrsoNumbers, SeventeenDigitsReadBackToTheSameDouble) {
    const double values[] = {0.1,          1.0 / 3.0,          2.0 / 3.0 * 1e-300,
                             DBL_MIN,      DBL_TRUE_MIN,       DBL_MAX,
                             1e23,         9007199254740993.0, std::nextafter(0.3, 1.0),
                             5e-324 * 3.0, 123456.78901234567};
    for (double v : values) {
        std::string text = formatText("%-22.16e", v);
        EXPECT_EQ(parseReal(text), v) << text;
    }
}

// q, R, sR and sQz of a slot on the q axis come back to the last bit; Rcalc is the fifth column.
TEST_F(OrsoWriter, AQSlotReadsBackBitForBit) {
    test::writeText(dir.file("d.dat"), plainData(Q_POINTS));
    ASSERT_EQ(load(*store, "a.par", "d.dat", withColumns(ResolutionKind::ColumnSigma)).message,
              "--->OK");
    std::string text = write(*store);
    ASSERT_EQ(load(*back, "b.par", "out.ort", withColumns(ResolutionKind::Column)).message,
              "--->OK")
        << "the header's probe and wavelength are the parameter file's: no warning";
    const DataSet& d = store->dataSet(0);
    const DataSet& r = back->dataSet(0);
    ASSERT_EQ(r.npoints, d.npoints);
    EXPECT_TRUE(back->dataHeaders[0].orso);
    for (int i = 0; i < d.npoints; ++i) {
        EXPECT_EQ(r.xData[i], d.xData[i]) << i;
        EXPECT_EQ(r.yLin[i], d.yLin[i]) << i;
        EXPECT_EQ(back->pointErrors[0].dy[i], store->pointErrors[0].dy[i]) << i;
        EXPECT_EQ(back->pointResolution[0].sigmaX[i], store->pointResolution[0].sigmaX[i]) << i;
        EXPECT_EQ(r.calcLin[i], d.calcLin[i]) << "the same model on the same points, " << i;
    }
    // The fifth number of each row is the curve.
    int row = 0;
    for (const std::string& line : lines(text)) {
        if (line.empty() || line[0] == '#') continue;
        TokenTable tokens;
        ASSERT_EQ(splitLine(line, 10, tokens), 5) << line;
        EXPECT_EQ(parseReal(tokens.token[4].view()), d.calcLin[row]) << row;
        ++row;
    }
    EXPECT_EQ(row, d.npoints);
}

// On the 2θ axis Qz = 4π sin θ / λ and sQz = 4π/λ cos θ σ_θ (σ_θ half the 2θ width, in
// radians); the file read on the q axis gives those q and the same intensities.
TEST_F(OrsoWriter, AnAngleSlotIsWrittenInQ) {
    test::writeText(dir.file("d.dat"), plainData(TWO_THETA_POINTS));
    const double lamd = 1.54;
    ASSERT_TRUE(load(*store, "a.par", "d.dat", withColumns(ResolutionKind::ColumnFwhm), 1, 0, lamd)
                    .succeeded());
    OrsoDataSet set = orsoDataSet(*store, 0);
    ASSERT_EQ(set.q.size(), TWO_THETA_POINTS.size());
    ASSERT_EQ(set.sq.size(), TWO_THETA_POINTS.size());
    for (size_t i = 0; i < set.q.size(); ++i) {
        const Point& p = TWO_THETA_POINTS[i];
        double theta = 0.5 * p.x * PI / 180.0;
        double sigmaTheta = 0.5 * FWHM_TO_SIGMA * p.dx * PI / 180.0;
        double q = 4.0 * PI * std::sin(theta) / lamd;
        EXPECT_NEAR(set.q[i], q, 1e-14 * q) << i;
        double sq = 4.0 * PI / lamd * std::cos(theta) * sigmaTheta;
        EXPECT_NEAR(set.sq[i], sq, 1e-13 * sq) << i;
        EXPECT_EQ(set.sr[i], p.dy) << i;
    }
    write(*store);
    ASSERT_TRUE(
        load(*back, "b.par", "out.ort", withColumns(ResolutionKind::Column), 2, 0, lamd).ok());
    for (size_t i = 0; i < set.q.size(); ++i) {
        EXPECT_EQ(back->dataSet(0).xData[i], set.q[i]) << i;
        EXPECT_EQ(back->dataSet(0).yLin[i], store->dataSet(0).yLin[i]) << i;
        EXPECT_EQ(back->pointResolution[0].sigmaX[i], set.sq[i]) << i;
    }
}

// Errors and resolutions not read are "nan", which the reader takes while it does not read them.
TEST_F(OrsoWriter, WhatWasNotReadIsNan) {
    test::writeText(dir.file("d.dat"), plainData(Q_POINTS));
    ASSERT_TRUE(load(*store, "a.par", "d.dat", {}).ok());
    std::string text = write(*store);
    std::string first = lines(text)[lines(text).size() - Q_POINTS.size()];
    TokenTable tokens;
    ASSERT_EQ(splitLine(first, 10, tokens), 5);
    EXPECT_EQ(tokens.token[2].view(), "nan");
    EXPECT_EQ(tokens.token[3].view(), "nan");
    ASSERT_TRUE(load(*back, "b.par", "out.ort", {}).ok());
    EXPECT_EQ(back->dataSet(0).yLin[0], store->dataSet(0).yLin[0]);
}

// The header, parsed as YAML: first line, columns, probe, wavelength, scale, background, the
// sample model and who wrote the file.
TEST_F(OrsoWriter, TheHeaderHoldsTheModel) {
    test::writeText(dir.file("d.dat"), plainData(Q_POINTS));
    ASSERT_TRUE(load(*store, "a.par", "d.dat", {}).ok());
    DataSet& d = store->dataSet(0);
    d.logI0.value = 0.25;
    d.bg.value = 3e-6;
    std::string text = write(*store);
    EXPECT_EQ(lines(text)[0],
              "# # ORSO reflectivity data file | 1.1 standard | YAML encoding | "
              "https://www.reflectometry.org/");
    YAML::Node h = headerOf(text.substr(text.find('\n') + 1));

    YAML::Node columns = h["columns"];
    ASSERT_EQ(columns.size(), 5u);
    EXPECT_EQ(columns[0]["name"].as<std::string>(), "Qz");
    EXPECT_EQ(columns[0]["unit"].as<std::string>(), "1/angstrom");
    EXPECT_EQ(columns[0]["physical_quantity"].as<std::string>(), "normal_wavevector_transfer");
    EXPECT_EQ(columns[1]["name"].as<std::string>(), "R");
    EXPECT_EQ(columns[2]["error_of"].as<std::string>(), "R");
    EXPECT_EQ(columns[2]["value_is"].as<std::string>(), "sigma");
    EXPECT_EQ(columns[3]["error_of"].as<std::string>(), "Qz");
    EXPECT_EQ(columns[3]["error_type"].as<std::string>(), "resolution");
    EXPECT_EQ(columns[3]["value_is"].as<std::string>(), "sigma");
    EXPECT_EQ(columns[4]["name"].as<std::string>(), "Rcalc");

    YAML::Node source = h["data_source"];
    EXPECT_EQ(source["experiment"]["probe"].as<std::string>(), "neutron");
    EXPECT_EQ(source["experiment"]["title"].as<std::string>(), "a.par");
    EXPECT_TRUE(source["owner"]["name"].IsNull());
    YAML::Node wavelength = source["measurement"]["instrument_settings"]["wavelength"];
    EXPECT_EQ(wavelength["magnitude"].as<double>(), 5.0);
    EXPECT_EQ(wavelength["unit"].as<std::string>(), "angstrom");
    EXPECT_EQ(source["measurement"]["data_files"][0].as<std::string>(), dir.file("d.dat"));
    EXPECT_EQ(h["analysis"]["intensity_scale"].as<double>(), std::pow(10.0, 0.25));
    EXPECT_EQ(h["analysis"]["background"].as<double>(), 3e-6);

    YAML::Node reduction = h["reduction"];
    EXPECT_EQ(reduction["software"]["name"].as<std::string>(), "Tolvi");
    EXPECT_EQ(reduction["software"]["version"].as<std::string>(), "9.8");
    EXPECT_EQ(reduction["creator"]["name"].as<std::string>(), "Tolvi 9.8");
    EXPECT_EQ(reduction["timestamp"].as<std::string>(), CREATION.timestamp);

    // The stack from the ambient down to the substrate, each slab's SLD 2π δ / λ² in 1/Å².
    YAML::Node model = source["sample"]["model"];
    EXPECT_EQ(model["stack"].as<std::string>(), "ambient | Ni_1 | Si_0");
    EXPECT_EQ(model["globals"]["length_unit"].as<std::string>(), "angstrom");
    EXPECT_EQ(model["globals"]["sld_unit"].as<std::string>(), "1/angstrom^2");
    EXPECT_EQ(model["reference"].as<std::string>().rfind("ORSO model language", 0), 0u);
    YAML::Node layers = model["layers"];
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_FALSE(layers["ambient"]["thickness"]);
    EXPECT_FALSE(layers["Si_0"]["thickness"]) << "the substrate has no thickness";
    EXPECT_EQ(layers["Si_0"]["roughness"]["magnitude"].as<double>(), 3.0);
    EXPECT_EQ(layers["Ni_1"]["thickness"]["magnitude"].as<double>(), 200.0);
    EXPECT_EQ(layers["Ni_1"]["thickness"]["unit"].as<std::string>(), "angstrom");
    EXPECT_EQ(layers["Ni_1"]["roughness"]["magnitude"].as<double>(), 4.0);
    const LayerEntry& nickel = store->layerModel(0).slabs[1];
    YAML::Node sld = layers["Ni_1"]["material"]["sld"];
    EXPECT_EQ(sld["real"].as<double>(), 2.0 * PI * nickel.medium.delta / 25.0);
    EXPECT_EQ(sld["imag"].as<double>(), 2.0 * PI * nickel.medium.beta / 25.0);
    EXPECT_EQ(sld["unit"].as<std::string>(), "1/angstrom^2");
    // Nickel's neutron SLD, 9.4e-6 1/Å², as the material file's numbers give it.
    EXPECT_NEAR(sld["real"].as<double>(), 8.9 / 58.69 * 10.3 * NEUTRON_FACTOR, 1e-9);
}

// Two slots are two data sets; the second's block says what differs and reads back as its own.
TEST_F(OrsoWriter, EachSlotIsADataSet) {
    test::writeText(dir.file("d.dat"), plainData(Q_POINTS));
    std::vector<Point> second = Q_POINTS;
    second.pop_back();
    for (Point& p : second) p.y *= 0.5;
    test::writeText(dir.file("e.dat"), plainData(second));
    ASSERT_TRUE(load(*store, "a.par", "d.dat", {}).ok());
    ASSERT_TRUE(load(*store, "x.par", "e.dat", {}, 2, 0, 1.54).ok());
    ASSERT_EQ(store->nfile, 2);
    std::string text = write(*store);
    EXPECT_NE(text.find("\n# data_set: 1\n"), std::string::npos);

    DataFileHeader header;
    OrsoRows rows;
    std::string warning;
    ASSERT_TRUE(readOrsoHeader(dir.file("out.ort"), 1, header, rows, warning).ok());
    EXPECT_EQ(header.dataSets, 2);
    EXPECT_EQ(header.probe, 0);
    EXPECT_EQ(header.wavelength, 1.54);
    EXPECT_EQ(rows.end - rows.first, static_cast<int>(second.size()));
    ASSERT_TRUE(readOrsoHeader(dir.file("out.ort"), 0, header, rows, warning).ok());
    EXPECT_EQ(header.probe, 1);
    EXPECT_EQ(header.wavelength, 5.0);

    DataOptions set1;
    set1.dataSet = 1;
    ASSERT_EQ(load(*back, "y.par", "out.ort", set1, 2, 0, 1.54).message, "--->OK");
    ASSERT_EQ(back->dataSet(0).npoints, static_cast<int>(second.size()));
    for (size_t i = 0; i < second.size(); ++i) {
        EXPECT_EQ(back->dataSet(0).xData[i], store->dataSet(1).xData[i]) << i;
        EXPECT_EQ(back->dataSet(0).yLin[i], store->dataSet(1).yLin[i]) << i;
    }
}

// The template read into slot 0 uncounted is the workspace's one data set; the file is a fit
// of its 2θ curve, written in q.
TEST_F(OrsoWriter, TheTemplateIsOneDataSet) {
    ASSERT_TRUE(loadTemplateSlot(*store, SOURCE).succeeded());
    ASSERT_EQ(store->nfile, 0);
    std::string text = write(*store);
    EXPECT_EQ(text.find("data_set:"), std::string::npos);
    YAML::Node h = headerOf(text.substr(text.find('\n') + 1));
    EXPECT_EQ(h["data_source"]["experiment"]["probe"].as<std::string>(), "x-ray");
    EXPECT_EQ(h["data_source"]["measurement"]["instrument_settings"]["wavelength"]["magnitude"]
                  .as<double>(),
              1.54);
    std::string model = h["data_source"]["sample"]["model"]["stack"].as<std::string>();
    EXPECT_EQ(model.rfind("ambient | C_21 | Si_20 | W_19", 0), 0u) << model;
    EXPECT_EQ(model.substr(model.size() - 6), "| Si_0") << model;
}

// Status of the write: an empty workspace writes nothing; a file that cannot be written keeps
// the old one and leaves no partial file.
TEST_F(OrsoWriter, RefusalsWriteNothing) {
    std::string path = dir.file("kept.ort");
    test::writeText(path, "old\n");
    Status empty = writeOrsoFile(*store, path);
    EXPECT_EQ(empty.outcome, Outcome::Refused);
    EXPECT_EQ(empty.message,
              "--->Error, nothing to save: load a parameter file or open a project first");
    EXPECT_EQ(test::readText(path), "old\n");

    test::writeText(dir.file("d.dat"), plainData(Q_POINTS));
    ASSERT_TRUE(load(*store, "a.par", "d.dat", {}).ok());
    Status missing = writeOrsoFile(*store, dir.file("no/such/out.ort"));
    EXPECT_EQ(missing.outcome, Outcome::WriteFailed);
    EXPECT_EQ(missing.message.rfind("--->Error can not write " + dir.file("no/such/out.ort"), 0),
              0u)
        << missing.message;

    Status written = writeOrsoFile(*store, path);
    EXPECT_EQ(written.outcome, Outcome::Ok);
    EXPECT_EQ(written.message, "--->OK, wrote 1 data set to " + path);
    EXPECT_TRUE(isOrsoFile(path));
    // A stamp of now: the local time and its offset from UTC.
    YAML::Node h = headerOf(test::readText(path).substr(test::readText(path).find('\n') + 1));
    // Written as 2026-12-09T17:30:35+00:00: digits where the pattern has 'd'.
    const std::string stamp = h["reduction"]["timestamp"].as<std::string>();
    const std::string pattern = "dddd-dd-ddTdd:dd:dd+dd:dd";
    ASSERT_EQ(stamp.size(), pattern.size()) << stamp;
    for (size_t i = 0; i < pattern.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(stamp[i])) != 0;
        if (pattern[i] == 'd')
            EXPECT_TRUE(digit) << stamp;
        else if (pattern[i] == '+')
            EXPECT_TRUE(stamp[i] == '+' || stamp[i] == '-') << stamp;
        else
            EXPECT_EQ(stamp[i], pattern[i]) << stamp;
    }
    EXPECT_EQ(h["reduction"]["software"]["version"].as<std::string>(), TOLVI_VERSION);
}

}  // namespace
}  // namespace tolvi
