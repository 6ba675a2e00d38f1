#include "ui/add_account_page.h"

#include "app/core/filter_app.h"
#include "store/english_texts.h"
#include "store/oauth_accounts.h"
#include "store/provider_profiles.h"
#include "ui/account_record.h"
#include "ui/account_test_runner.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"
#include "ui/name_field_filter.h"
#include "ui/oauth_sign_in_dialog.h"
#include "ui/testing_dialog.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

namespace {
constexpr int kFirstTextId = 1001;
constexpr int kImapIndex = 0; // the list is sorted: "IMAP", "POP3"
constexpr int kPop3Index = 1;
constexpr const char* kChangeCaption = "Change Account";
constexpr int kKeptInKeyringText = 18201;
constexpr int kKeptInFileText = 18202;
constexpr int kKeyringRefusedText = 18203;
constexpr int kKeyringGaveNothingText = 18204;
constexpr int kPasswordIndex = 0; // sign-in choices
constexpr int kOAuthIndex = 1;
constexpr int kPasswordChoiceText = 18161;
constexpr int kOAuthChoiceText = 18162;
constexpr int kClientIdText = 18163;
constexpr int kSignedInKeyringText = 18166;
constexpr int kSignedInFileText = 18167;
constexpr int kNotSignedInText = 18168;
constexpr int kProviderNotesLinkText = 18169;

QLabel* AddLabel(QWidget* page, const CDialogUnits& du, int id, const char* text, int x, int y,
                 int w, int h) {
    auto* label = new QLabel(text, page);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, label, id, x, y, w, h);
    return label;
}

QLineEdit* AddEdit(QWidget* page, const CDialogUnits& du, int id, int x, int y, int w, int h) {
    auto* edit = new QLineEdit(page);
    PlaceControl(du, edit, id, x, y, w, h);
    return edit;
}
} // namespace

CAddAccountPage::CAddAccountPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : QWidget(parent), app_(app), tests_(std::make_unique<CAccountTestRunner>(app, this)) {
    CDialogUnits du(font());
    setFixedSize(du.Size(332, 177));

    AddLabel(this, du, 1005, "Mail Server", 65, 7, 68, 12);
    type_ = new QComboBox(this);
    type_->addItems({"IMAP", "POP3"});
    PlaceControl(du, type_, 1004, 139, 7, 103, 13);
    AddLabel(this, du, 1025, "Sign-in", 57, 22, 103, 12);
    signIn_ = new QComboBox(this);
    signIn_->addItems({"Password", "OAuth 2.0"});
    PlaceControl(du, signIn_, 1026, 171, 22, 103, 13);
    AddLabel(this, du, 1007, "Incoming mail server", 57, 38, 103, 12);
    server_ = AddEdit(this, du, 1006, 171, 38, 103, 12);
    AddLabel(this, du, 1009, "Account Name", 57, 61, 103, 12);
    accountName_ = AddEdit(this, du, 1014, 171, 60, 103, 12);
    AddLabel(this, du, 1011, "User Name", 57, 84, 103, 10);
    user_ = AddEdit(this, du, 1008, 171, 82, 103, 12);
    passwordLabel_ = AddLabel(this, du, 1015, "Password", 57, 105, 103, 12);
    password_ = AddEdit(this, du, 1010, 171, 104, 103, 12);
    password_->setEchoMode(QLineEdit::Password);
    remember_ = new QCheckBox("Remember Password For This Account", this);
    PlaceControl(du, remember_, 1013, 57, 129, 189, 10);
    secretLabel_ = AddLabel(this, du, 1027, "Client Secret", 57, 124, 103, 12);
    secret_ = AddEdit(this, du, 1028, 171, 124, 103, 12);
    secret_->setEchoMode(QLineEdit::Password);
    signInButton_ = new QPushButton("Sign In...", this);
    PlaceControl(du, signInButton_, 1029, 278, 103, 50, 14);
    providerNote_ = AddLabel(this, du, 1030, "", 57, 166, 270, 10);
    providerNote_->setTextFormat(Qt::RichText);
    passwordPlace_ = AddLabel(this, du, 1024, "", 57, 140, 270, 10);
    addButton_ = new QPushButton(ToQString(EnglishDefault(kFirstTextId + 6)), this);
    PlaceControl(du, addButton_, 1023, 57, 151, 102, 14);
    testButton_ = new QPushButton("Test Account Settings", this);
    PlaceControl(du, testButton_, 1012, 172, 151, 102, 14);
    addButton_->setEnabled(false);
    testButton_->setEnabled(false);

    for (QLineEdit* edit : {server_, user_, password_, secret_})
        connect(edit, &QLineEdit::textChanged, this, &CAddAccountPage::UpdateAccountButtons);
    for (QLineEdit* edit : {server_, user_})
        connect(edit, &QLineEdit::textChanged, this, &CAddAccountPage::ApplyProfile);
    connect(type_, &QComboBox::currentIndexChanged, this, [this] {
        ApplyProfile();
        UpdateAccountButtons();
    });
    connect(signIn_, &QComboBox::currentIndexChanged, this, [this] {
        ApplySignInMode();
        UpdateAccountButtons();
    });
    // Only the user's own choice of sign-in outlasts the profile's.
    connect(signIn_, &QComboBox::activated, this, [this] { signInChosen_ = true; });
    connect(signInButton_, &QPushButton::clicked, this, &CAddAccountPage::OpenSignIn);
    // An address of a known provider, with no server typed yet, names its server.
    connect(user_, &QLineEdit::editingFinished, this, [this] {
        const ProviderProfile* profile = ProfileForServer(FromQString(user_->text()));
        if (profile && server_->text().isEmpty())
            server_->setText(
                ToQString(ProfileServer(*profile, type_->currentIndex() == kPop3Index)));
    });
    connect(providerNote_, &QLabel::linkActivated, this, &CAddAccountPage::ShowProviderNotes);
    connect(remember_, &QCheckBox::clicked, this, &CAddAccountPage::UpdateAccountButtons);
    connect(addButton_, &QPushButton::clicked, this, &CAddAccountPage::AddOrChangeAccount);
    connect(testButton_, &QPushButton::clicked, this, &CAddAccountPage::StartAccountTest);
    InstallNameFieldFilter(app_, server_, 'S', QString());
    InstallNameFieldFilter(app_, user_, 'U', QString());

    type_->setCurrentIndex(kImapIndex);
    signIn_->setCurrentIndex(kPasswordIndex);
    remember_->setChecked(true);
    changeOffset_ = -1;
    app_.LoadAccountList(nullptr, accountNames_);
    Localize();
}

