#pragma once
// Page 4: the POP3 and IMAP ports, the server time-out and the check
// interval. Edits the application's fields only ("Save Settings"); the
// settings file gets them when the main window closes.
#include <QWidget>

class CFilterApp;
class CMainDialog;
class QLineEdit;

class CConnectionPage : public QWidget {
    Q_OBJECT
  public:
    CConnectionPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);

    void StoreDefaults();
    void SaveSettings();
    void CheckIntervalBound(); // leaving edit 1022
    void ServerTimeoutBound(); // leaving edit 1021

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();
    void ShowValues(int pop3Port, int imapPort, int timeout, int interval);

    CFilterApp& app_;
    QLineEdit* pop3Port_;
    QLineEdit* imapPort_;
    QLineEdit* timeout_;
    QLineEdit* interval_;
};

// An edit's text as a signed 32-bit number; empty or unreadable text
// (anything but an optional "-" and decimal digits, or out of range) is 0.
int ReadSignedInt(const QString& text);
