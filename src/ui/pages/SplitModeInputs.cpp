#include "ui/pages/SplitModeInputs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>

namespace qm {

namespace {

struct UnitEntry {
    const char* caption;
    SizeUnitCode code;
};
constexpr UnitEntry kUnits[] = {{"GB", SizeUnitCode::GB}, {"MB", SizeUnitCode::MB}, {"KB", SizeUnitCode::KB}};

}  // namespace

QRadioButton* AddModeRow(QGridLayout* grid, QButtonGroup* modes, SplitTypeCode mode, const char* caption,
                         std::initializer_list<QWidget*> inputs) {
    const int row = static_cast<int>(mode);
    auto* radio = new QRadioButton(QString::fromUtf8(caption), grid->parentWidget());
    modes->addButton(radio, row);
    grid->addWidget(radio, row, 0);
    auto* line = new QHBoxLayout;
    for (QWidget* input : inputs) line->addWidget(input);
    line->addStretch(1);
    grid->addLayout(line, row, 1);
    return radio;
}

QComboBox* MakeUnitList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const UnitEntry& unit : kUnits) list->addItem(QString::fromLatin1(unit.caption), static_cast<int>(unit.code));
    return list;
}

void ShowUnit(QComboBox* list, SizeUnitCode unit) {
    int index = list->findData(static_cast<int>(unit));
    if (index < 0) index = list->findData(static_cast<int>(SizeUnitCode::MB));
    list->setCurrentIndex(index);
}

QSpinBox* NumberSpin(int low, int high, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(low, high);
    spin->setAccelerated(true);
    return spin;
}

QLabel* TextLabel(const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    if (buddy != nullptr) label->setBuddy(buddy);
    return label;
}

}  // namespace qm
