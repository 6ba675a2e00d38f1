#pragma once
// The spam words page: the entries of SpamWordList, Add (into the list at
// once), Delete (of rows only) and "Save List" (the rows back into the list).
// Its construction, once at start-up, is also the one build of the filter's
// spam-word tables.
#include <QWidget>

class CAddSpamWordDialog;
class CFilterApp;
class CMainDialog;
class QPushButton;
class QTableWidget;

class CSpamWordsPage : public QWidget {
    Q_OBJECT
  public:
    CSpamWordsPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void AppendRow(const std::string& expression, const std::string& degreeText, int degree);
    void AddWord();
    void DeleteSelected();
    void SaveList();
    void Localize();

    CFilterApp& app_;
    QTableWidget* list_;
    QPushButton* delete_;
    CAddSpamWordDialog* addDialog_;
};
