#include "ui/pages/CPageBatchJoinerTagDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>

namespace qm {

namespace {

// An ID3v2 track number is text; the dialog takes 0 (none) to 9999, as the joiner does.
constexpr int kMaxTrack = 9999;
constexpr int kCommentLines = 4;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

BatchJoinerTagDialog::BatchJoinerTagDialog(const TagInfo& tag, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("ID3 tag"));
    auto* form = new QFormLayout;
    m_track = new QSpinBox(this);
    m_track->setRange(0, kMaxTrack);
    m_track->setValue(tag.track);
    // A number the box cannot show (from a file's tag) stays as it was unless it is changed.
    m_shownTrack = tag.track;
    connect(m_track, &QSpinBox::valueChanged, this, [this] { m_trackEdited = true; });
    m_title = new QLineEdit(Text(tag.title), this);
    m_artist = new QLineEdit(Text(tag.artist), this);
    m_album = new QLineEdit(Text(tag.album), this);
    m_year = new QLineEdit(Text(tag.year), this);
    m_genre = new QComboBox(this);
    m_genre->setEditable(true);
    m_genre->setInsertPolicy(QComboBox::NoInsert);
    QStringList genres;
    for (const char* name : GenreNames()) genres.append(QString::fromLatin1(name));
    genres.sort(Qt::CaseInsensitive);
    m_genre->addItems(genres);
    m_genre->setCurrentIndex(-1);
    m_genre->setEditText(Text(tag.genre));
    m_comment = new QPlainTextEdit(Text(tag.comment), this);
    m_comment->setTabChangesFocus(true);
    m_comment->setMinimumHeight(m_comment->fontMetrics().lineSpacing() * kCommentLines + 12);
    form->addRow(QStringLiteral("&Track #:"), m_track);
    form->addRow(QStringLiteral("&Title:"), m_title);
    form->addRow(QStringLiteral("&Artist:"), m_artist);
    form->addRow(QStringLiteral("Albu&m:"), m_album);
    form->addRow(QStringLiteral("&Year:"), m_year);
    form->addRow(QStringLiteral("&Genre:"), m_genre);
    form->addRow(QStringLiteral("&Comment:"), m_comment);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* body = new QVBoxLayout(this);
    body->addLayout(form);
    body->addWidget(buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
}

TagInfo BatchJoinerTagDialog::Tag() const {
    TagInfo tag;
    tag.track = m_trackEdited ? m_track->value() : m_shownTrack;
    tag.title = m_title->text().toStdString();
    tag.artist = m_artist->text().toStdString();
    tag.album = m_album->text().toStdString();
    tag.year = m_year->text().toStdString();
    tag.genre = m_genre->currentText().toStdString();
    tag.comment = m_comment->toPlainText().toStdString();
    return tag;
}

}  // namespace qm
