#include <gtest/gtest.h>

#include "model/model_store.h"
#include "test_support.h"

namespace tolvi {
namespace {

TEST(ModelStore, StartsEmptyWithVacuumAbove) {
    auto store = test::makeStore();
    EXPECT_EQ(store->nfile, 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(store->ambientN(), (Complex{1.0, 0.0}));
    EXPECT_EQ(store->layerModel(5).nlay, 0);
    EXPECT_EQ(store->dataSet(5).npoints, 0);
}

TEST(VisibleRange, FirstLastAndCountInsideTheRange) {
    auto store = test::makeStore();
    DataSet& d = store->dataSet(2);
    d.npoints = 6;
    double xs[] = {0.5, 1.0, 2.0, 3.0, 0.8, 5.0};
    for (int i = 0; i < 6; ++i) d.xData[i] = xs[i];
    d.xmin = 0.8;
    d.xmax = 3.0;
    VisibleRange r = visibleRange(*store, 2);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(r.last, 4);
    EXPECT_EQ(r.count, 4);

    d.xmin = d.xmax = 2.0;  // both ends belong to the range
    r = visibleRange(*store, 2);
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.count, 1);

    d.xmin = 10;
    d.xmax = 20;
    r = visibleRange(*store, 2);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.first, 1000000);
    EXPECT_EQ(r.last, -1000000);
}

TEST(ClearAll, ForgetsEveryLoadedSlot) {
    auto store = test::makeStore();
    store->nfile = 2;
    store->curfile = 1;
    store->nfitParam = 3;
    for (int s = 0; s < 2; ++s) {
        store->layerModel(s).nlay = 4;
        store->layerModel(s).nglay = 1;
        store->layerModel(s).layall = 9;
    }
    clearAll(*store);
    EXPECT_EQ(store->nfile, 0);
    EXPECT_EQ(store->curfile, 0);
    EXPECT_EQ(store->nfitParam, 0);
    EXPECT_EQ(store->layerModel(1).nlay, 0);
    EXPECT_EQ(store->layerModel(1).layall, 0);
}

}  // namespace
}  // namespace tolvi