CAddAccountPage::~CAddAccountPage() = default;

void CAddAccountPage::Localize() {
    LocalizeWindow(app_, this, kFirstTextId,
                   {1005, 1007, 1009, 1011, 1015, 1013, 1023, 1012, 1025, 1027, 1029});
    signIn_->setItemText(kPasswordIndex, LocalText(app_, kPasswordChoiceText));
    signIn_->setItemText(kOAuthIndex, LocalText(app_, kOAuthChoiceText));
    ApplySignInMode();
    ApplyProfile();
    // The button's localized text is its adding caption; in changing mode it
    // has to keep saying what it will do.
    if (changeOffset_ != -1)
        ShowChangeCaption();
}

void CAddAccountPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Localize();
}

void CAddAccountPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Localize();
}

bool CAddAccountPage::OAuthChosen() const {
    return signIn_->currentIndex() == kOAuthIndex;
}

// The password's place takes the client id: both are what the user brings
// to the login, and the page keeps its layout.
void CAddAccountPage::ApplySignInMode() {
    const bool oauth = OAuthChosen();
    passwordLabel_->setText(LocalText(app_, oauth ? kClientIdText : kFirstTextId + 4));
    password_->setEchoMode(oauth ? QLineEdit::Normal : QLineEdit::Password);
    remember_->setVisible(!oauth);
    for (QWidget* field : std::initializer_list<QWidget*>{secretLabel_, secret_, signInButton_})
        field->setVisible(oauth);
    if (!oauth)
        passwordPlace_->setText(
            LocalText(app_, app_.Keyring ? kKeptInKeyringText : kKeptInFileText));
}

// The provider of the server typed, else of the address typed as the user.
const ProviderProfile* CAddAccountPage::Profile() const {
    const ProviderProfile* profile = ProfileForServer(FromQString(server_->text()));
    return profile ? profile : ProfileForServer(FromQString(user_->text()));
}

std::vector<int> CAddAccountPage::ProviderNoteTexts(const ProviderProfile& profile) const {
    std::vector<int> ids = ProviderQuirkTexts(profile, type_->currentIndex() == kPop3Index);
    if (profile.OAuthOnly)
        ids.insert(ids.begin(), kProviderOAuthOnlyText);
    return ids;
}

