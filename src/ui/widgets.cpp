#include "ui/widgets.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace tolvi::ui {

namespace {

// The grey of fixed cells and display fields.
QColor fixedGrey() {
    return QColor(235, 235, 235);
}

}  // namespace

RadioGroup::RadioGroup(const QString& objectName, const QString& title, const QStringList& items,
                       int columns, QWidget* parent)
    : QGroupBox(title, parent) {
    setObjectName(objectName);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(objectName + "_" + QString::number(i));
        buttons_.addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
    }
    buttons_.setExclusive(true);
    connect(&buttons_, &QButtonGroup::idClicked, this, [this](int) { emit clicked(); });
}

int RadioGroup::itemIndex() const {
    return buttons_.checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = buttons_.button(index)) b->setChecked(true);
}

QRadioButton* RadioGroup::item(int index) const {
    return static_cast<QRadioButton*>(buttons_.button(index));
}

int RadioGroup::count() const {
    return static_cast<int>(buttons_.buttons().size());
}

std::string GridCells::text(int row, int column) const {
    if (headingRow_ && row == 0) {
        QTableWidgetItem* h = table_->horizontalHeaderItem(column);
        return h ? h->text().toStdString() : std::string();
    }
    QTableWidgetItem* item = table_->item(headingRow_ ? row - 1 : row, column);
    return item ? item->text().toStdString() : std::string();
}

void GridCells::setText(int row, int column, const std::string& text) {
    QString s = qText(text);
    if (headingRow_ && row == 0) {
        table_->setHorizontalHeaderItem(column, new QTableWidgetItem(s));
        return;
    }
    int r = headingRow_ ? row - 1 : row;
    if (QTableWidgetItem* item = table_->item(r, column)) {
        // Setting an unchanged text still repaints; clearing 3600 cells should not.
        if (item->text() != s) item->setText(s);
    } else {
        table_->setItem(r, column, new QTableWidgetItem(s));
    }
}

std::string FieldText::text() const {
    return edit_->text().toStdString();
}

void FieldText::setText(const std::string& text) {
    edit_->setText(qText(text));
}

QTableWidget* makeTable(const QString& objectName, int rows, int columns, int firstEditable,
                        QWidget* parent) {
    auto* table = new QTableWidget(rows, columns, parent);
    table->setObjectName(objectName);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setMinimumSectionSize(16);
    table->verticalHeader()->setDefaultSectionSize(19);
    table->horizontalHeader()->setMinimumSectionSize(24);
    table->horizontalHeader()->setHighlightSections(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            auto* item = new QTableWidgetItem;
            if (c < firstEditable) {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setBackground(fixedGrey());
            }
            table->setItem(r, c, item);
        }
    return table;
}

QPushButton* makeButton(const QString& objectName, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    // Return in a field must not press a button that happens to be the default.
    b->setAutoDefault(false);
    return b;
}

QLineEdit* makeField(const QString& objectName, bool readOnly, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    if (readOnly) {
        edit->setReadOnly(true);
        QPalette p = edit->palette();
        p.setColor(QPalette::Base, fixedGrey());
        edit->setPalette(p);
    }
    return edit;
}

}  // namespace tolvi::ui
