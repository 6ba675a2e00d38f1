#pragma once
// The tray icon: shown while Drossgate runs (when the user wants it), a
// click shows the main window, its menu offers Show, Check Now, Dry Run and
// Quit, its tooltip says what the last check did. Qt speaks the desktop's
// StatusNotifierItem protocol where a tray host runs.
//
// Thread: the window thread.
#include <QObject>
#include <functional>

class CFilterApp;
class QMenu;
class QSystemTrayIcon;

struct TrayActions {
    std::function<void()> Show;
    std::function<void()> CheckNow;
    std::function<void()> DryRun;
    std::function<void()> Quit;
};

class CTrayIcon : public QObject {
    Q_OBJECT
  public:
    CTrayIcon(CFilterApp& app, TrayActions actions, QObject* parent = nullptr);
    ~CTrayIcon() override;
    // Shows or hides the icon. Where the desktop has no tray, showing says so
    // once on standard error; the program goes on without it.
    void SetShown(bool shown);
    void SetToolTip(const QString& text);
    QSystemTrayIcon& Icon() { return *icon_; }
    QMenu& Menu() { return *menu_; }

  private:
    void Localize();

    CFilterApp& app_;
    TrayActions actions_;
    QMenu* menu_;
    QSystemTrayIcon* icon_;
    bool saidNoTray_ = false;
};
