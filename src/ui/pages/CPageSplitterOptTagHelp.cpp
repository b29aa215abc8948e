#include "ui/pages/CPageSplitterOptTagHelp.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/kit/MessageBoxes.h"

namespace qm {

namespace {

// A tag line: "%F%: source file name (not including extension)".
bool ReadTagLine(const QString& line, TagHelpRow* row) {
    const qsizetype colon = line.indexOf(QStringLiteral(": "));
    if (!line.startsWith(QLatin1Char('%')) || colon < 0) return false;
    *row = {line.left(colon), line.mid(colon + 2).trimmed()};
    return true;
}

// A sample line: " %F%-%P%.mp3:<tabs>filename-1.mp3, filename-2.mp3". The template ends at
// the colon before the first tab; the tabs only lined the examples up in the old text.
bool ReadSampleLine(const QString& line, TagHelpRow* row) {
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (tab < 0) return false;
    QString left = line.left(tab).trimmed();
    if (left.endsWith(QLatin1Char(':'))) left.chop(1);
    *row = {left, line.mid(tab).trimmed()};
    return true;
}

QLabel* CellLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// Puts rows into a new two-column grid; the left column in bold.
QGridLayout* MakeGrid(const std::vector<TagHelpRow>& rows, QWidget* parent) {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(parent->fontMetrics().horizontalAdvance(QStringLiteral("MMM")));
    grid->setVerticalSpacing(2);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        QLabel* left = CellLabel(rows[static_cast<std::size_t>(i)].left, parent);
        QFont bold = left->font();
        bold.setBold(true);
        left->setFont(bold);
        grid->addWidget(left, i, 0);
        grid->addWidget(CellLabel(rows[static_cast<std::size_t>(i)].right, parent), i, 1);
    }
    grid->setColumnStretch(1, 1);
    return grid;
}

}  // namespace

TagHelpTable ParseTagHelp(const std::string& help) {
    TagHelpTable table;
    bool inSamples = false;
    QStringList intro;
    for (const QString& line : QString::fromStdString(help).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) continue;
        TagHelpRow row;
        if (inSamples && ReadSampleLine(line, &row)) {
            table.samples.push_back(row);
        } else if (!inSamples && ReadTagLine(line, &row)) {
            table.tags.push_back(row);
        } else if (!inSamples && table.tags.empty()) {
            intro.append(line.trimmed());
        } else if (line.trimmed().endsWith(QLatin1Char(':'))) {
            table.samplesCaption = line.trimmed();
            inSamples = true;
        }
    }
    table.intro = intro.join(QLatin1Char(' '));
    return table;
}

TagHelpDialog::TagHelpDialog(const std::string& help, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kMessageCaption));
    // A message window: a title and a close button, nothing to resize.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const TagHelpTable table = ParseTagHelp(help);

    auto* text = new QVBoxLayout;
    text->addWidget(CellLabel(table.intro, this));
    m_tags = MakeGrid(table.tags, this);
    text->addLayout(m_tags);
    text->addSpacing(fontMetrics().height() / 2);
    text->addWidget(CellLabel(table.samplesCaption, this));
    m_samples = MakeGrid(table.samples, this);
    text->addLayout(m_samples);

    // The information icon beside the text, as a message box shows it.
    auto* icon = new QLabel(this);
    const int iconPixels = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconPixels));
    icon->setAlignment(Qt::AlignTop);
    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addSpacing(fontMetrics().horizontalAdvance(QLatin1Char('M')));
    body->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* page = new QVBoxLayout(this);
    page->addLayout(body);
    page->addWidget(buttons);
    page->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qm
