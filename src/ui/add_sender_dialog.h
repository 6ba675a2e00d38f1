#pragma once
// "Add Sender": a sender name (or "*" for a whole domain) and a domain for
// one of the sender lists. Modal; owned by its list page and reused.
#include <QDialog>
#include <string>

class CFilterApp;
class QLineEdit;

class CAddSenderDialog : public QDialog {
    Q_OBJECT
  public:
    CAddSenderDialog(CFilterApp& app, QWidget* parent);

    // Empties the edits and runs the dialog; QDialog::Accepted when the
    // fields below hold a valid entry.
    int Run();

    std::string SenderName; // "*" when the name was left empty
    std::string DomainName;

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();

    CFilterApp& app_;
    QLineEdit* nameEdit_;
    QLineEdit* domainEdit_;
};
