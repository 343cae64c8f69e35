#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QStringList>
#include <deque>
#include <optional>

#include "actions/workspace_snapshot.h"

// Undo and redo of the window: the workspace and the window's tables and fields as they stood
// after each action, kept as compressed snapshots outside the model store.
namespace tolvi::ui {

// What a chart draws: each series's points and legend name, and the left axis's title.
struct ChartContents {
    QString yTitle;
    QList<QList<QPointF>> points;
    QStringList names;

    bool operator==(const ChartContents&) const = default;
};

// What one step puts back: the workspace, the texts of the tables and fields as shown (with
// edits not yet read into the model), which curves are drawn and the profiles drawn (which a
// step cannot tell from the model: "All Clear" keeps the template's model, undrawn). The curves
// are drawn again in the chart's view of the moment: a change of view is no step.
struct WindowState {
    WorkspaceSnapshot workspace;
    QStringList layerCells;  // row by row, the heading row included
    QStringList dataCells;
    QStringList settingsCells;
    QStringList fields;  // the window's text fields, in a fixed order
    QList<int> drawn;        // per pair of the reflectivity chart: shown, slot, part, ratio, Rdata/Fit
    ChartContents profiles;  // the profile chart

    bool operator==(const WindowState&) const = default;
};

// The state as bytes (a versionless stream: it never leaves the running program) and back.
QByteArray packState(const WindowState& state);
std::optional<WindowState> unpackState(const QByteArray& bytes);

// The steps of a window: the current state and those before and after it. Each is kept
// compressed (qCompress); the newest stays at hand uncompressed as well, to tell whether an
// action changed anything. At most MAX_STEPS steps are kept, and fewer when together they take
// more than MAX_BYTES, but never fewer than MIN_STEPS: the oldest go first. The memory is thus
// bounded by max(MAX_BYTES, MIN_STEPS snapshots) plus one uncompressed state; a full workspace
// (six data sets of 2000 points, 200 table rows each) packs into about a megabyte, the template
// into a few kilobytes.
class UndoHistory {
  public:
    static constexpr int MAX_STEPS = 100;
    static constexpr int MIN_STEPS = 50;
    static constexpr qint64 MAX_BYTES = qint64(64) << 20;

    // `packed` as the state after an action: a new step after the current one (the steps that
    // redo would have reached are forgotten) unless it equals the current state. Returns whether
    // a step was added.
    bool record(const QByteArray& packed);
    // The current state is `packed` from now on, without a step (after undo or redo has put a
    // state back and the window shows it as it now is).
    void replaceCurrent(const QByteArray& packed);
    // Moves one step back or forward and returns that state; nothing at either end.
    std::optional<QByteArray> undo();
    std::optional<QByteArray> redo();
    void clear();

    bool canUndo() const { return current_ > 0; }
    bool canRedo() const { return current_ + 1 < static_cast<int>(steps_.size()); }
    int steps() const { return static_cast<int>(steps_.size()); }
    int position() const { return current_; }  // of the current state, 0 the oldest kept
    qint64 bytes() const { return bytes_; }     // compressed steps, without the state at hand
    qint64 stateBytes() const { return currentState_.size(); }  // the state at hand

  private:
    void trim();
    QByteArray stateAt(int index) const;

    std::deque<QByteArray> steps_;  // compressed, oldest first
    int current_ = -1;
    QByteArray currentState_;  // steps_[current_] uncompressed
    qint64 bytes_ = 0;
};

}  // namespace tolvi::ui
