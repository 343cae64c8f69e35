// ORSO reflectivity files read by their header: the unit of Qz, the meaning of the resolution
// column, several data sets, the probe and wavelength, and the refusals. And a q without an angle,
// refused by every data reader.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/constants.h"
#include "base/text_io.h"
#include "fourier/fourier_workspace.h"
#include "model/data_file.h"
#include "model/orso_file.h"
#include "test_support.h"

namespace tolvi {
namespace {

// The points of the files below: q (1/Å), R, its error and the resolution σ_q (1/Å).
struct Point {
    double q, r, dr, dq;
};
const std::vector<Point> POINTS = {{0.012, 0.9, 0.01, 0.0004},   {0.02, 0.05, 0.001, 0.0006},
                                   {0.03, 0.006, 1e-4, 0.0008},  {0.05, 4e-4, 1e-5, 0.0012},
                                   {0.08, 3e-5, 1e-6, 0.0020},   {0.12, 4e-6, 2e-7, 0.0030}};

struct OrsoText {
    std::string qUnit = "1/angstrom";
    double qFactor = 1.0;    // the file's Qz per 1/Å
    double widthFactor = 1;  // the file's sQz per σ_q (in its own unit)
    std::string sqz = "{error_of: Qz}";
    std::string probe = "neutron";
    std::string wavelength = "{magnitude: 5.0, unit: angstrom}";
    std::string errorText;  // replaces every sR when given ("nan")
};

std::string orsoText(const OrsoText& o, const std::vector<Point>& points = POINTS) {
    std::string s =
        "# # ORSO reflectivity data file | 1.0 standard | YAML encoding | "
        "https://www.reflectometry.org/\n"
        "# data_source:\n"
        "#   owner: {name: somebody, affiliation: somewhere}\n"
        "#   experiment:\n"
        "#     title: a test\n"
        "#     probe: " +
        o.probe +
        "\n"
        "#   measurement:\n"
        "#     instrument_settings:\n"
        "#       wavelength: " +
        o.wavelength +
        "\n"
        "# columns:\n"
        "# - {name: Qz, unit: " +
        o.qUnit +
        ", physical_quantity: normal_wavevector_transfer}\n"
        "# - {name: R, physical_quantity: reflectivity}\n"
        "# - {error_of: R}\n"
        "# - " +
        o.sqz + "\n# # Qz R sR sQz\n";
    for (const Point& p : points)
        s += formatText("%.17g %.17g %s %.17g\n", p.q * o.qFactor, p.r,
                        o.errorText.empty() ? formatText("%.17g", p.dr).c_str()
                                            : o.errorText.c_str(),
                        p.dq * o.qFactor * o.widthFactor);
    return s;
}

class Orso : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeMaterial(dir.file("Ni.mf"), 58.69, 26.5, 0.5, 10.3, 4.49, 0.0);
    }
    // A nickel film on silicon reading `data` (neutrons at 5 Å on the q axis unless said).
    Status load(const std::string& data, int xAxis = 2, int probe = 1, double lamd = 5.0) {
        test::writeText(dir.file("d.ort"), data);
        test::writeText(dir.file("a.par"),
                        test::headerText(1, 0, probe, xAxis, lamd, "d.ort", 0.0, 1.0) +
                            test::blockText("S Si.mf", {2.33, 0.0, 3.0}) +
                            test::blockText("S Ni.mf", {8.9, 200.0, 4.0}));
        store = test::makeStore();
        store->dataOptions.fill(options);
        return loadParamSlot(*store, dir.file("a.par"));
    }
    std::vector<double> curve() const {
        const DataSet& d = store->dataSet(0);
        return {d.calcLin.begin(), d.calcLin.begin() + d.npoints};
    }
    std::string where(int line) const { return " (" + placeOf(dir.file("d.ort"), line) + ")"; }

