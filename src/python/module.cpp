// The Python module `tolvi`: a model loaded as the command-line tool loads it, its curve at the
// loaded points or at any q, its slabs and profile, fits and samples with the tool's options, and
// its files. The interpreter lock is released while the core computes, and each model has a lock
// of its own, so that threads may share a model, and models compute side by side.
#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "actions/load.h"
#include "actions/project.h"
#include "base/constants.h"
#include "base/status.h"
#include "base/text_io.h"
#include "cli/commands.h"
#include "cli/fit_command.h"
#include "fit/fit_results.h"
#include "fit/fit_runs.h"
#include "fit/sample_run.h"
#include "model/param_file.h"
#include "model/results_file.h"
#include "physics/profile.h"
#include "physics/reflectivity.h"

namespace py = pybind11;

namespace tolvi::python {

namespace {

// Any failure of the core or of the options given: raised in Python as tolvi.Error with the
// program's own message.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The folder that holds "template/": tolvi_data/ beside this module's shared object.
std::string dataDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&dataDirectory), &info) == 0 || !info.dli_fname)
        return "./tolvi_data/";
    return directoryOf(info.dli_fname) + "tolvi_data/";
}

bool isFlag(const std::vector<cli::CommandOption>& accepted, const std::string& name) {
    for (const cli::CommandOption& s : accepted)
        if (name == s.name) return !s.takesValue;
    return false;
}

// Keyword arguments as the tool's options: fit_resolution=... is --fit-resolution ...; a flag is
// given by True. An option the call does not take is refused, naming what it does take.
cli::Arguments argumentsOf(const py::kwargs& kwargs, const std::vector<cli::CommandOption>& accepted,
                           const std::string& call) {
    cli::Arguments args;
    for (auto [key, value] : kwargs) {
        std::string name = py::str(key);
        for (char& c : name)
            if (c == '_') c = '-';
        bool known = false;
        for (const cli::CommandOption& s : accepted) known = known || name == s.name;
        if (!known) {
            std::string names;
            for (const cli::CommandOption& s : accepted) {
                std::string n = s.name;
                for (char& c : n)
                    if (c == '-') c = '_';
                names += (names.empty() ? "" : ", ") + n;
            }
            throw Error(call + " takes no option \"" + std::string(py::str(key)) +
                        "\" (it takes " + names + ")");
        }
        if (isFlag(accepted, name)) {
            if (!py::isinstance<py::bool_>(value))
                throw Error(call + ": " + std::string(py::str(key)) + " is True or False");
            if (value.cast<bool>()) args.flags.insert(name);
        } else {
            if (py::isinstance<py::bool_>(value))
                throw Error(call + ": " + std::string(py::str(key)) + " takes a value");
            args.values[name] = py::str(value);
        }
    }
    return args;
}

// The options of tolvi-cli's commands without those that name files for the tool to write:
// a script writes with save() and gets the results as the call's value.
std::vector<cli::CommandOption> without(std::vector<cli::CommandOption> accepted,
                                     std::initializer_list<const char*> names) {
    std::vector<cli::CommandOption> kept;
    for (const cli::CommandOption& s : accepted) {
        bool drop = false;
        for (const char* n : names) drop = drop || std::string(n) == s.name;
        if (!drop) kept.push_back(s);
    }
    return kept;
}

// Runs `work` without the interpreter lock and with the model's own; the core's failures become
// Error.
template <class Work>
auto computing(std::mutex& lock, Work&& work) {
    py::gil_scoped_release released;
    std::lock_guard<std::mutex> held(lock);
    try {
        return work();
    } catch (const cli::UsageError& e) {
        throw Error(e.message);
    } catch (const NumberError& e) {
        throw Error(e.what());
    }
}

// A read-only array over `count` doubles that `owner` keeps alive.
py::array_t<double> viewOf(const double* data, int count, py::handle owner) {
    py::array_t<double> a({static_cast<py::ssize_t>(count)}, {py::ssize_t(sizeof(double))}, data,
                          owner);
    py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return a;
}

// The named results as the --results JSON file has them, as a dict.
py::object resultsDict(const NamedResults& results) {
    return py::module_::import("json").attr("loads")(resultsJson(results));
}

}  // namespace

// A model: the workspace of one load, with what fits and samples keep besides it.
class Model {
  public:
    Model()
        : store_(std::make_unique<ModelStore>()),
          state_(std::make_unique<FitState>()),
          genetic_(std::make_unique<GeneticState>()),
          chain_(std::make_unique<EnsembleChain>()) {}

