// The actions of the Fourier page: loading its curve, the option groups, the transform and its
// result file. The workspace holds the page's settings; each option group writes its item into
// it when clicked, and "FT" reads the number fields.
#include <QLineEdit>

#include "base/text_io.h"
#include "fourier/fourier_workspace.h"
#include "fourier/thickness_transform.h"
#include "ui/chart_view.h"
#include "ui/main_window.h"

namespace tolvi::ui {

namespace {

// The number fields of "FT", converted before anything changes: a field that is no number ends
// the action with the workspace as it was.
struct FtFields {
    double q_min = 0.0;
    double q_max = 0.0;
    double q_critical = 0.0;
    double d_max = 0.0;
    int bin_no = 0;
};

}  // namespace

void MainWindow::clearFourierCharts() {
    Chart3->clearAll();
    Chart4->clearAll();
    Chart5->clearAll();
}

// After the reader: its message, and on success the q fields and the curve.
void MainWindow::showFourierCurve(const Status& read, bool mainStatusToo) {
    if (mainStatusToo) setStatus(read.message);
    Edit14->setText(qText(read.message));
    if (read.code != 0) return;
    const FourierWorkspace& ws = *fourier_;
    Edit11->setText(qText(qFieldText(ws.q_min)));
    Edit12->setText(qText(qFieldText(ws.q_max)));
    Edit13->setText(qText(qFieldText(ws.q_critical)));
    Chart3->setPoints(0, ws.q.data(), ws.r.data(), ws.count);
}

void MainWindow::Button19Click() {
    guarded([this] {
        RG0->setItemIndex(fourier::Y_LINEAR);
        RG1->setItemIndex(fourier::X_THETA);
        Edit10->setText("1.54");
        clearFourierCharts();
        Status read;
        try {
            read = loadFourierTemplate(*fourier_, programDir_);
        } catch (...) {
            // The file field names the template also when a line of it could not be read.
            Edit9->setText(qText(fourier_->file_path));
            throw;
        }
        Edit9->setText(qText(fourier_->file_path));
        showFourierCurve(read, true);
    });
}

void MainWindow::Button20Click() {
    guarded([this] {
        // A cancelled dialog reads the file chosen before once more.
        QString chosen = services_.dialogs->openFile(curveOpenDialog());
        if (!chosen.isEmpty()) Edit9->setText(chosen);
        clearFourierCharts();
        fourier_->x_type = RG1->itemIndex();
        fourier_->y_type = RG0->itemIndex();
        std::string lambda = Edit10->text().toStdString();
        if (lambda.empty()) {
            Status refused = loadFourierData(*fourier_, chosen.toStdString(), lambda);
            Edit14->setText(qText(refused.message));
            return;
        }
        Edit14->setText("--->OK");
        Status read = loadFourierData(*fourier_, chosen.toStdString(), lambda);
        showFourierCurve(read, true);
    });
}

void MainWindow::Button21Click() {
    guarded([this] {
        FourierWorkspace& ws = *fourier_;
        FtFields f;
        bool manualQ = RG3->itemIndex() == fourier::Q_AREA_MANUAL;
        if (manualQ) {
            f.q_min = parseReal(Edit11->text().toStdString(), "field q_min(1/Å)");
            f.q_max = parseReal(Edit12->text().toStdString(), "field q_max(1/Å)");
        }
        f.q_critical = parseReal(Edit13->text().toStdString(), "field q_critical");
        f.d_max = parseReal(Edit15->text().toStdString(), "field d_max (A)");
        f.bin_no = parseInt(Edit16->text().toStdString(), "field Bin_No");

        ws.q_area = RG3->itemIndex();
        if (manualQ) {
            ws.q_min = f.q_min;
            ws.q_max = f.q_max;
        }
        ws.q_critical = f.q_critical;
        ws.d_max = f.d_max;
        ws.bin_no = f.bin_no;
        ws.q_critical_mode = RG4->itemIndex();
        ws.fringe_mode = RG5->itemIndex();
        ws.transform = RG2->itemIndex();

        FtReport report = runFourierTransform(ws, store_.ambient);
        Edit14->setText(qText(report.status.message));
        if (!report.q_min_text.empty()) {
            Edit11->setText(qText(report.q_min_text));
            Edit12->setText(qText(report.q_max_text));
        }
        if (report.edgeFitted) {
            Edit17->setText(qText(report.density_text));
            Edit18->setText(qText(report.roughness_text));
        }
        if (!report.transformed) return;
        Edit13->setText(qText(report.q_critical_text));

        if (report.edgeFitted)
            Chart3->setPoints(1, ws.q.data(), ws.r_model.data(), ws.count);
        else
            Chart3->clearSeries(1);
        // The fringe against q, not q': the reflection chart's axis.
        Chart4->setPoints(0, ws.q.data(), ws.fringe.data(), ws.count);

        RG2->setItemIndex(ws.transform);
        Chart5->clearAll();
        if (ws.transform == fourier::TRANSFORM_DFT) {
            Chart5->setPoints(4, ws.ft_d.data(), ws.ft[0].data(), ws.bin_no);
        } else {
            // The first series keeps the last DFT beside the four wavelet widths.
            for (int s = 0; s < FT_ROWS; ++s)
                Chart5->setPoints(s, ws.ft_d.data(), ws.ft[s].data(), ws.bin_no);
        }
    });
}

void MainWindow::Button22Click() {
    guarded([this] {
        Status saved = saveFourierResult(*fourier_);
        // Code 1: no transform of the loaded curve yet, and the button does nothing.
        if (saved.code == 1) return;
        Edit14->setText(qText(saved.message));
    });
}

void MainWindow::RG0Click() {
    guarded([this] { fourier_->y_type = RG0->itemIndex(); });
}

void MainWindow::RG1Click() {
    guarded([this] { fourier_->x_type = RG1->itemIndex(); });
}

void MainWindow::RG2Click() {
    guarded([this] { fourier_->transform = RG2->itemIndex(); });
}

void MainWindow::RG3Click() {
    guarded([this] { fourier_->q_area = RG3->itemIndex(); });
}

void MainWindow::RG4Click() {
    guarded([this] { fourier_->q_critical_mode = RG4->itemIndex(); });
}

void MainWindow::RG5Click() {
    guarded([this] { fourier_->fringe_mode = RG5->itemIndex(); });
}

}  // namespace tolvi::ui