void CAddAccountPage::ApplyProfile() {
    const ProviderProfile* profile = Profile();
    if (!profile) {
        providerNote_->clear();
        return;
    }
    // The line has room for the provider's name and the link to its habits.
    QString note = (LocalText(app_, kProviderServerBelongsText) + ToQString(profile->Name) + ".")
                       .toHtmlEscaped();
    if (!ProviderNoteTexts(*profile).empty())
        note =
            "<a href=\"notes\">" +
            (ToQString(profile->Name) + LocalText(app_, kProviderNotesLinkText)).toHtmlEscaped() +
            "</a>";
    providerNote_->setText(note);
    // A new account of a provider that takes no passwords starts on the
    // sign-in it needs; a change keeps what the user chose.
    if (changeOffset_ == -1 && !signInChosen_ && profile->OAuthOnly && !OAuthChosen() &&
        password_->text().isEmpty())
        signIn_->setCurrentIndex(kOAuthIndex);
}

void CAddAccountPage::ShowProviderNotes() {
    const ProviderProfile* profile = Profile();
    if (!profile)
        return;
    QString text;
    for (int id : ProviderNoteTexts(*profile))
        text += (text.isEmpty() ? "" : "\n\n") + LocalText(app_, id);
    OpenMessage(this, QMessageBox::Information, ToQString(profile->Name), text);
}

bool CAddAccountPage::SignedIn() const {
    OAuthAccount stored;
    return ReadOAuthAccount(
               app_.DataFilePath(kOAuthFileName), type_->currentIndex() == kPop3Index ? 'P' : 'I',
               FromQString(server_->text()), FromQString(user_->text()), stored) == 1 &&
           !stored.RefreshToken.empty() &&
           stored.Client.ClientId == FromQString(password_->text()) &&
           stored.Client.ClientSecret == FromQString(secret_->text());
}

