#pragma once

#include <array>
#include <string>
#include <vector>

#include "fit/fit_params.h"
#include "model/model_store.h"

// The workspace as it stood at one moment, kept apart from the store so that it can be put back
// later (the window's undo and redo).
namespace tolvi {

// The workspace in the project text (model/project_file.h) and what that text does not hold:
// the calculated curves as they were (a curve computed afresh could differ in its last bits from
// one a fit left), the counts and indices the text normalises (nfile, curfile), the directories
// of the last loads, and what "Recov" would put back.
struct WorkspaceSnapshot {
    std::string project;
    std::string projectSource;
    int nfile = 0;
    int curfile = 0;
    // Per slot: its point count and then, point by point, its data and calculated arrays (xData to
    // sigmaLog).
    std::array<int, MAX_SLOTS> points{};
    std::vector<double> curves;
    std::string lastParamPath;
    std::string paramDir;
    // "Recov": the vector saved by the last fit and where its values go.
    int nfitParam = 0;
    bool multiFit = false;
    std::vector<double> savedX;
    std::vector<int> owner;
    std::vector<int> quantity;

    bool operator==(const WorkspaceSnapshot&) const = default;
};

WorkspaceSnapshot takeSnapshot(const ModelStore& store, const FitState& state);

// Puts a snapshot back: the workspace as it was, every slot's optical constants and slab stack
// computed again and its curves as they were, and "Recov" as it was. A snapshot this program did
// not take may be refused (the status of readProjectText), and a number that no longer computes
// throws NumberError; either way the store and state are unchanged.
Status restoreSnapshot(ModelStore& store, FitState& state, const WorkspaceSnapshot& snapshot);

}  // namespace tolvi
