#pragma once
// Runs a check when an edit field loses the focus to another control of its
// window, the way the pages validate a field on leaving it.
//
// A check that shows a message box and puts the focus back on its field
// moves the focus itself; those moves must not start another check, or two
// fields with bad values would hand the focus back and forth forever. So no
// check starts while another one runs (one guard for the whole window
// thread), and leaving the window as a whole (another window, the check's
// own message box, a popup) is not leaving the field.
#include <QObject>
#include <functional>

class QLineEdit;

class CFocusLossCheck : public QObject {
    Q_OBJECT
  public:
    // Installs itself on `field`, which owns it.
    CFocusLossCheck(QLineEdit* field, std::function<void()> check);

    // True while a check runs on the window thread.
    static bool Running();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Run();

    std::function<void()> check_;
};

// Gives `field` the focus back and selects all of its text.
void RefocusAndSelectAll(QLineEdit* field);
