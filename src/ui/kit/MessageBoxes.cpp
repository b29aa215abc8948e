#include "ui/kit/MessageBoxes.h"

#include <QMessageBox>

namespace qm {

namespace {

MessagePresenter* g_presenter = nullptr;

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Exclamation:
            break;
    }
    return QMessageBox::Warning;
}

MessageAnswer ShowBox(QWidget* parent, const ShownMessage& message) {
    const bool question = message.buttons == MessageButtons::YesNo;
    QMessageBox box(BoxIcon(message.icon), QString::fromLatin1(kMessageCaption), message.text,
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    const int chosen = box.exec();
    if (!question) return MessageAnswer::Ok;
    return chosen == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace

MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons) {
    const ShownMessage message{text, icon, buttons};
    if (g_presenter) return g_presenter->Present(parent, message);
    return ShowBox(parent, message);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    return ShowMessage(parent, text, MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes;
}

void SetMessagePresenter(MessagePresenter* presenter) { g_presenter = presenter; }

}  // namespace qm
