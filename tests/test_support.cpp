#include "test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tolvi::test {

TempDir::TempDir() {
    char pattern[] = "/tmp/tolvi-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

Medium mediumMatchingSineSquared(double sineSq) {
    // δ = 1 - sqrt(1 - s²), in the form without cancellation, and the doubles around it.
    double guess = sineSq / (1.0 + std::sqrt(1.0 - sineSq));
    for (int step = 0; step < 200; ++step) {
        for (double direction : {1.0, -1.0}) {
            double delta = guess;
            for (int k = 0; k < step; ++k) delta = std::nextafter(delta, direction * INFINITY);
            Medium m{delta, 0.0};
            if (m.chi().re + sineSq == 0.0) return m;
        }
    }
    throw std::runtime_error("no double delta cancels this sine");
}

void setSlabs(ModelStore& store, const std::vector<TestSlab>& slabs) {
    LayerModel& model = store.layerModel(0);
    model.layall = static_cast<int>(slabs.size());
    for (size_t s = 0; s < slabs.size(); ++s) {
        LayerEntry& e = model.slabs[s];
        e.medium = slabs[s].medium;
        e.n = slabs[s].medium.index();
        e.t.value = slabs[s].t;
        e.sig.value = slabs[s].sig;
        e.magTerm = slabs[s].magTerm;
    }
}

void setGrid(ModelStore& store, double x0, double x1, int count) {
    DataSet& d = store.dataSet(0);
    d.npoints = count;
    for (int i = 0; i < count; ++i) d.xData[i] = x0 + (x1 - x0) * i / (count - 1);
}

void setPolarisedStack(ModelStore& store, double magMode, int bilayers) {
    DataSet& d = store.dataSet(0);
    d.lamd = 4.75;
    d.xAxis = 2;
    d.magMode = magMode;
    std::vector<TestSlab> stack{{{7.4e-6, 1e-10}, 0.0, 3.0}};
    for (int i = 0; i < bilayers; ++i) {
        stack.push_back({{2.9e-5, 2e-9}, 60.0, 4.0, {1.8e-5, 0.0}});
        stack.push_back({{2.4e-5, 1e-9}, 40.0, 3.0});
    }
    stack.push_back({{1.2e-5, 0.0}, 30.0, 2.0});
    setSlabs(store, stack);
    setGrid(store, 0.002, 0.3, 1500);
}

void writeText(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeMaterial(const std::string& path, double molarMass, double f1, double f2, double bCoh,
                   double absXs, double mag) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "1.54 ; wavelength\n%.17g ; M\n%.17g ; f1\n%.17g ; f2\n%.17g ; bCoh\n"
                  "%.17g ; absXs\n%.17g ; mag\n",
                  molarMass, f1, f2, bCoh, absXs, mag);
    writeText(path, buf);
}

std::string headerText(int simFit, int yScale, int probe, int xAxis, double lamd,
                       const std::string& dataName, double xmin, double xmax) {
    char buf[2048];
    std::snprintf(buf, sizeof buf,
                  "%10d            ; (0/1=sim/fit) \n"
                  "%10d            ; (0/1=Lin/Log) \n"
                  "%10d            ; (0/1=Xray/Neutron)  \n"
                  "%10d            ; (0/1/2=th, 2th, q) \n"
                  "         0            ; (0/1/-1=nonmag/pol+/pol-) \n"
                  "%9.6f           ; lamd(A) \n"
                  " 0.000000          ; beam divergence (x-unit FWHM) \n"
                  "%9.6f      %9.6f               ; x min max range \n"
                  "%s\n"
                  "0.000000e+00    0  -1.000000e-01  1.000000e-01     ; x0_shift, fit, min, max \n"
                  "0.000000e+00    0  -1.000000e+00  1.000000e+00     ; Log(I0), fit, min, max \n"
                  "0.000000e+00    0  0.000000e+00  1.000000e+01     ; BG(cps), fit, min, max \n",
                  simFit, yScale, probe, xAxis, lamd, xmin, xmax, dataName.c_str());
    return buf;
}

std::string blockText(const std::string& headerLine, const BlockValues& v) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, "%s\n%g %d 0 10\n%g %d 0 1000\n%g %d 0 20\n%g %d -5 5\n",
                  headerLine.c_str(), v.rho, v.rhoFit, v.t, v.tFit, v.sig, v.sigFit, v.mag,
                  v.magFit);
    return buf;
}

}  // namespace tolvi::test
