#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

#include "model/tables.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tolvi::ui {

// The core's texts (UTF-8) as Qt's.
inline QString qText(const std::string& s) {
    return QString::fromStdString(s);
}

// A report's line (formatted for a text stream) as a line of the message log: without its line
// end.
inline QString logLine(const std::string& line) {
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An option group: a titled box of radio buttons with an item index, whose clicked() signal
// fires when the user picks an item (also the one already chosen); setting the index from code
// fires nothing.
class RadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    RadioGroup(const QString& objectName, const QString& title, const QStringList& items,
               int columns, QWidget* parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton* item(int index) const;
    int count() const;

  signals:
    void clicked();

  private:
    QButtonGroup buttons_;
};

// A table widget seen as a grid of text cells. With a heading row, cell row 0 is the widget's
// horizontal header and cell row r is widget row r - 1; without one the rows are the same.
class GridCells : public CellGrid {
  public:
    GridCells(QTableWidget* table, bool headingRow) : table_(table), headingRow_(headingRow) {}
    std::string text(int row, int column) const override;
    void setText(int row, int column, const std::string& text) override;

  private:
    QTableWidget* table_;
    bool headingRow_;
};

// A line edit seen as a text field.
class FieldText : public TextField {
  public:
    explicit FieldText(QLineEdit* edit) : edit_(edit) {}
    std::string text() const override;
    void setText(const std::string& text) override;

  private:
    QLineEdit* edit_;
};

// A table of `rows` body rows (below the heading, if any) with every cell item made, the columns
// before `firstEditable` read-only and grey like row labels.
QTableWidget* makeTable(const QString& objectName, int rows, int columns, int firstEditable,
                        QWidget* parent);

// A push button with the given object name that never acts as the window's default button.
QPushButton* makeButton(const QString& objectName, const QString& caption, QWidget* parent);

// A line edit with the given object name; grey and read-only for the display fields.
QLineEdit* makeField(const QString& objectName, bool readOnly, QWidget* parent);

}  // namespace tolvi::ui
