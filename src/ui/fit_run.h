#pragma once

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "fit/fit_runs.h"
#include "fit/profile_band.h"
#include "fit/sample_run.h"
#include "ui/main_window.h"

namespace tolvi::ui {

// A fit or a sample on its thread. The thread writes the model, the fit state, the chain and the
// report; the window reads them only after it has joined the thread. The progress counters are
// written by the thread and read by the window's timer.
struct MainWindow::FitRun {
    explicit FitRun(std::atomic<bool>& cancel) : cancel(cancel) {}
    // A window that goes while its fit runs stops the fit and waits for its thread.
    ~FitRun() {
        if (!thread.joinable()) return;
        cancel = true;
        thread.join();
    }
    // What the progress bar calls the run.
    QString label() const {
        if (sampling) return QStringLiteral("MCMC");
        return options.method == FitMethod::Genetic ? QStringLiteral("GA") : QStringLiteral("LM");
    }

    std::atomic<bool>& cancel;
    std::thread thread;
    FitOptions options;
    int slot = 0;
    FitReport report;
    // A sample instead of a fit: its options and report, and the profile's band over it (of the
    // SLD when `sld`).
    bool sampling = false;
    SampleOptions sampleOptions;
    SampleReport sampleReport;
    std::unique_ptr<ProfileBand> band = std::make_unique<ProfileBand>();
    bool sld = false;
    std::exception_ptr failure;
    std::atomic<int> evaluations{0};
    std::atomic<double> bestCost{0.0};
    QElapsedTimer clock;
};

}  // namespace tolvi::ui
