#include "ui/sign_in_prompt.h"

#include "app/core/filter_app.h"
#include "store/oauth_accounts.h"
#include "ui/oauth_sign_in_dialog.h"
#include "ui/text_conv.h"
#include "ui/ui_question.h"

namespace {
constexpr int kSignedIn = 1;
constexpr int kNotSignedIn = 2;
constexpr int kReasonText = 18180;    // "The provider no longer accepts the sign-in of "
constexpr int kReasonEndText = 18184; // ". Sign in again to go on checking it."
constexpr int kProviderSaidText = 18181;
} // namespace

int CSignInPrompt::AskSignInAgain(const SignInQuestion& question) {
    // The client and the provider's addresses as the user signed in last;
    // the refresh token is not needed (and the keyring not asked) for that.
    OAuthAccount account;
    if (ReadOAuthAccount(app_.InstallPath + "/" + kOAuthFileName, question.Type, question.Server,
                         question.User, account) != 1) {
        account = OAuthAccount{};
        account.Type = question.Type;
        account.Server = question.Server;
        account.User = question.User;
    }
    account.RefreshToken.clear();
    QString reason = LocalText(app_, kReasonText) + ToQString(question.Account) +
                     LocalText(app_, kReasonEndText);
    if (!question.ProviderText.empty())
        reason += "\n" + LocalText(app_, kProviderSaidText) + ToQString(question.ProviderText);
    CFilterApp& app = app_;
    return AskOnUiThread(
        [&app, account, reason](std::function<void(int)> answer) -> QWidget* {
            auto* dialog = new COAuthSignInDialog(app, account, reason);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(dialog, &QDialog::finished, dialog, [answer](int result) {
                answer(result == QDialog::Accepted ? kSignedIn : kNotSignedIn);
            });
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
            return dialog;
        },
        kNotSignedIn);
}
