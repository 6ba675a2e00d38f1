#include "ui/plain_text_prompt.h"

#include "ui/message_box.h"
#include "ui/text_conv.h"
#include "ui/ui_question.h"

#include <QPushButton>

namespace {
constexpr int kAllow = 1, kKeepBack = 2;
constexpr int kTitle = 18104, kNoTls = 18105, kTlsGone = 18106, kSend = 18107, kDoNotSend = 18108;
} // namespace

int CPlainTextPrompt::AskPlainText(const PlainTextQuestion& question) {
    CFilterApp& app = app_;
    const PlainTextQuestion asked = question;
    return AskOnUiThread(
        [&app, asked](std::function<void(int)> answerWith) -> QWidget* {
            const QString text = LocalText(app, asked.TlsSeen ? kTlsGone : kNoTls)
                                     .arg(ToQString(asked.Account), ToQString(asked.Server));
            auto* box = new QMessageBox(QMessageBox::Warning, LocalText(app, kTitle), text);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QPushButton* send = box->addButton(LocalText(app, kSend), QMessageBox::AcceptRole);
            QPushButton* keep = box->addButton(LocalText(app, kDoNotSend), QMessageBox::RejectRole);
            box->setDefaultButton(keep);
            box->setEscapeButton(keep);
            QObject::connect(box, &QMessageBox::finished, box, [box, send, answerWith](int) {
                answerWith(box->clickedButton() == send ? kAllow : kKeepBack);
            });
            box->open();
            box->raise();
            box->activateWindow();
            return box;
        },
        kKeepBack);
}
