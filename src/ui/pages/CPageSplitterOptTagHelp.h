#pragma once

// The help behind the "?" buttons of the splitter options' name and title templates: the
// help text, whose tag lines read "%X%: meaning" and whose sample lines put the template and
// its example in tab-separated columns, shown as a grid, so that the columns line up in any
// font and no example is broken across lines.

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QGridLayout;

namespace qm {

// One row of a help table: the tag or template on the left, its meaning or example right.
struct TagHelpRow {
    QString left;
    QString right;
};

// A tag help text taken apart: the opening sentence, the tags with their meanings, the
// caption of the samples ("Samples:") and the samples with their examples.
struct TagHelpTable {
    QString intro;
    std::vector<TagHelpRow> tags;
    QString samplesCaption;
    std::vector<TagHelpRow> samples;
};

// Reads a help text (UTF-8) into its parts. Lines before the first tag line make the intro;
// a line ending in a colon starts the samples; blank lines separate and are dropped.
TagHelpTable ParseTagHelp(const std::string& help);

// A window captioned "Quillmere" that shows one help text as two grids and an OK button.
class TagHelpDialog : public QDialog {
    Q_OBJECT

public:
    TagHelpDialog(const std::string& help, QWidget* parent = nullptr);

    // The grids of the tags and of the samples, two columns each (for tests).
    QGridLayout* TagsGrid() const { return m_tags; }
    QGridLayout* SamplesGrid() const { return m_samples; }

private:
    QGridLayout* m_tags = nullptr;
    QGridLayout* m_samples = nullptr;
};

}  // namespace qm
