// The data settings dialog: per-slot settings and "apply to all", a re-read that fails and is
// undone, the summary under the settings table (an ORSO file's header included), the refusals,
// and the real dialog widget with each of its resolution items and the data set.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "base/text_io.h"
#include "ui/data_settings.h"
#include "ui/data_settings_dialog.h"
#include "window_fixture.h"

namespace tolvi::test {
namespace {

const std::string EXAMPLE = std::string(TOLVI_SOURCE_DIR) + "/examples/neutron/";

using Choice = ui::DataSettingsChoice;

class DataSettings : public WindowTest {
  protected:
    QString summary() const { return find<QLabel>("DataSettingsSummary")->text(); }
};

TEST_F(DataSettings, EachDataSetKeepsItsOwnSettingsUnlessAppliedToAll) {
    loadParam(EXAMPLE + "film.par");
    loadParam(EXAMPLE + "film.par");
    ASSERT_EQ(store->curfile, 1);
    editDataSettings([](Choice& c) {
        c.steps = StepRule::Relative;
        c.resolution = ResolutionKind::Relative;
        c.relativeFwhm = "0.05";
    });
    EXPECT_EQ(dataSettings->shown.back().slot, 1) << "the dialog is for the current slot";
    EXPECT_EQ(field(4), "--->OK");
    EXPECT_EQ(store->dataOptions[1].steps, StepRule::Relative);
    EXPECT_EQ(store->dataOptions[1].resolution.relativeFwhm, 0.05);
    EXPECT_TRUE(store->resolutionPlans[1].valid) << "F2's curve averaged anew";
    EXPECT_TRUE(ui::sameDataOptions(store->dataOptions[0], {})) << "F1 keeps the defaults";

    // The next dialog for F1 shows F1's settings, and "apply to all" gives them to every slot.
    chooseItem("RGF", 0);
    editDataSettings([](Choice& c) {
        c.errors = ErrorSource::Data;
        c.allSlots = true;
    });
    EXPECT_EQ(dataSettings->shown.back().steps, StepRule::Fixed);
    for (int slot = 0; slot < MAX_SLOTS; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(store->dataOptions[slot].errors, ErrorSource::Data);
        EXPECT_EQ(store->dataOptions[slot].steps, StepRule::Fixed);
        EXPECT_EQ(store->dataOptions[slot].resolution.kind, ResolutionKind::Divergence);
    }
    EXPECT_TRUE(store->pointErrors[1].loaded) << "F2 read again with its errors";
}

TEST_F(DataSettings, AResolutionColumnTheFileLacksIsUndoneAndReported) {
    writeText(dir.file("d.dat"), "0.5 100 3\n1.0 10 1\n1.5 1 0.3\n");
    loadParam(writeFilm("a.par", 100, 0.1, 4, 1));
    ASSERT_EQ(store->dataSet(0).npoints, 3);
    QString before = summary();
    editDataSettings([](Choice& c) { c.resolution = ResolutionKind::ColumnSigma; });
    EXPECT_TRUE(field(4).startsWith("F1: --->Error, no resolution in column 4 (in "))
        << field(4).toStdString();
    EXPECT_EQ(store->dataOptions[0].resolution.kind, ResolutionKind::Divergence);
    EXPECT_EQ(store->dataSet(0).npoints, 3) << "read again on its previous options";
    EXPECT_EQ(points("Chart1", 0), 3);
    EXPECT_EQ(summary(), before);
    EXPECT_TRUE(errors->messages.isEmpty());
}

TEST_F(DataSettings, TheSummaryFollowsSlotSwitchesAndAllClear) {
    EXPECT_EQ(summary().toStdString(),
              "errors: built-in · steps: fixed · resolution: divergence\n"
              "footprint: none · fronting: δ 0 β 0");
    loadParam(EXAMPLE + "film.par");
    loadParam(EXAMPLE + "film.par");
    editDataSettings([](Choice& c) {
        c.steps = StepRule::Relative;
        c.footprint = FootprintKind::Gaussian;
        c.beam = "0.1";
        c.sample = "20";
        c.fitBeam = true;
        c.beamMin = "0.05";
        c.beamMax = "0.2";
        c.frontingSld = true;
        c.fronting1 = "2.07";
    });
    const std::string second =
        "errors: built-in · steps: relative · resolution: divergence\n"
        "footprint: Gaussian 0.1 mm (fit) / 20 mm · fronting: SLD 2.07";
    EXPECT_EQ(summary().toStdString(), second);
    EXPECT_EQ(summary().toStdString(), ui::dataSettingsSummary(*store, 1));
    chooseItem("RGF", 0);
    EXPECT_TRUE(summary().startsWith("errors: built-in · steps: fixed")) << summary().toStdString();
    EXPECT_TRUE(summary().endsWith("footprint: none · fronting: SLD 2.07"))
        << "the fronting medium is one for all";
    chooseItem("RGF", 1);
    EXPECT_EQ(summary().toStdString(), second);
    click("Button5");
    EXPECT_TRUE(summary().startsWith("errors: built-in · steps: fixed")) << "F1's again";
}

TEST_F(DataSettings, TheSummaryShowsTheFittedResolutionScale) {
    editDataSettings([](Choice& c) {
        c.errors = ErrorSource::Data;
        c.steps = StepRule::Relative;
        c.resolution = ResolutionKind::Relative;
        c.relativeFwhm = "0.05";
        c.fitScale = true;
        c.scaleMin = "0.5";
        c.scaleMax = "2";
        c.frontingSld = true;
        c.fronting1 = "2.07";
    });
    loadParam(EXAMPLE + "film.par");
    ASSERT_EQ(field(4), "--->OK");
    EXPECT_TRUE(summary().contains("resolution: dQ/Q 5 %, scale 1 (fit)"))
        << summary().toStdString();
    chooseItem("RGM", 0);
    click("Button4");
    ASSERT_TRUE(field(4).startsWith("-->OK")) << field(4).toStdString();

    // The instrument quantities come last in the report: its last P line is the scale.
    QString last;
    for (const QString& line : memoLines())
        if (line.startsWith("P[")) last = line;
    ASSERT_FALSE(last.isEmpty());
    double reported = last.section('=', 1).section("+/-", 0, 0).toDouble();
    double scale = store->dataOptions[0].resolution.scale.value;
    EXPECT_NEAR(reported, scale, 1e-6) << last.toStdString();
    EXPECT_GT(std::abs(scale - 1.0), 1e-3) << "the fit moved the scale";
    std::string shown = formatText("scale %.4g (fit)", scale);
    EXPECT_TRUE(summary().toStdString().find(shown) != std::string::npos)
        << summary().toStdString() << " lacks " << shown;
}

// Each refused choice leaves the options, the medium, the Ambient box and the summary as they
// were, and says why in the status line.
TEST_F(DataSettings, ARefusedChoiceChangesNothing) {
    struct Case {
        const char* name;
        ScriptedDataSettings::Answer edit;
        const char* reason;
    };
    auto relative = [](const char* f) {
        return [f](Choice& c) {
            c.resolution = ResolutionKind::Relative;
            c.relativeFwhm = f;
        };
    };
    auto gaussian = [](const char* beam, bool fit) {
        return [beam, fit](Choice& c) {
            c.footprint = FootprintKind::Gaussian;
            c.beam = beam;
            c.sample = "20";
            c.fitBeam = fit;
            c.beamMin = "0";
            c.beamMax = "1";
        };
    };
    const Case cases[] = {
        {"F = 0", relative("0"), "dQ/Q needs 0 < F < 1"},
        {"F = 1", relative("1"), "dQ/Q needs 0 < F < 1"},
        {"F no number", relative("5%"), "\"5%\" is not a number (field dQ/Q)"},
        {"scale min > max",
         [](Choice& c) {
             c.resolution = ResolutionKind::Relative;
             c.relativeFwhm = "0.05";
             c.fitScale = true;
             c.scaleMin = "2";
             c.scaleMax = "0.5";
         },
         "fitting the scale needs min < max"},
        {"scale outside",
         [](Choice& c) {
             c.resolution = ResolutionKind::Relative;
             c.relativeFwhm = "0.05";
             c.fitScale = true;
             c.scaleMin = "1.5";
             c.scaleMax = "2";
         },
         "the scale's start 1 must lie within min and max"},
        {"fit scale on divergence", [](Choice& c) { c.fitScale = true; },
         "needs a resolution other than the divergence"},
        {"beam 0", gaussian("0", false), "the beam width and the sample length must be above 0"},
        {"beam -1", gaussian("-1", false), "must be above 0"},
        {"beam min 0", gaussian("0.1", true), "the beam width must stay above 0"},
        {"SLD with gain",
         [](Choice& c) {
             c.frontingSld = true;
             c.fronting1 = "1";
             c.fronting2 = "-0.1";
         },
         "ambient SLD Im must not be negative"},
        {"δ of 1", [](Choice& c) { c.fronting1 = "1.0"; }, "ambient delta must be below 1"},
        {"data set -1", [](Choice& c) { c.dataSet = "-1"; }, "the data set is counted from 0"},
        {"data set 1.5", [](Choice& c) { c.dataSet = "1.5"; },
         "\"1.5\" is not an integer (field data set)"},
    };
    loadParam(EXAMPLE + "film.par");
    const DataOptions options = store->dataOptions[0];
    const QString ambient1 = field(21), ambient2 = field(22), shown = summary();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editDataSettings([&c](Choice& choice) {
            c.edit(choice);
            choice.errors = ErrorSource::Data;  // accepted alone, but not with the rest
            choice.allSlots = true;
        });
        EXPECT_TRUE(field(4).startsWith("--->Error, ")) << field(4).toStdString();
        EXPECT_TRUE(field(4).contains(c.reason)) << field(4).toStdString();
        for (int slot = 0; slot < MAX_SLOTS; ++slot)
            EXPECT_TRUE(ui::sameDataOptions(store->dataOptions[slot], options)) << slot;
        EXPECT_FALSE(store->ambientSld.given);
        EXPECT_EQ(store->ambient.delta, 0.0);
        EXPECT_EQ(field(21), ambient1);
        EXPECT_EQ(field(22), ambient2);
        EXPECT_EQ(summary(), shown);
    }
    EXPECT_TRUE(errors->messages.isEmpty());