    void load(const std::optional<std::string>& path, cli::Arguments args) {
        computing(lock_, [&] {
            Status s = Status::success("--->OK");
            if (args.flags.count("template")) {
                if (path) throw Error("give either a file or template=True, not both");
                cli::setModelOptions(*store_, args);
                s = loadTemplateSlot(*store_, dataDirectory());
            } else {
                if (!path) throw Error("a parameter or project file is needed (or template=True)");
                args.positional.push_back(*path);
                s = cli::loadModel(*store_, args);
            }
            if (!s.succeeded()) throw Error(s.message);
            return 0;
        });
    }

    const DataSet& data() const { return store_->dataSet(store_->curfile); }
    int slot() const { return store_->curfile; }
    ModelStore& store() { return *store_; }
    std::mutex& lock() { return lock_; }

    // The calculated intensities at `count` values of q (1/Å), with the 1σ widths dq (1/Å) where
    // the data set's resolution is a column of its file: the slot's model, scale, background,
    // resolution and footprint, in pieces of the store's capacity on a copy of the slot.
    void reflectivityAt(const double* q, const double* dq, long count, double* out) {
        if (!scratch_) scratch_ = std::make_unique<ModelStore>();
        const int s = slot();
        ModelStore& work = *scratch_;
        work.data[s] = store_->data[s];
        work.layers[s] = store_->layers[s];
        work.dataOptions[s] = store_->dataOptions[s];
        work.pointResolution[s] = store_->pointResolution[s];
        work.ambient = store_->ambient;
        work.ambientSld = store_->ambientSld;
        work.nfile = store_->nfile;
        work.curfile = s;
        DataSet& d = work.data[s];
        const double qOf = FOUR_PI / d.lamd;
        for (long first = 0; first < count; first += MAX_DATA) {
            int n = static_cast<int>(std::min<long>(MAX_DATA, count - first));
            d.npoints = n;
            work.pointResolution[s].loaded = dq != nullptr;
            for (int i = 0; i < n; ++i) {
                double qi = q[first + i];
                double sine = qi / qOf;
                double theta = std::asin(sine) * DEG_PER_RAD;
                double x = d.xAxis == 0 ? theta : d.xAxis == 1 ? 2.0 * theta : qi;
                // The kernel takes x0_shift off the x it is given: q is the q computed at.
                d.xData[i] = x + d.x0_shift.value;
                if (dq) {
                    double perQ = DEG_PER_RAD / (qOf * std::sqrt(1.0 - sine * sine));
                    double widthX = d.xAxis == 0   ? dq[first + i] * perQ
                                    : d.xAxis == 1 ? 2.0 * dq[first + i] * perQ
                                                   : dq[first + i];
                    work.pointResolution[s].sigmaX[i] = widthX;
                }
            }
            work.resolutionPlans[s].valid = false;
            computeReflectivity(work, s, false);
            std::copy_n(d.calcLin.begin(), n, out + first);
        }
    }

    py::dict fit(const cli::Arguments& args) {
        NamedResults named = computing(lock_, [&] {
            FitOptions options = cli::fitOptionsOf(args, store_->fitSettings);
            options.multi = store_->nfile > 1;
            store_->fitSettings = cli::settingsOf(options);
            FitReport report = runFit(*store_, *state_, *genetic_, options);
            if (!succeeded(report.outcome)) throw Error(statusLine(report.statusText));
            bool genetic = options.method == FitMethod::Genetic;
            return namedFitResults(*store_, *state_, genetic ? "ga" : "lm", report.status,
                                   !genetic);
        });
        return resultsDict(named);
    }

    py::dict sample(const cli::Arguments& args) {
        NamedResults named = computing(lock_, [&] {
            SampleOptions options = cli::sampleOptionsOf(args);
            options.multi = store_->nfile > 1;
            SampleReport report = runSample(*store_, *state_, *chain_, options);
            if (!succeeded(report.outcome)) throw Error(statusLine(report.statusText));
            return report.results;
        });
        return resultsDict(named);
    }

  private:
    std::unique_ptr<ModelStore> store_;
    std::unique_ptr<FitState> state_;
    std::unique_ptr<GeneticState> genetic_;
    std::unique_ptr<EnsembleChain> chain_;
    std::unique_ptr<ModelStore> scratch_;  // the copy reflectivity(q) computes on
    std::mutex lock_;
};

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

