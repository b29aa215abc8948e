#include "ui/pages/SplitModeInputs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>

#include "ui/pages/CPageBatchSplitterSpin.h"

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

int ModeEditWidth(const QWidget* page) {
    return page->fontMetrics().horizontalAdvance(QStringLiteral("0000000.0")) + 32;
}

QRadioButton* SplitModeControls::Button(SplitTypeCode mode) const {
    return qobject_cast<QRadioButton*>(modes->button(static_cast<int>(mode)));
}

SplitTypeCode SplitModeControls::Mode() const { return static_cast<SplitTypeCode>(std::max(0, modes->checkedId())); }

void SplitModeControls::EnableInputs(bool enabled) const {
    const SplitTypeCode mode = Mode();
    const auto on = [&](SplitTypeCode which) { return enabled && mode == which; };
    size->setEnabled(on(SplitTypeCode::BySize));
    unit->setEnabled(on(SplitTypeCode::BySize));
    count->setEnabled(on(SplitTypeCode::ByCount));
    minutes->setEnabled(on(SplitTypeCode::ByTime));
    seconds->setEnabled(on(SplitTypeCode::ByTime));
}

QWidget* SplitModeControls::FirstInput(SplitTypeCode mode) const {
    switch (mode) {
        case SplitTypeCode::BySize:
            return size;
        case SplitTypeCode::ByCount:
            return count;
        case SplitTypeCode::ByTime:
            return minutes;
        default:
            return nullptr;
    }
}

void SplitModeControls::Show(const SplitSettings& inputs) const {
    int mode = static_cast<int>(inputs.SplitType);
    if (modes->button(mode) == nullptr) mode = static_cast<int>(SplitTypeCode::BySize);
    modes->button(mode)->setChecked(true);
    size->SetText(QString::fromStdString(inputs.SplitFileSizeEx));
    ShowUnit(unit, inputs.SplitFileUnit);
    count->setValue(inputs.SplitFileAmount);
    minutes->setValue(inputs.SplitTimeMin);
    seconds->setValue(inputs.SplitTimeSec);
}

void SplitModeControls::Take(SplitSettings* inputs) const {
    inputs->SplitType = Mode();
    inputs->SplitFileSizeEx = size->Text().toStdString();
    inputs->SplitFileUnit = static_cast<SizeUnitCode>(unit->currentData().toInt());
    inputs->SplitFileAmount = count->value();
    inputs->SplitTimeMin = minutes->value();
    inputs->SplitTimeSec = seconds->value();
}

void SplitModeControls::ConnectChanges(QObject* context, const std::function<void()>& changed) const {
    QObject::connect(size, &TextSpinBox::TextEdited, context, changed);
    QObject::connect(unit, &QComboBox::currentIndexChanged, context, changed);
    for (QSpinBox* spin : {count, minutes, seconds}) QObject::connect(spin, &QSpinBox::valueChanged, context, changed);
}

SplitModeControls MakeSplitModeRows(QGridLayout* grid, QObject* owner, const SplitModeTexts& texts) {
    QWidget* parent = grid->parentWidget();
    SplitModeControls ui;
    ui.modes = new QButtonGroup(owner);
    ui.size = new TextSpinBox(TextSpinBox::Steps::Whole, parent);
    ui.size->SetRange(texts.minSizeUnits, kMaxSpinValue);
    ui.size->setToolTip(QStringLiteral("The size of each piece; a decimal number such as 1.5"));
    ui.unit = MakeUnitList(parent);
    AddModeRow(grid, ui.modes, SplitTypeCode::BySize, "By si&ze",
               {ui.size, ui.unit, TextLabel("each file", nullptr, parent)});

    ui.count = NumberSpin(texts.minCount, kMaxSpinValue, parent);
    ui.count->setToolTip(QString::fromUtf8(texts.countTip));
    AddModeRow(grid, ui.modes, SplitTypeCode::ByCount, "By &count",
               {ui.count, TextLabel("equal-sized files", nullptr, parent)});

    ui.minutes = NumberSpin(0, kMaxSpinValue, parent);
    ui.seconds = NumberSpin(0, kMaxSeconds, parent);
    AddModeRow(grid, ui.modes, SplitTypeCode::ByTime, texts.timeCaption,
               {ui.minutes, TextLabel(texts.minutesCaption, ui.minutes, parent), ui.seconds,
                TextLabel(texts.secondsCaption, nullptr, parent)});
    for (QWidget* edit : std::initializer_list<QWidget*>{ui.size, ui.count, ui.minutes, ui.seconds}) {
        edit->setMinimumWidth(ModeEditWidth(parent));
    }
    return ui;
}

}  // namespace qm