    // Cancel changes nothing either.
    setField(4, "before");
    editDataSettings({});
    EXPECT_EQ(field(4), "before");
    EXPECT_TRUE(ui::sameDataOptions(store->dataOptions[0], options));
}

// The real dialog, offscreen: filled through its controls, it returns what they show; a refused
// value keeps it open with the reason.
TEST(DataSettingsForm, ReturnsWhatItsControlsShowAndStaysOpenOnARefusal) {
    ui::DataSettingsForm form;
    Choice start;
    start.slot = 2;
    form.setChoice(start);
    form.show();
    EXPECT_TRUE(form.windowTitle().endsWith("F3")) << form.windowTitle().toStdString();
    auto edit = [&form](const char* name) { return form.findChild<QLineEdit*>(name); };
    auto group = [&form](const char* name) { return form.findChild<ui::RadioGroup*>(name); };
    auto box = [&form](const char* name) { return form.findChild<QCheckBox*>(name); };
    EXPECT_FALSE(edit("RelativeFwhm")->isEnabled()) << "greyed out with the divergence";
    EXPECT_FALSE(box("FitScale")->isEnabled());
    EXPECT_FALSE(edit("BeamWidth")->isEnabled());

    clickRadio(group("Errors")->item(1));
    clickRadio(group("Steps")->item(1));
    clickRadio(group("Resolution")->item(3));
    ASSERT_TRUE(edit("RelativeFwhm")->isEnabled());
    edit("RelativeFwhm")->setText("1");
    clickCheckBox(box("FitScale"));
    ASSERT_TRUE(edit("ScaleMin")->isEnabled());
    edit("ScaleMin")->setText("0.5");
    edit("ScaleMax")->setText("2");
    clickRadio(group("Footprint")->item(2));
    edit("BeamWidth")->setText("0.2");
    edit("SampleLength")->setText("10");
    form.findChild<QComboBox*>("FrontingKind")->setCurrentIndex(1);
    edit("Fronting1")->setText("6.36");
    edit("Fronting2")->setText("0.01");
    edit("DataSet")->setText("1");
    clickCheckBox(box("ApplyToAll"));

    QPushButton* ok = form.findChild<QPushButton*>("DataSettingsOk");
    ok->click();
    EXPECT_TRUE(form.isVisible()) << "F = 1 is refused";
    EXPECT_TRUE(form.findChild<QLabel*>("DataSettingsMessage")->text().contains("0 < F < 1"));

    edit("RelativeFwhm")->setText("0.05");
    ok->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    Choice c = form.choice();
    EXPECT_EQ(c.slot, 2);
    EXPECT_EQ(c.errors, ErrorSource::Data);
    EXPECT_EQ(c.steps, StepRule::Relative);
    EXPECT_EQ(c.resolution, ResolutionKind::Relative);
    EXPECT_EQ(c.relativeFwhm, "0.05");
    EXPECT_TRUE(c.fitScale);
    EXPECT_EQ(c.footprint, FootprintKind::Uniform);
    EXPECT_FALSE(c.fitBeam);
    EXPECT_TRUE(c.frontingSld);
    EXPECT_TRUE(c.allSlots);
    EXPECT_EQ(c.dataSet, "1");
    ui::DataSettingsValues v;
    ASSERT_TRUE(ui::readDataSettings(c, v).ok());
    EXPECT_EQ(v.options.resolution.relativeFwhm, 0.05);
    EXPECT_EQ(v.options.resolution.scale.min, 0.5);
    EXPECT_EQ(v.options.resolution.scale.max, 2.0);
    EXPECT_EQ(v.options.resolution.scale.fit, 1);
    EXPECT_EQ(v.options.footprint.beam.value, 0.2);
    EXPECT_EQ(v.options.footprint.sample, 10.0);
    EXPECT_EQ(v.fronting1, 6.36);
    EXPECT_EQ(v.fronting2, 0.01);
    EXPECT_EQ(v.options.dataSet, 1);
}

// Every resolution item of the dialog shows and returns its own kind, the one read from the
// file's header included; a data set below 0 keeps the dialog open.
TEST(DataSettingsForm, EachResolutionItemIsItsKindAndTheDataSetIsCountedFromZero) {
    ui::DataSettingsForm form;
    form.show();
    auto* group = form.findChild<ui::RadioGroup*>("Resolution");
    ASSERT_EQ(group->count(), static_cast<int>(ui::RESOLUTION_ITEMS.size()));
    EXPECT_EQ(group->item(4)->text(), "column 4 as the file's header says");
    for (size_t i = 0; i < ui::RESOLUTION_ITEMS.size(); ++i) {
        SCOPED_TRACE(i);
        Choice shown;
        shown.resolution = ui::RESOLUTION_ITEMS[i];
        shown.relativeFwhm = "0.05";
        form.setChoice(shown);
        EXPECT_TRUE(group->item(static_cast<int>(i))->isChecked());
        EXPECT_EQ(form.choice().resolution, ui::RESOLUTION_ITEMS[i]);
    }
    clickRadio(group->item(0));
    clickRadio(group->item(4));
    EXPECT_EQ(form.choice().resolution, ResolutionKind::Column);
    EXPECT_TRUE(form.findChild<QLineEdit*>("ResolutionScale")->isEnabled()) << "a pointwise one";
    EXPECT_FALSE(form.findChild<QLineEdit*>("RelativeFwhm")->isEnabled());

    QLineEdit* dataSet = form.findChild<QLineEdit*>("DataSet");
    EXPECT_EQ(dataSet->text(), "0");
    dataSet->setText("-1");
    form.findChild<QPushButton*>("DataSettingsOk")->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.findChild<QLabel*>("DataSettingsMessage")->text().contains("from 0"));
}

