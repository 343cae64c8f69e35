// tolvi-cli: the core of Tolvi from the command line, for scripts and batch work.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "base/status.h"
#include "cli/batch_command.h"
#include "cli/commands.h"
#include "cli/fit_command.h"
#include "cli/fourier_command.h"
#include "cli/material_command.h"

namespace {

using tolvi::cli::Arguments;
using tolvi::cli::CommandResult;
using tolvi::cli::CommandOption;

const char* HELP =
    "Usage: tolvi-cli COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Commands (PAR is a parameter file, or a project file (.tolvi) whose slots act as that\n"
    "many parameter files; --template reads template/template.par beside the program\n"
    "instead; MODEL-OPTIONS below):\n"
    "  simulate PAR [--fresnel] [--ort FILE.ort] [MODEL-OPTIONS]\n"
    "      loads PAR as \"Load Param\" does and prints one line per point:\n"
    "      x yLin calcLin (with --fresnel also rfLin)\n"
    "  profile PAR [--sld] [MODEL-OPTIONS]\n"
    "      prints the density profile: z rho (with --sld: z SLD.real SLD.imag, 1e-6/A^2)\n"
    "  slabs PAR [MODEL-OPTIONS]\n"
    "      prints the slab stack: index rho t sig n.real n.imag magTerm.real\n"
    "  fit PAR [PAR2 ...] [--method lm|ga] [--pop N] [--gens N] [--seed S] [--save OUT.par]\n"
    "      [--ort FILE.ort] [MODEL-OPTIONS]\n"
    "      loads the files into slots F1, F2, ... and fits them (\"Fit\" for one file,\n"
    "      \"Multi Fit\" for several, layers shared); prints the report of the message log.\n"
    "      Default method lm; ga with population N (15), at most N generations (200) and\n"
    "      seed S (0 <= S < 2^32; by default the clock; a project's own when it has them).\n"
    "      --save writes the fitted slot F1. A project file comes alone. --results FILE\n"
    "      writes the named results (.json or .csv: name, value, error, at bound; in JSON\n"
    "      also bounds, correlation, chi2, DOF, points, method and status).\n"
    "      --ort (simulate and fit) writes every slot as a data set of an ORSO file: Qz\n"
    "      (1/A), R, sR and sQz as loaded (nan where not read), the curve as a fifth column,\n"
    "      the probe, wavelength, scale, background and slab stack in the header; after a\n"
    "      fit, the fitted curve and values.\n"
    "  sample PAR [PAR2 ...] [--walkers N] [--length N] [--burn N] [--thin N] [--seed S]\n"
    "      [--start current|fit] [--chain FILE.csv] [--results FILE] [--save OUT.par]\n"
    "      [MODEL-OPTIONS]\n"
    "      samples the posterior of the free parameters (uniform within their bounds,\n"
    "      likelihood exp(-chi2/2)) with an ensemble of N walkers (even, at least twice the\n"
    "      parameters; default max(32, 4 x parameters)), N steps (2000) of which the first N\n"
    "      (a quarter) are dropped, keeping every N-th (1); from a ball around the current\n"
    "      values or a least-squares fit's result. Prints the median, the 68 % and 95 %\n"
    "      intervals, the most probable sample and the autocorrelation time of each\n"
    "      parameter; the model keeps the most probable sample. --chain writes every kept\n"
    "      sample. Meaningful with --errors data (measurement errors).\n"
    "  ft DATA [--x-axis theta|2theta|q] [--y-scale lin|log] [--lambda L]\n"
    "      [--q-range QMIN:QMAX] [--qc QC] [--qc-mode fit|manual] [--fringe rq4|r-rf]\n"
    "      [--transform dft|wavelet] [--dmax D] [--bins N] [--ambient DELTA:BETA] [--save]\n"
    "      the Fourier page: loads the curve DATA (--template: template/template.dat, theta,\n"
    "      linear, 1.54 A) and prints the thickness spectrum as \"Save FT\" writes it;\n"
    "      --save also writes DATA's name with .FT beside it. Defaults as the page starts:\n"
    "      2theta, lin, 1.54 A, automatic q range, q_critical manual at the estimate,\n"
    "      r-rf, dft, D 1000 A, 200 bins.\n"
    "  material FORMULA [--wavelength L] [--mag M] [-o FILE]\n"
    "  material --sld RE[:IM] | --delta-beta D:B [--wavelength L] [-o FILE]\n"
    "      prints the material file of a chemical formula (\"SiO2\", \"Fe0.8Ni0.2\",\n"
    "      \"Ca(OH)2\", D for deuterium) at wavelength L A (1.54) with moment M Bohr\n"
    "      magnetons per formula unit (0), or of a medium given by its SLD (1e-6/A^2) or its\n"
    "      delta and beta, which it gives at density 1 g/cm3; -o (or --output) writes it to\n"
    "      FILE instead.\n"
    "  batch PAR DATA... [--chain] [--results TABLE.csv] [--jobs N] [--shard K/N]\n"
    "      [--method lm|ga] [--pop N] [--gens N] [--seed S] [MODEL-OPTIONS]\n"
    "      fits each data file DATA with the model PAR (a parameter file, a project of one\n"
    "      slot, or --template) as \"Fit\" does after DATA is dropped on the slot: from the\n"
    "      model's values, or with --chain from those of the last file before it that\n"
    "      succeeded. N files at a time (default: the cores; 1 with --chain), each fit on one\n"
    "      thread when N > 1. A table, one row per file: index, file, status (ok, warning,\n"
    "      failed), message, chi2, chi2/DOF, then each parameter and its error (%.17g), to\n"
    "      TABLE.csv (rows appended as files end, the whole table rewritten in index order at\n"
    "      the end) or printed at the end. Again with the same TABLE.csv, the files whose rows\n"
    "      are ok or warning are skipped (a chain goes on from the last such row). --shard K/N\n"
    "      fits the files of index K, K+N, K+2N, ... only (not with --chain). --dataset N\n"
    "      takes data set N of every file (else the first). Not --save-project. Progress on\n"
    "      standard error; exit status 1 when a file failed (its row says why).\n"
    "  batch-merge TABLE... [-o ALL.csv]\n"
    "      joins the tables of a batch's shards in index order, printed or written to\n"
    "      ALL.csv; tables of other columns, an index found twice and a table cut short by a\n"
    "      stopped run are refused (exit status 1).\n"
    "\n"
    "MODEL-OPTIONS:\n"
    "  --ambient DELTA:BETA   the medium above the sample, (1 - DELTA) + i BETA (default 1 + 0i)\n"
    "  --ambient-sld RE[:IM]  the same medium as an SLD in 1e-6/A^2, converted with each file's\n"
    "                         wavelength (not together with --ambient)\n"
    "  --errors builtin|data  weights: the built-in error model (default), or the 1-sigma\n"
    "                         errors of y in the data file's third column\n"
    "  --steps fixed|relative the fit's finite-difference steps: fixed per quantity (default),\n"
    "                         or relative to each value and its bounds\n"
    "  --resolution divergence|column|column:fwhm|column:sigma|relative:F\n"
    "                         the resolution: the parameter file's divergence (default); or a\n"
    "                         Gaussian in q per point, its FWHM or sigma the fourth number of each\n"
    "                         data line (x units; plain \"column\": as an ORSO file's header says),\n"
    "                         or a constant FWHM dQ/Q = F (0.05 for 5 %), in place of the\n"
    "                         divergence\n"
    "  --footprint gauss:BEAM:SAMPLE|uniform:BEAM:SAMPLE\n"
    "                         the share of the beam (FWHM or width BEAM mm) that the sample\n"
    "                         (SAMPLE mm long) intercepts multiplies R\n"
    "  --fit-resolution MIN:MAX  frees the resolution's scale (start 1, multiplies each sigma)\n"
    "  --fit-beam MIN:MAX     frees the beam width (mm) of the footprint\n"
    "  --dataset N            the data set N (0-based) of an ORSO file that holds several\n"
    "  --save-project FILE    writes the workspace after the command (after a fit, the\n"
    "                         fitted values) as a project file\n"
    "A project's settings stand where no option is given; an option given replaces them.\n"
    "\n"
    "Options are \"--name value\" as two words, before or after the arguments (-o FILE\n"
    "of material too).\n"
    "Warnings are lines on standard error that begin with \"--->Warning\"; standard error ends\n"
    "with the status-line message. Exit status: 0 success (also a warning), 1 a failed load or\n"
    "computation, 2 wrong usage.\n";

struct Command {
    const char* name;
    std::vector<CommandOption> options;
    CommandResult (*run)(const Arguments&);
};

// The model options and a command's own.
std::vector<CommandOption> withModelOptions(std::initializer_list<CommandOption> own) {
    std::vector<CommandOption> options = tolvi::cli::modelOptions();
    options.insert(options.end(), own.begin(), own.end());
    return options;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"simulate", withModelOptions({{"fresnel", false}, {"ort", true}}),
         tolvi::cli::runSimulate},
        {"profile", withModelOptions({{"sld", false}}), tolvi::cli::runProfile},
        {"slabs", withModelOptions({}), tolvi::cli::runSlabs},
        {"fit", tolvi::cli::fitOptions(), tolvi::cli::runFitCommand},
        {"sample", tolvi::cli::sampleOptions(), tolvi::cli::runSampleCommand},
        {"ft", tolvi::cli::fourierOptions(), tolvi::cli::runFourier},
        {"material", tolvi::cli::materialOptions(), tolvi::cli::runMaterial},
        {"batch", tolvi::cli::batchOptions(), tolvi::cli::runBatch},
        {"batch-merge", tolvi::cli::batchMergeOptions(), tolvi::cli::runBatchMerge},
    };
    return table;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tolvi-cli: %s (see tolvi-cli --help)\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HELP, stdout);
            return 0;
        }
    if (argc < 2) return usageError("a command is needed");

    const Command* command = nullptr;
    for (const Command& c : commands())
        if (c.name == std::string(argv[1])) command = &c;
    if (!command) return usageError(std::string("unknown command ") + argv[1]);

    // The one place where the errors of a command end it: wrong usage, a number that cannot be
    // read (or a result that would not be finite), and whatever else escapes the core (memory
    // exhausted, threads that cannot be started, ...).
    CommandResult result;
    try {
        Arguments args = tolvi::cli::parseArguments(argc, argv, 2, command->options);
        result = command->run(args);
    } catch (const tolvi::cli::UsageError& e) {
        return usageError(e.message);
    } catch (const tolvi::NumberError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tolvi-cli: out of memory\n");
        return 1;
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "tolvi-cli: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvi-cli: %s\n", e.what());
        return 1;
    } catch (...) {
        std::fprintf(stderr, "tolvi-cli: an unknown error ended the command\n");
        return 1;
    }
    int status = tolvi::cli::exitStatusOf(result.outcome);
    if (status == 0 || result.outputAlways)
        std::fwrite(result.out.data(), 1, result.out.size(), stdout);
    std::fwrite(result.err.data(), 1, result.err.size(), stderr);
    return status;
}
