#include <gtest/gtest.h>

#include "actions/load.h"
#include "base/status.h"
#include "model/param_file.h"
#include "test_support.h"

namespace tolvi {
namespace {

class LayerSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeMaterial(dir.file("Si.mf"), 28.0855, 14.28, 0.33, 4.1491, 0.171, 0.0);
        test::writeMaterial(dir.file("Fe.MF"), 55.845, 26.0, 3.2, 9.45, 2.56, 2.2);
    }
    // Loads a file of the given block header lines (all on Si.mf unless the line names another).
    Status loadBlocks(const std::vector<std::string>& headers) {
        std::string text = test::headerText(0, 0, 0, 0, 1.54);
        for (const std::string& h : headers) text += test::blockText(h, {2.0, 10.0, 3.0});
        test::writeText(dir.file("a.par"), text);
        store->layerModel(0).paramPath = dir.file("a.par");
        return readParamFile(*store, 0);
    }
    const LayerModel& model() { return store->layerModel(0); }

    test::TempDir dir;
    std::unique_ptr<ModelStore> store = test::makeStore();
};

TEST_F(LayerSetup, IdentifiersMakeSinglesAndGroups) {
    Status s = loadBlocks({"S Si.mf", "G1 Si.mf 2 0", "G1 Si.mf", "G1 Si.mf", "S Si.mf",
                           "G2 Si.mf 3 1", "G2 Si.mf 9 9"});
    ASSERT_EQ(s.code, 0) << s.message;
    int kinds[] = {0, 1, 2, 2, 0, 1, 2};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(model().entries[k].kind, kinds[k]) << k;
    EXPECT_EQ(model().nglay, 2);
    EXPECT_EQ(model().entries[1].groupSize, 3);
    EXPECT_EQ(model().entries[2].groupSize, 2);
    EXPECT_EQ(model().entries[3].groupSize, 3);
    EXPECT_EQ(model().entries[5].groupSize, 2);
    EXPECT_EQ(model().entries[6].groupSize, 2);
    EXPECT_EQ(model().entries[6].rept, 0) << "rept of a further group line is ignored";
    EXPECT_EQ(model().entries[6].sigjoin, 0);
    EXPECT_EQ(model().layall, 1 + 2 * 3 + 1 + 3 * 2);
}

TEST_F(LayerSetup, SameIdentifierAfterASingleOpensANewGroup) {
    ASSERT_EQ(loadBlocks({"G1 Si.mf 1 0", "S Si.mf", "g1 Si.mf 1 0"}).code, 0);
    EXPECT_EQ(model().nglay, 2);
    EXPECT_EQ(model().entries[2].kind, 1);
    EXPECT_EQ(model().entries[2].id.view(), "G1");
}

TEST_F(LayerSetup, LowerCaseIdAndMaterialCase) {
    Status s = loadBlocks({"s2 Fe.MF"});
    ASSERT_EQ(s.code, 0) << s.message;
    EXPECT_EQ(model().entries[0].id.view(), "S2");
    EXPECT_EQ(model().entries[0].material.view(), "Fe.MF");
    EXPECT_EQ(model().entries[0].mag.value, 2.2) << "the material file's moment";
    EXPECT_EQ(s.message, "--->OK") << "the data reader has the last word";
}

TEST_F(LayerSetup, FailuresStopTheSetUpWithTheirMessage) {
    struct Case {
        std::vector<std::string> headers;
        const char* message;
    };
    for (const Case& c : {Case{{"S Si.mf", "X Si.mf"}, "--->Error layer type S or G"},
                          Case{{"S Si.mf", ",,,"}, "--->Error layer type S or G"},
                          Case{{"S Si.mf", "S missing.mf"}, "--->Error can not find materi"},
                          Case{{"S Si.mf", "S si.mf"}, "--->Error can not find materi"}}) {
        Status s = loadBlocks(c.headers);
        EXPECT_EQ(s.code, 0) << "the parameter file itself was read";
        EXPECT_EQ(s.message, c.message);
        EXPECT_EQ(model().nlay, 2);
        EXPECT_EQ(model().layall, 0) << "no slab stack after a failed set-up";
    }
    Status s = loadBlocks({"S"});
    EXPECT_EQ(s.message.rfind("--->Error", 0), 0u) << s.message;
}

TEST_F(LayerSetup, GroupLineNeedsItsRepetitionAndJoinFlag) {
    EXPECT_THROW((void)loadBlocks({"S Si.mf", "G1 Si.mf 3"}), NumberError);
}

TEST_F(LayerSetup, TablesBeyondFourHundredSlabsAreRefused) {
    Status s = loadBlocks({"S Si.mf", "G1 Si.mf 199 0", "G1 Si.mf", "S Si.mf"});
    ASSERT_EQ(s.code, 0) << s.message;
    EXPECT_EQ(model().layall, MAX_SLABS);
    s = loadBlocks({"S Si.mf", "G1 Si.mf 199 0", "G1 Si.mf", "S Si.mf", "S Si.mf"});
    EXPECT_EQ(s.message.rfind("--->Error more than 400 slabs", 0), 0u) << s.message;
    EXPECT_EQ(model().layall, 0);
}

}  // namespace
}  // namespace tolvi
