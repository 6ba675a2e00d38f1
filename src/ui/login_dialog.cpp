#include "ui/login_dialog.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/text_conv.h"
#include "ui/ui_question.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <mutex>

namespace {
constexpr int kFirstTextId = 12000;
constexpr int kOk = 1;
constexpr int kCancel = 2;
} // namespace

CLoginDialog::CLoginDialog(CFilterApp& app, const LoginPromptData& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), Title(data.Title),
      Password(data.Password), UserName(data.UserName), app_(app) {
    CDialogUnits du(font());
    setFixedSize(du.Size(186, 90));
    setWindowTitle("User name and password required");

    auto* userLabel = new QLabel("User Name", this);
    userLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, userLabel, 1005, 12, 9, 51, 11);
    user_ = new QLineEdit(this);
    PlaceControl(du, user_, 1028, 72, 9, 78, 14);
    auto* passwordLabel = new QLabel("Password", this);
    passwordLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, passwordLabel, 1007, 12, 33, 51, 11);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    PlaceControl(du, password_, 1029, 72, 33, 78, 14);
    auto* ok = new QPushButton("OK", this);
    PlaceControl(du, ok, kOk, 36, 69, 50, 14);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    PlaceControl(du, cancel, kCancel, 99, 69, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CLoginDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CLoginDialog::reject);

    // Initialisation: the values, then the caption, then the texts.
    user_->setText(ToQString(UserName));
    password_->setText(ToQString(Password));
    setWindowTitle(ToQString(Title));
    Localize();
}

void CLoginDialog::Localize() {
    LocalizeWindow(app_, this, kFirstTextId, {kTitlePseudoId, 1005, 1007, kOk, kCancel});
}

void CLoginDialog::accept() {
    UserName = FromQString(user_->text());
    Password = FromQString(password_->text());
    QDialog::accept();
}

void CLoginDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Localize();
}

void CLoginDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    Localize();
}

int CLoginPrompt::AskLogin(LoginPromptData& data) {
    // Written on the window thread before the answer is given, read here
    // after it: the question's own completion orders the two.
    auto typed = std::make_shared<LoginPromptData>(data);
    CFilterApp& app = app_;
    int answer = AskOnUiThread(
        [&app, typed](std::function<void(int)> answerWith) -> QWidget* {
            auto* dialog = new CLoginDialog(app, *typed);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog, &QDialog::finished, dialog,
                             [dialog, typed, answerWith](int result) {
                                 if (result == QDialog::Accepted) {
                                     typed->UserName = dialog->UserName;
                                     typed->Password = dialog->Password;
                                     answerWith(kOk);
                                 } else {
                                     answerWith(kCancel);
                                 }
                             });
            dialog->open();
            dialog->raise();
            dialog->activateWindow();
            return dialog;
        },
        kCancel);
    if (answer == kOk) {
        data.UserName = typed->UserName;
        data.Password = typed->Password;
    }
    return answer;
}
