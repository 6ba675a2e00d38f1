#pragma once
// The rows of the history viewer: one per listed record, five text cells,
// and the record itself for its body. A model, so that a history of a
// hundred thousand records is listed without a widget per cell.
#include "filter/history_entry.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

struct HistoryRow {
    std::shared_ptr<const HistoryEntry> Entry;
    std::array<QString, 5> Cells; // date, from, subject, status, reason
};

class CHistoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 5;

    explicit CHistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetHeaders(const QStringList& headers);
    const QStringList& Headers() const { return headers_; }
    void SetRows(std::vector<HistoryRow> rows);
    void Clear() { SetRows({}); }
    // Null for a row that is not there.
    const HistoryRow* Row(int row) const;

  private:
    QStringList headers_;
    std::vector<HistoryRow> rows_;
};
