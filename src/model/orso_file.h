#pragma once

#include <string>

#include "base/status.h"
#include "model/model_store.h"

// The header of an ORSO reflectivity file (".ort"): a first line "# # ORSO reflectivity data
// file ...", then YAML behind "# " on every header line; the columns Qz (1/angstrom or 1/nm), R,
// sR (the error of R) and sQz (the resolution of Qz); one or more data sets, each after the
// first starting with a "# data_set: ..." line whose header block overrides the keys of data
// set 0's.
namespace tolvi {

// A Qz (or sQz) of an ORSO file in 1/Å. (A value in 1/nm comes out within an ulp of its tenth:
// 2.2 1/nm is 0.22000000000000003 1/Å.)
inline double inAngstrom(const DataFileHeader& header, double q) {
    return header.qUnit * q;
}

// Whether a file is an ORSO reflectivity file: its first line starts with "# # ORSO".
bool isOrsoFile(const std::string& path);

// Where a data set's points lie in the file: its lines first to end - 1 (numbered from 1 as an
// editor numbers them); "#" lines among them are comments.
struct OrsoRows {
    int first = 0;
    int end = 0;
};

// Reads the header of data set `dataSet` (0-based) of an ORSO file: data set 0's header with
// the data set's own block over it. Fills `header` (the Qz unit, the resolution column's width,
// the probe and wavelength where they are said, the number of data sets) and the data set's
// rows. Status 0 (`warning` then holds what the reader should say: a rectangular resolution read
// as a Gaussian, or empty); 1 with Outcome::FileRefused for a header that is not YAML (naming the
// file and line), one without a column list, a Qz unit other than 1/angstrom and 1/nm, or a data
// set that the file does not hold; -1 (FileNotFound) for a file that cannot be opened.
Status readOrsoHeader(const std::string& path, int dataSet, DataFileHeader& header, OrsoRows& rows,
                      std::string& warning);

}  // namespace tolvi
