#pragma once
// What the friends page and the blocked page share: the rows of one sender
// list file, each carrying its line's offset, with Add, Delete of the
// selected rows and, where the list allows it, in-place editing of a row.
// The rows are rebuilt from the file at every show and hide, so their
// offsets are always those of the current file.
#include <QString>
#include <QWidget>
#include <string>

class CAddSenderDialog;
class CFilterApp;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

struct SenderPageTraits {
    const char* FileName;
    int Width, Height, ListWidth; // dialog units
    const char* GroupCaption;
    int FirstTextId;         // page captions, from control 1005 on
    int HeaderTextId;        // column header on every show and hide
    const char* FirstHeader; // the header before the first show; null: the
                             // localized header
    bool Editable;           // labels editable in place
};

class CSenderListPage : public QWidget {
    Q_OBJECT
  protected:
    // The first load: it also fills the filter's in-memory list.
    CSenderListPage(CFilterApp& app, const SenderPageTraits& traits, QWidget* parent);

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Load();
    void LocalizeAndReload();
    void AppendRow(const QString& text, qint64 offset);
    void AddSender();
    void DeleteSelected();
    void OnClick(int row);
    void OnDoubleClick(int row);
    void FinishEdit(QTableWidgetItem* item, const QString& typed);

    CFilterApp& app_;
    const SenderPageTraits traits_;
    QTableWidget* list_;
    QPushButton* delete_;
    CAddSenderDialog* addDialog_;
    int hitRow_ = -1; // the row of the last click or double click
};
