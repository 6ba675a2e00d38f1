#pragma once
#include <QDialog>

class CFilterApp;

// Plain main window; the navigation tree and pages replace it.
class CMainDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CMainDialog(CFilterApp& app, QWidget* parent = nullptr);

  private:
    CFilterApp& app_;
};
