#pragma once
// Page 0 of the main window: the description page. It only shows the text
// that the main window puts into it.
#include <QWidget>

class CFilterApp;
class CMainDialog;
class QPlainTextEdit;

class CLevelsPage : public QWidget {
    Q_OBJECT
  public:
    CLevelsPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
    void SetDescription(const QString& text);
    QString Description() const;

  private:
    QPlainTextEdit* text_;
};
