#pragma once
// "New User": asks what to do with a sender on neither list, showing the
// mail's subject, its first lines and what the learned score thinks of it, so
// the user does not answer blind. Topmost, with no owner, so it stays in
// front while the user works elsewhere. Each button
// ends it with its own id as the answer: 1 Friend (also Return), 2 Block
// (also Escape and the close box), 5 Ignore.
#include <QDialog>
#include <string>

class CFilterApp;
struct NewSenderQuestion;

class CNewSenderDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kFriend = 1;
    static constexpr int kBlock = 2;
    static constexpr int kIgnore = 5;

    CNewSenderDialog(CFilterApp& app, const NewSenderQuestion& question, QWidget* parent = nullptr);

  public slots:
    void accept() override { done(kFriend); }
    void reject() override { done(kBlock); }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();

    CFilterApp& app_;
    class QLabel* guess_;
    std::string guessText_;
};
