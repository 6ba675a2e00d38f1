#include "ui/new_sender_prompt.h"

#include "ui/message_box.h"
#include "ui/new_sender_dialog.h"
#include "ui/ui_question.h"

namespace {
NewSenderAnswer AnswerOf(int buttonId) {
    switch (buttonId) {
    case CNewSenderDialog::kFriend:
        return NewSenderAnswer::Friend;
    case CNewSenderDialog::kBlock:
        return NewSenderAnswer::Block;
    case CNewSenderDialog::kIgnore:
        return NewSenderAnswer::Ignore;
    default: // the program quit before the user answered
        return NewSenderAnswer::NoAnswer;
    }
}
} // namespace

// Called on a session thread (with AppLock held by the pipeline); the dialog
// lives on the window thread, each question with its own window.
NewSenderAnswer CNewSenderPrompt::AskNewSender(const NewSenderQuestion& question) {
    const int answer = AskOnUiThread(
        [this, question](std::function<void(int)> answer) -> QWidget* {
            auto* dialog = new CNewSenderDialog(app_, question);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog, &QDialog::finished, dialog, [this, answer](int result) {
                answer(result);
                if (QuestionChanged)
                    QuestionChanged(nullptr);
            });
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
            if (QuestionChanged)
                QuestionChanged(&question);
            return dialog;
        },
        static_cast<int>(NewSenderAnswer::NoAnswer));
    return AnswerOf(answer);
}