// The summary's lines for a slot that read an ORSO file, as its header says, and for the header
// column.
TEST(DataSettingsSummary, SaysWhatAnOrsoHeaderSaid) {
    auto store = makeStore();
    store->nfile = 1;
    store->layerModel(0).simFit = 1;
    store->dataOptions[0].resolution.kind = ResolutionKind::Column;
    DataFileHeader& h = store->dataHeaders[0];
    h.orso = true;
    h.dataSets = 1;
    EXPECT_EQ(ui::dataSettingsSummary(*store, 0),
              "errors: built-in · steps: fixed · resolution: column 4 as the file's header "
              "says, scale 1\nfootprint: none · fronting: δ 0 β 0\nORSO: 1 data set · Qz in "
              "1/Å · sQz σ");
    h.dataSets = 3;
    h.dataSet = 2;
    store->dataOptions[0].dataSet = 2;
    h.qUnit = 0.1;
    h.resolutionWidth = DataFileHeader::Width::Rectangular;
    h.probe = 0;
    h.wavelength = 1.54;
    EXPECT_EQ(ui::dataSettingsSummary(*store, 0),
              "errors: built-in · steps: fixed · resolution: column 4 as the file's header "
              "says, scale 1\nfootprint: none · fronting: δ 0 β 0\nORSO: data set 2 of 3 · Qz "
              "in 1/nm · sQz rectangular (full width) · X-ray, 1.54 Å");
    h.probe = -1;
    EXPECT_TRUE(ui::dataSettingsSummary(*store, 0).ends_with("(full width) · 1.54 Å"));
    h.wavelength = 0.0;
    EXPECT_TRUE(ui::dataSettingsSummary(*store, 0).ends_with("(full width)"));
    store->nfile = 0;
    EXPECT_EQ(ui::dataSettingsSummary(*store, 0),
              "errors: built-in · steps: fixed · resolution: column 4 as the file's header "
              "says, scale 1 · data set 2\nfootprint: none · fronting: δ 0 β 0")
        << "a slot not loaded says nothing of a header, and the data set chosen for it";
}

}  // namespace
}  // namespace tolvi::test
