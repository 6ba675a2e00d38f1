#pragma once
// The small "Testing in progress" window that covers the add page's corner
// while an account test runs. One per test.
#include <QFrame>

class CFilterApp;

class CTestingDialog : public QFrame {
    Q_OBJECT
  public:
    CTestingDialog(CFilterApp& app, QWidget* parent);
};
