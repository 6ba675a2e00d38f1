#pragma once
// "Mail History": the records of the history listed by a date rule (before,
// between, after), the body of one record, and "Clear History". Modal; owned
// by the options page and reused for every "History Report", each run
// starting afresh.
//
// The history is read through the core's snapshot, never under AppLock;
// while the window is open it shows the records as of its last fill.
//
// "Restore" and "Save as..." take a deleted mail's copy out of the recycle
// bin: back into its IMAP inbox on a worker thread (the window thread never
// waits on a server), or into an .eml file. POP3 cannot put mail back, so
// Restore of a POP3 mail saves it.
#include "platform/date_time.h"
#include "ui/history_rules.h"

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

class CFilterApp;
class CHistoryModel;
class CMailBodyDialog;
struct HistoryEntry;
class QButtonGroup;
class QMessageBox;
class QDateEdit;
class QPushButton;
class QTableView;

class CHistoryDialog : public QDialog {
    Q_OBJECT
  public:
    CHistoryDialog(CFilterApp& app, QWidget* parent);

    // What every opening does: "Before", both pickers on today with the time
    // of day of this moment, the columns as wide as their headers, a fresh
    // fill.
    void Initialise();
    // Initialise and run modally; 1 when closed with "Cl&ose".
    int Run();

    HistoryMode Mode() const { return mode_; }
    CHistoryModel* Model() const { return model_; }

    // Where "Save as..." writes: asks with a file dialog unless set (tests).
    // Gets the suggested path, returns the chosen one or empty for Cancel.
    std::function<QString(const QString& suggested)> SavePathProvider;
    // The copy in the bin of the list's row `row`; empty when there is none.
    std::string CopyOfRow(int row) const;

  public slots:
    void reject() override; // Escape does nothing

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void FillHistoryList();
    void Refill();
    void OnModeChanged();
    void OnClick(int row);
    void OnDoubleClick(int row);
    void ShowMessage();
    void ClearHistory();
    void RestoreSelected();
    void SaveSelected();
    void OnRestoreEnded(int result, const QString& status);
    void UpdateCopyButtons();
    void CorrectSelected(bool spam);
    QString ScoreText(const HistoryEntry& entry, const std::string& copy);
    void Localize();
    LocalDateTime PickerValue(const QDateEdit* picker) const;

    CFilterApp& app_;
    QButtonGroup* modes_;
    QDateEdit* first_;
    QDateEdit* second_;
    QTableView* view_;
    CHistoryModel* model_;
    QPushButton* showMessage_;
    QPushButton* clearHistory_;
    QPushButton* restore_;
    QPushButton* saveAs_;
    QPushButton* markSpam_;
    QPushButton* markHam_;
    CMailBodyDialog* bodyDialog_;

    HistoryMode mode_ = HistoryMode::Before;
    int rememberedRow_ = -1;
    // Per row of the list: the file name of its copy in the bin (or empty)
    // and whether that copy is an IMAP mail.
    struct RowCopy {
        std::string FileName;
        bool Imap = false;
    };
    std::vector<RowCopy> rowCopies_;
    bool restoring_ = false; // a restore runs on its worker thread
    std::array<int, 5> columnWidths_{};
    LocalDateTime pickerTime_; // only the time of day is used
};

// The question before a mail of a blocked sender is restored: Yes takes the
// sender off the blocked list, No restores it anyway, Cancel does nothing.
QMessageBox* MakeUnblockQuestion(CFilterApp& app, QWidget* parent);
