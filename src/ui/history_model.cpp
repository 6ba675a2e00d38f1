#include "ui/history_model.h"

int CHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CHistoryModel::data(const QModelIndex& index, int role) const {
    const HistoryRow* row = index.isValid() ? Row(index.row()) : nullptr;
    if (!row || index.column() < 0 || index.column() >= kColumns)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return row->Cells[static_cast<size_t>(index.column())];
    return {};
}

QVariant CHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headers_.size())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CHistoryModel::SetHeaders(const QStringList& headers) {
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void CHistoryModel::SetRows(std::vector<HistoryRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

const HistoryRow* CHistoryModel::Row(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size())
        return nullptr;
    return &rows_[static_cast<size_t>(row)];
}
