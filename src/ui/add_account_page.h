#pragma once
// Page 1: adds an account to the account file, changes the one that the
// change page hands over, and tests the settings typed in.
//
// An account signs in with a password or with OAuth 2.0. With OAuth 2.0 the
// password field takes the user's own client id, a secret field appears,
// and "Sign In..." runs the browser sign-in; the account can be added once
// a sign-in for exactly this type, server, user and client is stored. A
// server (or address) of a known provider shows what that provider does
// with the mail Drossgate deletes.
//
// Two modes: adding (ChangeOffset -1, button "Add Account") and changing
// (ChangeOffset = the record's offset, button "Change Account"). A successful
// add or change returns to adding.
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CAccountTestRunner;
class CFilterApp;
class CMainDialog;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct AccountRecord;
struct ProviderProfile;

class CAddAccountPage : public QWidget {
    Q_OBJECT
  public:
    CAddAccountPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
    ~CAddAccountPage() override;

    void UpdateAccountButtons();
    void AddOrChangeAccount();
    void StartAccountTest();

    // The change page's hand-over: the record to change, then its fields.
    void SetChangeOffset(int64_t offset) { changeOffset_ = offset; }
    int64_t ChangeOffset() const { return changeOffset_; }
    void ShowChangeCaption();
    void FillFromRecord(const AccountRecord& record);

    // Copies of the fields that a test starts with; the test thread gets its own.
    std::string TestServerName, TestUserName, TestPassword;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    bool OAuthChosen() const;

  private:
    void Localize();
    void ApplySignInMode();
    void ApplyProfile();
    void ShowProviderNotes();
    const ProviderProfile* Profile() const;
    std::vector<int> ProviderNoteTexts(const ProviderProfile& profile) const;
    void OpenSignIn();
    bool SignedIn() const;
    void SetFieldsEnabled(bool enabled);
    void OnTestFinished(int result, const QString& caption, const QString& text);

    CFilterApp& app_;
    int64_t changeOffset_ = -1;
    bool signInChosen_ = false;             // the user picked the sign-in for this account
    std::vector<std::string> accountNames_; // loaded once, when the page is created
    QComboBox* type_;
    QComboBox* signIn_;
    QLineEdit* server_;
    QLineEdit* accountName_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* remember_;
    QLabel* passwordLabel_;
    QLabel* secretLabel_;
    QLineEdit* secret_;
    QPushButton* signInButton_;
    QLabel* providerNote_;
    QLabel* passwordPlace_; // where a remembered password is kept
    QPushButton* addButton_;
    QPushButton* testButton_;
    std::unique_ptr<CAccountTestRunner> tests_;
};
