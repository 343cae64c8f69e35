#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/model_store.h"

namespace tolvi::test {

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void writeText(const std::string& path, const std::string& content);
std::string readText(const std::string& path);

// A medium without absorption whose χ = n² - 1 cancels sin²θ exactly in the kernels' arithmetic,
// under the default ambient: a slab of it has a wave number of exactly 0 at that angle.
Medium mediumMatchingSineSquared(double sineSq);

// A slab given directly, bypassing the layer table.
struct TestSlab {
    Medium medium;
    double t = 0.0;
    double sig = 0.0;
    Complex magTerm{};
};
// The slab stack of slot 0 (n shown as the medium's index).
void setSlabs(ModelStore& store, const std::vector<TestSlab>& slabs);
// `count` x values of slot 0 evenly from x0 to x1.
void setGrid(ModelStore& store, double x0, double x1, int count);
// A polarised-neutron stack in slot 0 at 4.75 Å on the q axis: `bilayers` Fe/Cu bilayers on
// silicon under a cap, the magnetic term in Fe, 1500 q values from 0.002 to 0.3 1/Å.
void setPolarisedStack(ModelStore& store, double magMode, int bilayers);

inline std::unique_ptr<ModelStore> makeStore() {
    return std::make_unique<ModelStore>();
}

// A material file with the seven lines of the format.
void writeMaterial(const std::string& path, double molarMass, double f1, double f2, double bCoh,
                   double absXs, double mag);

// A parameter-file header (12 lines) in the writer's layout, with the given modes.
std::string headerText(int simFit, int yScale, int probe, int xAxis, double lamd,
                       const std::string& dataName = "data.dat", double xmin = 0.1,
                       double xmax = 4.1);

// An entry block: header line and the four parameter lines (value, fit, min, max).
struct BlockValues {
    double rho = 1.0, t = 0.0, sig = 0.0, mag = 0.0;
    int rhoFit = 0, tFit = 0, sigFit = 0, magFit = 0;
};
std::string blockText(const std::string& headerLine, const BlockValues& v);

}  // namespace tolvi::test
