#pragma once

// The batch joiner's "ID3 tag" dialog: the tag fields of one main row, which its output's
// ID3v2 tag is made from.

#include <QDialog>

#include "stream/Tags.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace qm {

class BatchJoinerTagDialog : public QDialog {
    Q_OBJECT
public:
    // Opens with tag's fields; a track outside 0..9999 shows as the nearest end and is kept
    // as it was unless the track field is changed.
    BatchJoinerTagDialog(const TagInfo& tag, QWidget* parent = nullptr);

    // The fields as edited.
    TagInfo Tag() const;

    QSpinBox* TrackEdit() const { return m_track; }
    QLineEdit* TitleEdit() const { return m_title; }
    QComboBox* GenreList() const { return m_genre; }
    QPlainTextEdit* CommentEdit() const { return m_comment; }

private:
    QSpinBox* m_track;
    QLineEdit* m_title;
    QLineEdit* m_artist;
    QLineEdit* m_album;
    QLineEdit* m_year;
    QComboBox* m_genre;
    QPlainTextEdit* m_comment;
    int m_shownTrack = 0;
    bool m_trackEdited = false;
};

}  // namespace qm
