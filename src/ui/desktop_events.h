#pragma once
// What Drossgate tells the desktop: the tray icon's tooltip, and a
// notification when a question waits while the main window is hidden, when a
// check deleted spam (one for the whole check), and when an account's login
// is refused (once, until it logs in again). Each follows its setting.
//
// Threads: CheckEnded comes from a check's thread and is handed to the
// window thread; everything else runs there.
#include "app/core/check_report.h"

#include <QObject>
#include <QString>
#include <map>
#include <string>

class CDesktopNotifier;
class CFilterApp;
class CTrayIcon;
class QWidget;
struct NewSenderQuestion;
struct TrayActions;

class CDesktopEvents : public QObject, public ICheckEvents {
    Q_OBJECT
  public:
    CDesktopEvents(CFilterApp& app, QWidget& mainWindow, const TrayActions& actions,
                   QObject* parent = nullptr);
    ~CDesktopEvents() override;

    void CheckEnded(const CheckSummary& summary) override;
    // A new-sender question opened (question set) or one was answered (null).
    void QuestionChanged(const NewSenderQuestion* opened);
    // The settings changed: show or hide the tray icon.
    void ApplySettings();

    CTrayIcon& Tray() { return *tray_; }
    QString ToolTipText() const;

  private:
    void ShowCheck(const CheckSummary& summary);

    CFilterApp& app_;
    QWidget& mainWindow_;
    CTrayIcon* tray_;
    CDesktopNotifier* notifier_;
    CheckSummary last_;
    // Told already, by account: until the cause changes or it logs in again.
    std::map<std::string, LoginProblem> toldProblems_;
};