py::array_t<double> reflectivity(Model& m, const std::optional<Array>& q,
                                 const std::optional<Array>& dq) {
    if (!q) {
        if (dq) throw Error("reflectivity(): dq is given with q");
        std::vector<double> values = computing(m.lock(), [&] {
            const DataSet& d = m.data();
            return std::vector<double>(d.calcLin.begin(), d.calcLin.begin() + d.npoints);
        });
        return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
    }
    if (q->ndim() != 1) throw Error("reflectivity(): q is a one-dimensional array");
    const long count = static_cast<long>(q->size());
    if (dq && (dq->ndim() != 1 || dq->size() != q->size()))
        throw Error("reflectivity(): dq has one width for each q");
    const double* qs = q->data();
    const double* dqs = dq ? dq->data() : nullptr;
    py::array_t<double> out(count);
    double* values = out.mutable_data();
    computing(m.lock(), [&] {
        const DataSet& d = m.data();
        const DataOptions& options = m.store().dataOptions[m.slot()];
        bool column = readsResolutionColumn(options);
        if (column && !dqs)
            throw Error("reflectivity(): the data set's resolution is a column of its file: "
                        "give dq, the 1-sigma width of each q (1/A)");
        if (!column && dqs)
            throw Error("reflectivity(): dq serves a resolution column only; this data set's "
                        "resolution is not one");
        if (!(d.lamd > 0.0)) throw Error("reflectivity(): no model is loaded");
        const double qMax = FOUR_PI / d.lamd;
        for (long i = 0; i < count; ++i) {
            if (!(qs[i] > 0.0 && qs[i] <= qMax))
                throw Error(formatText("reflectivity(): q[%ld] = %g is outside (0, 4 pi / lambda "
                                       "= %g]",
                                       i, qs[i], qMax));
            if (dqs && !(dqs[i] >= 0.0 && std::isfinite(dqs[i])))
                throw Error(formatText("reflectivity(): dq[%ld] = %g is no width", i, dqs[i]));
        }
        m.reflectivityAt(qs, dqs, count, values);
        return 0;
    });
    return out;
}

// Rows of numbers as a two-dimensional array.
py::array_t<double> table(const std::vector<double>& values, int columns) {
    py::ssize_t rows = static_cast<py::ssize_t>(values.size()) / columns;
    py::array_t<double> a({rows, static_cast<py::ssize_t>(columns)});
    std::copy(values.begin(), values.end(), a.mutable_data());
    return a;
}

}  // namespace

}  // namespace tolvi::python

