#include "ui/pages/CPageAbout.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "ui/kit/Addresses.h"
#include "ui/kit/AppIcon.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/kit/HyperLink.h"
#include "ui/pages/PageSizes.h"

namespace qm {

namespace {

constexpr int kIconPx = 64;

constexpr const char* kAboutText =
    "Quillmere cuts MP3 files into pieces by size, by count, by duration, at pauses, by a cue "
    "sheet, at chapters or by hand on a waveform, and joins files into one, with a chapter for "
    "each. Pieces and joins are copied frame by frame, so the audio stays untouched and the work "
    "runs at disk speed; fades and volume changes step each frame's own gains without encoding "
    "again. They can also be encoded again, with overlap and the sample rate, bit rate and "
    "channels of your choice. Whole folders can be split or joined in one run, and every file "
    "written is named from your template and tagged from its source.\n\n"
    "Quillmere is made with LAME (encoding and ID3 tags), libmpg123 (decoding), libsndfile "
    "and libopenmpt (other audio formats), libresample (sample-rate conversion), TagLib (tags "
    "and chapters), SDL (sound output) and Qt (windows and settings).";

// A wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

HyperLink* MakeLink(const QString& text, const QString& target, QWidget* page) {
    auto* link = new HyperLink(text, target, page);
    link->SetUnderline(UnderlineMode::Always);
    return link;
}

}  // namespace

CPageAbout::CPageAbout(QWidget* parent) : CResizablePage(QString::fromLatin1(kCaption), AboutPageSize(), parent) {
    m_ui.homePageLink = MakeLink(QStringLiteral("Visit Quillmere Homepage"), QString::fromLatin1(kHomePage), this);
    m_ui.supportLink = MakeLink(QStringLiteral("Feedback and Support"),
                                QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress), this);
    m_ui.makerLink = MakeLink(QString::fromLatin1(kMakerCaption), QString::fromLatin1(kMakerPage), this);
    m_ui.helpButton = new QPushButton(QStringLiteral("&Help Topics"), this);
    m_ui.updateButton = new QPushButton(QStringLiteral("&Check for Updates"), this);
    m_ui.tellButton = new QPushButton(QStringLiteral("&Tell a Friend"), this);
    const int margin = fontMetrics().height();
    const int line = fontMetrics().lineSpacing();

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIconPixmap(kIconPx));
    icon->setGeometry(margin, margin, kIconPx, kIconPx);

    auto* version = new QLabel(QString::fromLatin1(kVersionLine), this);
    QFont bold = version->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    version->setFont(bold);
    version->adjustSize();
    const int textLeft = margin + kIconPx + margin;
    version->move(textLeft, margin + (kIconPx / 2 - version->height()) / 2);

    // The links stand under the version line, one and a half lines apart.
    int linkTop = margin + kIconPx / 2 + line / 2;
    for (HyperLink* link : {m_ui.homePageLink, m_ui.supportLink, m_ui.makerLink}) {
        link->move(textLeft, linkTop);
        linkTop += line * 3 / 2;
    }

    // The buttons share one width, the widest caption's, and keep their distance to the
    // page's top-right corner when the page grows.
    int buttonWidth = 0;
    for (QPushButton* button : {m_ui.helpButton, m_ui.updateButton, m_ui.tellButton}) {
        buttonWidth = std::max(buttonWidth, button->sizeHint().width() + margin);
    }
    int buttonTop = margin;
    for (QPushButton* button : {m_ui.helpButton, m_ui.updateButton, m_ui.tellButton}) {
        button->setGeometry(DesignSize().width() - margin - buttonWidth, buttonTop, buttonWidth,
                            button->sizeHint().height());
        AddAnchor(button, kTopRight);
        buttonTop += button->height() + margin / 2;
    }

    // What the program does and what it is made with, under the links and the buttons. The
    // text keeps the design width, so that its lines stay short enough to read on a wide
    // window.
    const int textTop = std::max(linkTop, buttonTop) + margin;
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(margin, textTop, DesignSize().width() - 2 * margin, 2);
    AddAnchor(rule, kTopLeft, kTopRight);
    auto* description = new QLabel(QString::fromLatin1(kAboutText), this);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setGeometry(margin, textTop + margin, DesignSize().width() - 2 * margin,
                             DesignSize().height() - textTop - 2 * margin);

    connect(m_ui.helpButton, &QPushButton::clicked, this, &CPageAbout::HelpRequested);
    connect(m_ui.updateButton, &QPushButton::clicked, this, &CPageAbout::CheckForUpdates);
    connect(m_ui.tellButton, &QPushButton::clicked, this, &CPageAbout::TellAFriend);
}

QString CPageAbout::TellAFriendAddress() {
    return QStringLiteral("mailto:?subject=") +
           QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(kTellAFriendSubject))) +
           QStringLiteral("&body=") +
           QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(kTellAFriendBody)));
}

void CPageAbout::SetDesktop(DesktopCalls& desktop) {
    CResizablePage::SetDesktop(desktop);
    for (HyperLink* link : {m_ui.homePageLink, m_ui.supportLink, m_ui.makerLink}) link->SetDesktop(desktop);
}

void CPageAbout::CheckForUpdates() {
    const WaitCursor wait;
    Desktop().OpenWithDesktop(QString::fromLatin1(kUpdateCheckPage), ShowMode::Normal);
}

void CPageAbout::TellAFriend() {
    const WaitCursor wait;
    Desktop().OpenWithDesktop(TellAFriendAddress(), ShowMode::Normal);
}

}  // namespace qm
