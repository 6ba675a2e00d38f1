#pragma once
// What the change page and the delete page share: the list of the account
// file's live records (name or server, type), each row carrying its record's
// offset, rebuilt from the file at every show and hide; and one button that
// a click on a row enables and a click beside the rows disables.
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class CFilterApp;
class QPushButton;
class QTableWidget;

struct AccountListTraits {
    int ButtonId;
    const char* ButtonCaption;
    int FirstTextId; // the button's caption; the two column headers follow
    bool MultiSelect;
};

class CAccountListPage : public QWidget {
    Q_OBJECT
  public:
    QTableWidget* List() const { return list_; }
    QPushButton* Button() const { return button_; }

  protected:
    CAccountListPage(CFilterApp& app, const AccountListTraits& traits, QWidget* parent);
    virtual void OnButton() = 0;
    // The record offsets of the selected rows, top to bottom.
    std::vector<int64_t> SelectedOffsets() const;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    CFilterApp& app_;

  private:
    void Load();
    void Reload();

    const AccountListTraits traits_;
    QTableWidget* list_;
    QPushButton* button_;
    std::vector<std::string> accountNames_; // filled by the loads; the pages do not use it
};
