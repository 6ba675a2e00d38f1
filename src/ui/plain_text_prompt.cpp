#include "ui/plain_text_prompt.h"

#include "ui/message_box.h"
#include "ui/text_conv.h"
#include "ui/ui_question.h"

#include <QPushButton>

namespace {
constexpr int kAllow = 1, kKeepBack = 2;
constexpr int kTitle = 18104, kNoTls = 18105, kTlsGone = 18106, kSend = 18107, kDoNotSend = 18108;
} // namespace

QMessageBox* MakePlainTextWarning(CFilterApp& app, const PlainTextQuestion& question,
                                  QWidget* parent) {
    const QString text = LocalText(app, question.TlsSeen ? kTlsGone : kNoTls)
                             .arg(ToQString(question.Account), ToQString(question.Server));
    auto* box = new QMessageBox(QMessageBox::Warning, LocalText(app, kTitle), text,
                                QMessageBox::NoButton, parent);
    box->addButton(LocalText(app, kSend), QMessageBox::AcceptRole);
    QPushButton* keep = box->addButton(LocalText(app, kDoNotSend), QMessageBox::RejectRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    return box;
}

int CPlainTextPrompt::AskPlainText(const PlainTextQuestion& question) {
    CFilterApp& app = app_;
    const PlainTextQuestion asked = question;
    return AskOnUiThread(
        [&app, asked](std::function<void(int)> answerWith) -> QWidget* {
            QMessageBox* box = MakePlainTextWarning(app, asked, nullptr);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QMessageBox::finished, box, [box, answerWith](int) {
                const bool send = box->clickedButton() &&
                                  box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
                answerWith(send ? kAllow : kKeepBack);
            });
            box->open();
            box->raise();
            box->activateWindow();
            return box;
        },
        kKeepBack);
}
