#pragma once

// The dialog of the options of a split at silences: how quiet a pause is, how long it must
// last, the shortest and longest piece, and whether the pauses are left out of the pieces.
// Both splitter pages open it over their own stored options.

#include <QDialog>

#include "settings/Options.h"

class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QSpinBox;

namespace qm {

class SilenceDialog : public QDialog {
    Q_OBJECT
public:
    // Opens showing options; title is the window's caption.
    SilenceDialog(const QString& title, const SilenceOptions& options, QWidget* parent = nullptr);

    // The options as edited; lengths are whole tenths of a second.
    SilenceOptions Options() const;

    struct Controls {
        QSpinBox* threshold = nullptr;         // dBFS
        QDoubleSpinBox* minSilence = nullptr;  // seconds
        QDoubleSpinBox* minPiece = nullptr;    // seconds, 0 = off
        QDoubleSpinBox* maxPiece = nullptr;    // seconds, 0 = off
        QCheckBox* trim = nullptr;
        QDialogButtonBox* buttons = nullptr;
    };
    const Controls& Ui() const { return m_ui; }

private:
    Controls m_ui;
};

// Opens the dialog over *options and stores the edited options there on OK; false when
// cancelled (options untouched).
bool EditSilenceOptions(QWidget* parent, const QString& title, SilenceOptions* options);

}  // namespace qm
