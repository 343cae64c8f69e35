#pragma once

#include "base/status.h"
#include "model/model_store.h"

namespace tolvi {

// Reads the measured curve of a slot (the load then computes the calculated one). Simulation
// mode (simFit = 0): the 201-point grid over [xmin, xmax]. Fit mode: the measured data file
// `dataPath`, one point per line (x, y and optional further fields; blank and "#" lines
// skipped), at most MAX_DATA points, linear intensities (zeros and negatives floored 20 decades
// below the largest) or log10 values. Every point gets its error (pointSigma).
// Status -1 "--->Error, cant find data" (FileNotFound, the curve unchanged); 0 with "--->OK",
// or (Warning) "--->Warning, MAX_DATA reached" or "--->Warning, no data point" (a file without
// points). With errors from the data (DataOptions::errors) the third number of each line is its
// error, with a resolution column (readsResolutionColumn) the fourth its FWHM or σ in x units; a
// line without a usable one ends the read with status 1 (FileRefused) naming the file and line,
// and a simulated curve with a resolution column is refused (status 1, Refused). Throws
// NumberError for a line that is not two numbers, naming the file and line, or for a log10
// intensity beyond the range of a double.
Status readData(ModelStore& store, int slot);

// Error of a point in log10 units, 5 (0.002 theta^2 + 0.02) with theta the glancing angle in
// degrees belonging to x on the slot's axis; 0 for an unknown axis. A q beyond the largest
// reachable (lamd q / 4 pi > 1), and any angle beyond 90 degrees, count as 90 degrees.
double pointSigma(const ModelStore& store, int slot, double x);

}  // namespace tolvi