PYBIND11_MODULE(tolvi, m) {
    using namespace tolvi;
    using namespace tolvi::python;
    m.doc() = "Tolvi: X-ray and neutron reflectivity of thin films and multilayers.";
    static py::exception<Error> error(m, "Error");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Error& e) {
            error(e.what());
        }
    });

    // The tool's options less those a script has no use for: the model options belong to load(),
    // and the files the tool would write are save() and the results returned.
    const auto loadTakes = without(cli::modelOptions(), {"save-project", "ort"});
    const std::initializer_list<const char*> notForRuns = {
        "save",   "results",     "chain",  "ort",   "save-project", "template",
        "ambient", "ambient-sld", "errors", "steps", "resolution",   "footprint",
        "fit-resolution", "fit-beam", "dataset"};
    const auto fitTakes = without(cli::fitOptions(), notForRuns);
    const auto sampleTakes = without(cli::sampleOptions(), notForRuns);

    py::class_<Model>(m, "Model",
                      "A model loaded by tolvi.load(): its data, its curve, fits and samples.")
        .def_property_readonly(
            "x",
            [](py::object self) {
                Model& model = self.cast<Model&>();
                const DataSet& d = model.data();
                return viewOf(d.xData.data(), d.npoints, self);
            },
            "The x values as loaded, in the data file's units (no x0_shift); a read-only view.")
        .def_property_readonly(
            "y",
            [](py::object self) {
                Model& model = self.cast<Model&>();
                const DataSet& d = model.data();
                return viewOf(d.yLin.data(), d.npoints, self);
            },
            "The measured intensities as loaded (linear); a read-only view.")
        .def_property_readonly(
            "dy",
            [](py::object self) -> py::object {
                Model& model = self.cast<Model&>();
                const PointErrors& e = model.store().pointErrors[model.slot()];
                if (!e.loaded) return py::none();
                return viewOf(e.dy.data(), model.data().npoints, self);
            },
            "The 1-sigma errors of the measured intensities when they were read from the data "
            "file (errors='data'), otherwise None; a read-only view.")
        .def("reflectivity", &reflectivity, py::arg("q") = py::none(), py::arg("dq") = py::none(),
             "The calculated intensities: at the loaded points (a new array), or at any q (1/A) "
             "with the model's scale, background, resolution and footprint; dq (1-sigma, 1/A) "
             "when the resolution is a column of the data file.")
        .def(
            "slabs",
            [](Model& model) {
                std::vector<double> rows = computing(model.lock(), [&] {
                    std::vector<double> v;
                    const LayerModel& lm = model.store().layerModel(model.slot());
                    for (int s = 0; s < lm.layall; ++s) {
                        const LayerEntry& e = lm.slabs[s];
                        v.insert(v.end(), {double(s), e.rho.value, e.t.value, e.sig.value,
                                           e.n.re, e.n.im, e.magTerm.re});
                    }
                    return v;
                });
                return table(rows, 7);
            },
            "The slab stack, a row per slab: index, rho, t, sig, n.real, n.imag, magTerm.real "
            "(as tolvi-cli slabs prints it).")
        .def(
            "profile",
            [](Model& model, bool sld) {
                std::vector<double> rows = computing(model.lock(), [&] {
                    ModelStore& st = model.store();
                    std::vector<double> v;
                    if (sld) {
                        int n = computeSldProfile(st, model.slot());
                        for (int j = 0; j < n; ++j)
                            v.insert(v.end(),
                                     {st.profileZ[j], st.profileSldRe[j], st.profileSldIm[j]});
                    } else {
                        int n = computeProfile(st, model.slot());
                        for (int j = 0; j < n; ++j) v.insert(v.end(), {st.profileZ[j], st.profileRho[j]});
                    }
                    return v;
                });
                return table(rows, sld ? 3 : 2);
            },
            py::arg("sld") = false,
            "The density profile, rows of z and rho; with sld=True z, SLD real and imaginary "
            "(1e-6/A^2) (as tolvi-cli profile prints it).")
        .def(
            "fit",
            [fitTakes](Model& model, const std::string& method, py::kwargs kwargs) {
                cli::Arguments args = argumentsOf(kwargs, fitTakes, "fit()");
                args.values["method"] = method;
                return model.fit(args);
            },
            py::arg("method") = "lm",
            "Fits the free parameters (method 'lm' or 'ga'; pop, gens, seed as tolvi-cli's "
            "options) and returns the named results, the keys of tolvi-cli's --results file.")
        .def(
            "sample",
            [sampleTakes](Model& model, py::kwargs kwargs) {
                return model.sample(argumentsOf(kwargs, sampleTakes, "sample()"));
            },
            "Samples the posterior (walkers, length, burn, thin, seed, start as tolvi-cli's "
            "options); the model keeps the most probable sample. Returns the named results.")
        .def(
            "save",
            [](Model& model, const std::string& path) {
                computing(model.lock(), [&] {
                    bool project = path.size() >= 6 && path.compare(path.size() - 6, 6, ".tolvi") == 0;
                    Status s = project ? saveProject(model.store(), path)
                                       : writeParamFile(model.store(), model.slot(), path);
                    if (!s.succeeded()) throw Error(s.message);
                    return 0;
                });
            },
            py::arg("path"),
            "Writes the model: a project file when the name ends in .tolvi, otherwise the "
            "current data set's parameter file.");

    // The C++ path of reflectivity(q) timed without Python, for bench/bench_python.py.
    m.def(
        "_time_reflectivity",
        [](Model& model, const Array& q, int repeats) {
            if (q.ndim() != 1 || repeats < 1) throw Error("_time_reflectivity(): q, repeats >= 1");
            std::vector<double> out(static_cast<size_t>(q.size()));
            return computing(model.lock(), [&] {
                auto start = std::chrono::steady_clock::now();
                for (int r = 0; r < repeats; ++r)
                    model.reflectivityAt(q.data(), nullptr, static_cast<long>(q.size()),
                                         out.data());
                std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
                return spent.count() / repeats;
            });
        },
        py::arg("model"), py::arg("q"), py::arg("repeats"),
        "Seconds per call of the computation behind Model.reflectivity(q), timed in C++.");

    m.def(
        "load",
        [loadTakes](std::optional<std::string> path, py::kwargs kwargs) {
            cli::Arguments args = argumentsOf(kwargs, loadTakes, "load()");
            auto model = std::make_unique<Model>();
            model->load(path, args);
            return model;
        },
        py::arg("path") = py::none(),
        "Loads a parameter file (with its data) or a project file, or the template with "
        "template=True, as tolvi-cli does; the model options of tolvi-cli (errors, steps, "
        "resolution, footprint, ambient, ambient_sld, fit_resolution, fit_beam, dataset) as "
        "keywords. Raises tolvi.Error with the program's message when the load fails.");
}