    DataOptions options;
    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

DataOptions withColumns(ResolutionKind kind) {
    DataOptions o;
    o.errors = ErrorSource::Data;
    o.resolution.kind = kind;
    return o;
}

// The same data in 1/Å and 1/nm, each with its header: the same points and curve.
TEST_F(Orso, QInOneOverNanometreIsReadInOneOverAngstrom) {
    options = withColumns(ResolutionKind::Column);
    ASSERT_EQ(load(orsoText({})).message, "--->OK");
    EXPECT_EQ(store->dataHeaders[0].qUnit, 1.0);
    std::vector<double> angstrom = curve();
    OrsoText nm;
    nm.qUnit = "1/nm";
    nm.qFactor = 10.0;
    ASSERT_EQ(load(orsoText(nm)).message, "--->OK");
    EXPECT_TRUE(store->dataHeaders[0].orso);
    EXPECT_EQ(store->dataHeaders[0].qUnit, 0.1);
    ASSERT_EQ(store->dataSet(0).npoints, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(store->dataSet(0).xData[i], POINTS[i].q, 1e-15) << i;
        EXPECT_NEAR(store->pointResolution[0].sigmaX[i], POINTS[i].dq, 1e-17) << i;
        EXPECT_NEAR(curve()[i], angstrom[i], 1e-12 * angstrom[i]) << i;
    }
    // Any other unit is refused, naming the line of the column.
    OrsoText a;
    a.qUnit = "1/A";
    Status s = load(orsoText(a));
    EXPECT_EQ(s.outcome, Outcome::FileRefused);
    EXPECT_EQ(s.message, "--->Error, the ORSO unit of Qz \"1/A\" is neither 1/angstrom nor 1/nm" +
                             where(11));
}

// The meaning of sQz: the header's value_is (σ when absent), unless the option says it.
TEST_F(Orso, TheResolutionColumnMeansWhatItsHeaderSays) {
    options = withColumns(ResolutionKind::Column);
    ASSERT_EQ(load(orsoText({})).message, "--->OK");
    std::vector<double> sigma = curve();
    EXPECT_EQ(store->pointResolution[0].sigmaX[2], POINTS[2].dq);
    OrsoText fwhm;
    fwhm.sqz = "{error_of: Qz, value_is: FWHM}";
    fwhm.widthFactor = 1.0 / FWHM_TO_SIGMA;
    ASSERT_EQ(load(orsoText(fwhm)).message, "--->OK");
    EXPECT_EQ(store->dataHeaders[0].resolutionWidth, DataFileHeader::Width::Fwhm);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(curve()[i], sigma[i], 1e-12 * sigma[i]) << i;
    // column:sigma reads the same FWHM numbers as σ: a wider resolution.
    options = withColumns(ResolutionKind::ColumnSigma);
    ASSERT_EQ(load(orsoText(fwhm)).message, "--->OK");
    EXPECT_NEAR(store->pointResolution[0].sigmaX[2], POINTS[2].dq / FWHM_TO_SIGMA, 1e-17);
    // A rectangular distribution of full width w: σ = w / sqrt(12), said in a warning.
    options = withColumns(ResolutionKind::Column);
    OrsoText box;
    box.sqz = "{error_of: Qz, distribution: rectangular, value_is: FWHM}";
    box.widthFactor = std::sqrt(12.0);
    Status s = load(orsoText(box));
    EXPECT_EQ(s.outcome, Outcome::Warning);
    EXPECT_EQ(s.message, "--->Warning, the resolution of " + dir.file("d.ort") +
                             " is rectangular: read as the Gaussian of the same variance");
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(curve()[i], sigma[i], 1e-12 * sigma[i]) << i;
}

// Errors given as FWHM are read as σ.
TEST_F(Orso, ErrorsGivenAsFwhmAreReadAsSigma) {
    options.errors = ErrorSource::Data;
    std::string text = orsoText({});
    text.replace(text.find("# - {error_of: R}"), 17, "# - {error_of: R, value_is: FWHM}");
    ASSERT_EQ(load(text).message, "--->OK");
    EXPECT_TRUE(store->dataHeaders[0].errorsFwhm);
    EXPECT_EQ(store->pointErrors[0].dy[1], FWHM_TO_SIGMA * POINTS[1].dr);
}

// Without the options the file's curve is what it always was: "nan" in sR and sQz is legal, and
// only a setting that reads them refuses it.
TEST_F(Orso, NanErrorsAreLegalWhereTheyAreNotRead) {
    OrsoText o;
    o.errorText = "nan";
    ASSERT_EQ(load(orsoText(o)).message, "--->OK");
    EXPECT_FALSE(store->pointErrors[0].loaded);
    options.errors = ErrorSource::Data;
    EXPECT_THROW(load(orsoText(o)), NumberError);
}

TEST_F(Orso, SeveralDataSetsAndTheirOwnHeaders) {
    std::vector<Point> second = {{0.015, 0.7, 0.01, 0.0005}, {0.025, 0.03, 0.001, 0.0007}};
    OrsoText o;
    o.probe = "x-ray";  // data set 0 says X-rays; data set 1 says neutrons
    std::string file = orsoText(o) + "\n# data_set: spin down\n"
                                     "# data_source:\n#   experiment:\n#     probe: neutron\n"
                                     "# # Qz R sR sQz\n";
    for (const Point& p : second)
        file += formatText("%.17g %.17g %.17g %.17g\n", p.q, p.r, p.dr, p.dq);
    Status s = load(file);
    EXPECT_EQ(store->dataHeaders[0].dataSets, 2);
    EXPECT_EQ(store->dataSet(0).npoints, 6);
    EXPECT_EQ(s.message, "--->Warning, the probe of " + dir.file("d.ort") +
                             "'s header (X-ray) is not the parameter file's (neutron): the "
                             "parameter file's is used");
    options.dataSet = 1;
    s = load(file);
    EXPECT_EQ(s.message, "--->OK") << "data set 1 says neutrons";
    ASSERT_EQ(store->dataSet(0).npoints, 2);
    EXPECT_EQ(store->dataSet(0).xData[1], 0.025);
    EXPECT_EQ(store->dataHeaders[0].dataSet, 1);
    options.dataSet = 2;
    s = load(file);
    EXPECT_EQ(s.message, "--->Error, " + dir.file("d.ort") +
                             " holds 2 data sets: there is no data set 2");
    // A plain file holds one.
    options.dataSet = 1;
    s = load("0.01 0.9\n0.02 0.05\n");
    EXPECT_EQ(s.message, "--->Error, " + dir.file("d.ort") +
                             " holds 1 data set: there is no data set 1");
}

TEST_F(Orso, AMismatchedWavelengthIsSaidAndTheParameterFilesIsUsed) {
    OrsoText o;
    o.wavelength = "{magnitude: 0.475, unit: nm}";
    Status s = load(orsoText(o));
    EXPECT_EQ(s.message, "--->Warning, the wavelength of " + dir.file("d.ort") +
                             "'s header (4.75 A) is not the parameter file's (5 A): the parameter "
                             "file's is used");
    EXPECT_EQ(store->dataSet(0).lamd, 5.0);
    o.wavelength = "{magnitude: 0.5, unit: nm}";
    EXPECT_EQ(load(orsoText(o)).message, "--->OK");
    // A time-of-flight range says no single wavelength.
    o.wavelength = "{min: 2, max: 12, unit: angstrom}";
    EXPECT_EQ(load(orsoText(o)).message, "--->OK");
}

TEST_F(Orso, RefusalsNameTheirLine) {
    // Not YAML: a tab, or a map value where none may be.
    std::string broken = orsoText({});
    broken.replace(broken.find("#     title: a test"), 19, "#     title: [a test");
    Status s = load(broken);
    EXPECT_EQ(s.outcome, Outcome::FileRefused);
    EXPECT_NE(s.message.find("--->Error, the ORSO header is not YAML: "), std::string::npos);
    EXPECT_NE(s.message.find("(in " + dir.file("d.ort") + ", line "), std::string::npos);
    // No column list.
    s = load("# # ORSO reflectivity data file\n# columns: Qz R sR sQz\n0.01 0.9 0 0\n");
    EXPECT_EQ(s.message, "--->Error, the ORSO header has no list of columns" + where(1));
    // The q axis only.
    s = load(orsoText({}), 0);
    EXPECT_EQ(s.message, "--->Error, " + dir.file("d.ort") +
                             " holds q: the parameter file's x axis must be q");
    // A resolution column a plain file cannot explain.
    options.resolution.kind = ResolutionKind::Column;
    s = load("0.01 0.9 0.01 0.001\n");
    EXPECT_EQ(s.message, "--->Error, " + dir.file("d.ort") +
                             " has no header to say what its resolution column holds: choose FWHM "
                             "or sigma");
}

// Beyond q = 4π/λ there is no angle: the load ends there, in a plain file and in an ORSO file,
// and so does the Fourier page's reader.
TEST_F(Orso, AQWithoutAnAngleEndsTheLoad) {
    double limit = FOUR_PI / 5.0;  // 2.513 1/Å
    Status s = load(formatText("0.01 0.9\n%.17g 1e-9\n", 1.001 * limit));
    EXPECT_EQ(s.outcome, Outcome::FileRefused);
    EXPECT_EQ(s.message,
              "--->Error, q = 2.51579 1/A has no angle at the wavelength 5 A" + where(2));
    s = load(formatText("0.01 0.9\n%.17g 1e-9\n", 0.999 * limit));
    EXPECT_TRUE(s.succeeded()) << s.message;
    OrsoText nm;
    nm.qUnit = "1/nm";
    nm.qFactor = 10.0;
    std::vector<Point> far = POINTS;
    far.back().q = 3.0;
    s = load(orsoText(nm, far));
    EXPECT_EQ(s.message, "--->Error, q = 3 1/A has no angle at the wavelength 5 A" + where(21));

    auto ws = std::make_unique<FourierWorkspace>();
    ws->x_type = fourier::X_Q;
    ws->lambda = 5.0;
    test::writeText(dir.file("f.ort"), orsoText(nm, far));
    EXPECT_EQ(readFourierCurve(*ws, dir.file("f.ort")).outcome, Outcome::FileRefused);
    // The Fourier page reads an ORSO file's q in 1/Å.
    test::writeText(dir.file("f.ort"), orsoText(nm));
    ASSERT_TRUE(readFourierCurve(*ws, dir.file("f.ort")).succeeded());
    EXPECT_NEAR(ws->q[0], POINTS[0].q, 1e-15);
    ws->x_type = fourier::X_THETA;
    EXPECT_EQ(readFourierCurve(*ws, dir.file("f.ort")).message,
              "--->Error, " + dir.file("f.ort") + " holds q: choose q as Data_X_axis");
}

// What a header said belongs to the file read: a simulated curve has none.
TEST_F(Orso, ASimulatedCurveHasNoHeader) {
    ASSERT_EQ(load(orsoText({})).message, "--->OK");
    ASSERT_TRUE(store->dataHeaders[0].orso);
    store->layerModel(0).simFit = 0;
    ASSERT_TRUE(readData(*store, 0).succeeded());
    EXPECT_FALSE(store->dataHeaders[0].orso);
}

TEST(OrsoFile, RecognisedByItsFirstLine) {
    test::TempDir dir;
    test::writeText(dir.file("a"), "# # ORSO reflectivity data file | 1.0 standard\n");
    test::writeText(dir.file("b"), "# ORSO\n0.01 1\n");
    test::writeText(dir.file("c"), "");
    EXPECT_TRUE(isOrsoFile(dir.file("a")));
    EXPECT_FALSE(isOrsoFile(dir.file("b")));
    EXPECT_FALSE(isOrsoFile(dir.file("c")));
    EXPECT_FALSE(isOrsoFile(dir.file("missing")));
}

}  // namespace
}  // namespace tolvi
