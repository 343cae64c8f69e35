#include "model/model_store.h"

namespace tolvi {

VisibleRange visibleRange(const ModelStore& store, int slot) {
    const DataSet& d = store.dataSet(slot);
    VisibleRange r;
    for (int i = 0; i < d.npoints; ++i) {
        if (inXRange(d, i)) {
            if (i < r.first) r.first = i;
            if (i > r.last) r.last = i;
            ++r.count;
        }
    }
    return r;
}

void clearAll(ModelStore& store) {
    for (int s = 0; s < store.nfile; ++s) {
        LayerModel& m = store.layerModel(s);
        m.nlay = 0;
        m.nglay = 0;
        m.layall = 0;
    }
    store.nfile = 0;
    store.curfile = 0;
    store.nfitParam = 0;
    // What a project opened earlier held beyond this program's keys goes with its slots.
    store.projectSource.clear();
}

Medium mediumOfSld(double re, double im, double lamd) {
    double scale = lamd * lamd * 1e-6 / TWO_PI;
    return {scale * re, scale * im};
}

Medium ambientOf(const ModelStore& store, int slot) {
    const AmbientSld& sld = store.ambientSld;
    return sld.given ? mediumOfSld(sld.re, sld.im, store.dataSet(slot).lamd) : store.ambient;
}

Status setAmbient(ModelStore& store, double delta, double beta) {
    if (!(delta < 1.0)) return {1, "--->Error ambient delta must be below 1", Outcome::Refused};
    if (!(beta >= 0.0)) return {1, "--->Error ambient beta must not be negative", Outcome::Refused};
    store.ambient = {delta, beta};
    store.ambientSld = {};
    return Status::success("--->OK");
}

}  // namespace tolvi