void CAddAccountPage::OpenSignIn() {
    OAuthAccount account;
    account.Type = type_->currentIndex() == kPop3Index ? 'P' : 'I';
    account.Server = FromQString(server_->text());
    account.User = FromQString(user_->text());
    // Addresses the user set for this account before are kept; a known
    // provider's fill the rest.
    OAuthAccount stored;
    if (ReadOAuthAccount(app_.DataFilePath(kOAuthFileName), account.Type, account.Server,
                         account.User, stored) == 1)
        account.Client = stored.Client;
    account.Client.ClientId = FromQString(password_->text());
    account.Client.ClientSecret = FromQString(secret_->text());
    auto* dialog = new COAuthSignInDialog(app_, account, QString(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { UpdateAccountButtons(); });
    dialog->open();
}

void CAddAccountPage::UpdateAccountButtons() {
    const bool server = !server_->text().isEmpty();
    const bool user = !user_->text().isEmpty();
    const bool password = !password_->text().isEmpty();
    if (OAuthChosen()) {
        signInButton_->setEnabled(server && user && password);
        const bool signedIn = server && user && password && SignedIn();
        addButton_->setEnabled(signedIn);
        testButton_->setEnabled(signedIn);
        passwordPlace_->setText(LocalText(app_, !signedIn      ? kNotSignedInText
                                                : app_.Keyring ? kSignedInKeyringText
                                                               : kSignedInFileText));
        return;
    }
    if (server && user && password) {
        addButton_->setEnabled(true);
        testButton_->setEnabled(true);
    } else if (server && user) {
        // Without a password an account can only be stored as "ask me".
        addButton_->setEnabled(!remember_->isChecked());
        testButton_->setEnabled(false);
    } else {
        addButton_->setEnabled(false);
        testButton_->setEnabled(false);
    }
}

void CAddAccountPage::AddOrChangeAccount() {
    const int typeIndex = type_->currentIndex();
    const std::string user = FromQString(user_->text());
    const std::string name = FromQString(accountName_->text());
    if (changeOffset_ == -1 &&
        std::find(accountNames_.begin(), accountNames_.end(), name) != accountNames_.end()) {
        ShowMessage(this, QMessageBox::Critical, kApplicationTitle,
                    ToQString(name) + LocalText(app_, 17015));
        accountName_->setFocus(Qt::OtherFocusReason);
        accountName_->selectAll();
        return;
    }
    const std::string server = FromQString(server_->text());
    const bool oauth = OAuthChosen();
    std::string password = oauth ? kOAuthPasswordMarker : FromQString(password_->text());
    for (QLineEdit* edit : {user_, accountName_, server_, password_, secret_})
        edit->clear();
    addButton_->setEnabled(false);
    testButton_->setEnabled(false);
    if (!oauth && !remember_->isChecked())
        password.clear(); // stored as "*": the check asks for it
    // The record being changed: its keyring entry goes once no live record
    // points at it any more.
    AccountRecord old;
    const bool changing =
        changeOffset_ != -1 &&
        ReadAccountRecordAt(app_.DataFilePath(kAccountFileName), changeOffset_, old);
    if (changeOffset_ != -1) {
        app_.MarkAccountRecordDead(changeOffset_);
        changeOffset_ = -1;
    }
    const int written =
        app_.AppendAccountRecord(typeIndex != kImapIndex, name, server, user, password);
    if (changing)
        app_.ForgetUnusedAccountPassword(old.Pop3 ? 'P' : 'I', old.AccountName, old.ServerName,
                                         old.UserName);
    // A sign-in that no account uses any more is not kept.
    const char typeLetter = typeIndex != kImapIndex ? 'P' : 'I';
    if (changing && old.Password == kOAuthPasswordMarker &&
        (!oauth || typeLetter != (old.Pop3 ? 'P' : 'I') || server != old.ServerName ||
         user != old.UserName))
        app_.ForgetOAuthSignIn(old.Pop3 ? 'P' : 'I', old.ServerName, old.UserName);
    changeOffset_ = -1;
    signInChosen_ = false;
    addButton_->setText(LocalText(app_, kFirstTextId + 6));
    if (written == 0)
        OpenMessage(this, QMessageBox::Warning, kApplicationTitle,
                    LocalText(app_, kKeyringRefusedText));
}

void CAddAccountPage::SetFieldsEnabled(bool enabled) {
    for (QWidget* field : std::initializer_list<QWidget*>{type_, signIn_, server_, user_, password_,
                                                          secret_, accountName_, signInButton_})
        field->setEnabled(enabled);
}

void CAddAccountPage::StartAccountTest() {
    TestServerName = FromQString(server_->text());
    TestUserName = FromQString(user_->text());
    // An OAuth 2.0 account is tested with its stored sign-in.
    TestPassword =
        OAuthChosen() ? std::string(kOAuthPasswordMarker) : FromQString(password_->text());
    SetFieldsEnabled(false);
    auto* testing = new CTestingDialog(app_, this);
    testing->move(0, 0);
    testing->raise();
    testing->show();
    QPointer<CTestingDialog> testingWindow(testing);
    // The type chosen decides the dialogue: an IMAP account is tested with
    // the IMAP login on the IMAP port.
    tests_->Start(TestServerName, TestUserName, TestPassword, type_->currentIndex() == kImapIndex,
                  [this, testingWindow](int, const AccountTestMessage& message) {
                      if (testingWindow) {
                          testingWindow->hide();
                          delete testingWindow.data();
                      }
                      SetFieldsEnabled(true);
                      OpenMessage(this, message.Icon, message.Caption, message.Text);
                  });
}

void CAddAccountPage::ShowChangeCaption() {
    addButton_->setText(kChangeCaption);
}

void CAddAccountPage::FillFromRecord(const AccountRecord& record) {
    type_->setCurrentIndex(record.Pop3 ? kPop3Index : kImapIndex);
    accountName_->setText(ToQString(record.AccountName));
    server_->setText(ToQString(record.ServerName));
    user_->setText(ToQString(record.UserName));
    secret_->clear();
    if (record.Password == kOAuthPasswordMarker) {
        OAuthAccount stored;
        ReadOAuthAccount(app_.DataFilePath(kOAuthFileName), record.Pop3 ? 'P' : 'I',
                         record.ServerName, record.UserName, stored);
        signIn_->setCurrentIndex(kOAuthIndex);
        password_->setText(ToQString(stored.Client.ClientId));
        secret_->setText(ToQString(stored.Client.ClientSecret));
        UpdateAccountButtons();
        return;
    }
    signIn_->setCurrentIndex(kPasswordIndex);
    if (record.Password == "*") {
        remember_->setChecked(false);
        password_->clear();
        testButton_->setEnabled(false);
    } else {
        const std::string password =
            app_.AccountPassword(record.Pop3 ? 'P' : 'I', record.AccountName, record.ServerName,
                                 record.UserName, record.Password);
        remember_->setChecked(true);
        password_->setText(ToQString(password));
        if (password.empty()) {
            // The keyring gave nothing: the change needs the password typed
            // again (or no password remembered), never an empty one stored.
            passwordPlace_->setText(LocalText(app_, kKeyringGaveNothingText));
            UpdateAccountButtons();
            return;
        }
        testButton_->setEnabled(true);
    }
    addButton_->setEnabled(true);
}
