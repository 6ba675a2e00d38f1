#pragma once
// "Mail History": the records of the history listed by a date rule (before,
// between, after), the body of one record, and "Clear History". Modal; owned
// by the options page and reused for every "History Report", each run
// starting afresh.
//
// The history is read through the core's snapshot, never under AppLock;
// while the window is open it shows the records as of its last fill.
#include "platform/date_time.h"
#include "ui/history_rules.h"

#include <QDialog>
#include <array>

class CFilterApp;
class CHistoryModel;
class CMailBodyDialog;
class QButtonGroup;
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
    CMailBodyDialog* bodyDialog_;

    HistoryMode mode_ = HistoryMode::Before;
    int rememberedRow_ = -1;
    std::array<int, 5> columnWidths_{};
    LocalDateTime pickerTime_; // only the time of day is used
};
