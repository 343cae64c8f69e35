#include "ui/undo_history.h"

#include <QDataStream>
#include <QIODevice>

namespace tolvi::ui {

namespace {

// zlib's fastest level: a step is recorded after every action, and the steps are mostly numbers
// written out as text, which even this level packs to about a third.
constexpr int COMPRESSION = 1;

void put(QDataStream& out, const std::string& text) {
    out << QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename T>
void put(QDataStream& out, const std::vector<T>& values) {
    out << static_cast<qint64>(values.size());
    for (const T& v : values) out << v;
}

void get(QDataStream& in, std::string& text) {
    QByteArray bytes;
    in >> bytes;
    text.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
}

template <typename T>
void get(QDataStream& in, std::vector<T>& values) {
    qint64 count = 0;
    in >> count;
    // A count the stream cannot hold is a damaged stream: nothing is reserved for it.
    if (count < 0 || count > in.device()->bytesAvailable() / qint64(sizeof(T))) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    values.resize(static_cast<size_t>(count));
    for (T& v : values) in >> v;
}

QDataStream& operator<<(QDataStream& out, const ChartContents& c) {
    return out << c.yTitle << c.points << c.names;
}

QDataStream& operator>>(QDataStream& in, ChartContents& c) {
    return in >> c.yTitle >> c.points >> c.names;
}

}  // namespace

QByteArray packState(const WindowState& state) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const WorkspaceSnapshot& w = state.workspace;
    put(out, w.project);
    put(out, w.projectSource);
    out << w.nfile << w.curfile;
    for (int points : w.points) out << points;
    put(out, w.curves);
    put(out, w.lastParamPath);
    put(out, w.paramDir);
    out << w.nfitParam << w.multiFit;
    put(out, w.savedX);
    put(out, w.owner);
    put(out, w.quantity);
    out << state.layerCells << state.dataCells << state.settingsCells << state.fields;
    out << state.drawn << state.profiles;
    return bytes;
}

std::optional<WindowState> unpackState(const QByteArray& bytes) {
    QDataStream in(bytes);
    WindowState state;
    WorkspaceSnapshot& w = state.workspace;
    get(in, w.project);
    get(in, w.projectSource);
    in >> w.nfile >> w.curfile;
    for (int& points : w.points) in >> points;
    get(in, w.curves);
    get(in, w.lastParamPath);
    get(in, w.paramDir);
    in >> w.nfitParam >> w.multiFit;
    get(in, w.savedX);
    get(in, w.owner);
    get(in, w.quantity);
    in >> state.layerCells >> state.dataCells >> state.settingsCells >> state.fields;
    in >> state.drawn >> state.profiles;
    if (in.status() != QDataStream::Ok || !in.atEnd()) return std::nullopt;
    return state;
}

bool UndoHistory::record(const QByteArray& packed) {
    if (current_ >= 0 && packed == currentState_) return false;
    while (canRedo()) {
        bytes_ -= steps_.back().size();
        steps_.pop_back();
    }
    steps_.push_back(qCompress(packed, COMPRESSION));
    bytes_ += steps_.back().size();
    current_ = steps() - 1;
    currentState_ = packed;
    trim();
    return true;
}

void UndoHistory::replaceCurrent(const QByteArray& packed) {
    if (current_ < 0) {
        record(packed);
        return;
    }
    if (packed == currentState_) return;
    QByteArray& step = steps_[static_cast<size_t>(current_)];
    bytes_ -= step.size();
    step = qCompress(packed, COMPRESSION);
    bytes_ += step.size();
    currentState_ = packed;
    trim();
}

std::optional<QByteArray> UndoHistory::undo() {
    if (!canUndo()) return std::nullopt;
    --current_;
    currentState_ = stateAt(current_);
    return currentState_;
}

std::optional<QByteArray> UndoHistory::redo() {
    if (!canRedo()) return std::nullopt;
    ++current_;
    currentState_ = stateAt(current_);
    return currentState_;
}

void UndoHistory::clear() {
    steps_.clear();
    current_ = -1;
    currentState_.clear();
    bytes_ = 0;
}

void UndoHistory::trim() {
    // The oldest steps go, never the current one.
    while (current_ > 0 &&
           (steps() > MAX_STEPS || (bytes_ > MAX_BYTES && steps() > MIN_STEPS))) {
        bytes_ -= steps_.front().size();
        steps_.pop_front();
        --current_;
    }
}

QByteArray UndoHistory::stateAt(int index) const {
    return qUncompress(steps_[static_cast<size_t>(index)]);
}

}  // namespace tolvi::ui
