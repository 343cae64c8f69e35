#include "model/layer_setup.h"

#include <cctype>

namespace tolvi {

namespace {

constexpr double STEP_RHO = 0.01;
constexpr double STEP_T = 0.02;
constexpr double STEP_SIG = 0.1;
constexpr double STEP_MAG = 0.01;

// A parameter line: value, fit flag, min, max.
void readParamLine(ModelStore& store, const CountedLine& line, const std::string& path,
                   BoundedParam& p, double step) {
    int count = splitLine(line.text, 200, store.tokens);
    LineFields f(store.tokens, count, placeOf(path, line.lineNo));
    p.value = f.real(0);
    p.fit = f.integer(1);
    p.min = f.real(2);
    p.max = f.real(3);
    p.step = step;
}

std::string upperCased(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

Status EntryReader::read(int k) {
    LayerModel& model = store_.layerModel(slot_);
    const CountedLine& header = lines_[first_ + 5 * k];
    LayerEntry& e = model.entries[k];
    int ntok = splitLine(header.text, 200, store_.tokens);
    if (ntok == 0) return {1, "--->Error layer type S or G", Outcome::FileRefused};
    LineFields f(store_.tokens, ntok, placeOf(path_, header.lineNo));
    std::string id = upperCased(f.text(0));
    if (id[0] != 'S' && id[0] != 'G')
        return {1, "--->Error layer type S or G", Outcome::FileRefused};
    if (ntok < 2)
        return {1,
                "--->Error no material name for layer " + std::to_string(k + 1) + " (" + f.where() +
                    ")",
                Outcome::FileRefused};
    e.id.assign(id);
    e.material.assign(f.text(1));
    e.rept = 0;
    e.sigjoin = 0;
    if (id[0] == 'S') {
        e.kind = 0;
    } else if (id != previousId_) {
        e.kind = 1;
        e.rept = f.integer(2);
        e.sigjoin = f.integer(3);
        ++model.nglay;
        groupFirst_ = k;
        groupSize_ = 1;
        e.groupSize = 1;
    } else {
        e.kind = 2;
        ++groupSize_;
        e.groupSize = groupSize_;
        model.entries[groupFirst_].groupSize = groupSize_;
    }
    previousId_ = id;

    readParamLine(store_, lines_[first_ + 5 * k + 1], path_, e.rho, STEP_RHO);
    readParamLine(store_, lines_[first_ + 5 * k + 2], path_, e.t, STEP_T);
    readParamLine(store_, lines_[first_ + 5 * k + 3], path_, e.sig, STEP_SIG);
    readParamLine(store_, lines_[first_ + 5 * k + 4], path_, e.mag, STEP_MAG);
    return Status::success("--->OK");
}

}  // namespace tolvi
