#pragma once
// The user name and password prompt of a mail session, and the window side
// of the core's login question.
#include "app/core/prompts.h"

#include <QDialog>
#include <string>

class CFilterApp;
class QLineEdit;

class CLoginDialog : public QDialog {
    Q_OBJECT
  public:
    CLoginDialog(CFilterApp& app, const LoginPromptData& data, QWidget* parent = nullptr);

    std::string Title, Password, UserName;

  public slots:
    void accept() override; // OK: takes the values typed in

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();
    CFilterApp& app_;
    QLineEdit* user_;
    QLineEdit* password_;
};

class CLoginPrompt : public ILoginPrompt {
  public:
    explicit CLoginPrompt(CFilterApp& app) : app_(app) {}
    // Called on a session thread (or the account test's); opens the dialog
    // on the window thread and blocks until it is answered. Without a window
    // system, or while the program quits, the answer is Cancel.
    int AskLogin(LoginPromptData& data) override;

  private:
    CFilterApp& app_;
};
