#pragma once
// "Add new spam word": an expression and its degree. Modal; owned by the
// spam words page and reused for every "Add".
#include <QDialog>
#include <string>

class CFilterApp;
class QLineEdit;
class QPushButton;

class CAddSpamWordDialog : public QDialog {
    Q_OBJECT
  public:
    CAddSpamWordDialog(CFilterApp& app, QWidget* parent);

    // Empties the edits and runs the dialog; QDialog::Accepted with the
    // results below filled.
    int Run();

    std::string Word; // as typed, not trimmed
    int Value = 0;    // the degree; an empty edit reads as 0

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();

    CFilterApp& app_;
    QLineEdit* wordEdit_;
    QLineEdit* valueEdit_;
    QPushButton* ok_;
};
