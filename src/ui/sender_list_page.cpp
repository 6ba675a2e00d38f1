#include "ui/sender_list_page.h"

#include "app/core/filter_app.h"
#include "store/sender_list.h"
#include "ui/add_sender_dialog.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"
#include "ui/report_list.h"
#include "ui/sender_entry_check.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <functional>

namespace {
constexpr int kOffsetRole = Qt::UserRole;
constexpr qint64 kNoLine = -1; // a row whose entry the file could not take

// Hands the typed text of an in-place edit to the page instead of writing it
// into the row: the page decides what the row keeps. Called only when the
// edit is committed (Return or focus lost), not when it is cancelled.
class CLabelEditDelegate : public QStyledItemDelegate {
  public:
    using Commit = std::function<void(const QModelIndex&, const QString&)>;
    CLabelEditDelegate(QObject* parent, Commit commit)
        : QStyledItemDelegate(parent), commit_(std::move(commit)) {}
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            commit_(index, edit->text());
    }

  private:
    Commit commit_;
};
} // namespace

CSenderListPage::CSenderListPage(CFilterApp& app, const SenderPageTraits& traits, QWidget* parent)
    : QWidget(parent), app_(app), traits_(traits) {
    const CDialogUnits du(font());
    setFixedSize(du.Size(traits_.Width, traits_.Height));
    PlaceControl(du, new QGroupBox(traits_.GroupCaption, this), 1005, 31, 0, 268, 148);
    // The friends list starts with a fixed header, the blocked list with its
    // localized one.
    const QString firstHeader =
        traits_.FirstHeader ? QString(traits_.FirstHeader) : LocalText(app_, traits_.HeaderTextId);
    list_ = CreateReportList(this, {firstHeader}, true);
    PlaceControl(du, list_, 1026, 39, 11, traits_.ListWidth, 131);
    list_->setColumnWidth(0, width() - 45);
    auto* add = new QPushButton("Add", this);
    PlaceControl(du, add, 1023, 64, 152, 97, 14);
    delete_ = new QPushButton("Delete", this);
    PlaceControl(du, delete_, 1017, 179, 152, 97, 14);
    delete_->setEnabled(false);

    connect(add, &QPushButton::clicked, this, &CSenderListPage::AddSender);
    connect(delete_, &QPushButton::clicked, this, &CSenderListPage::DeleteSelected);
    auto* hits = new CRowHitFilter(list_);
    connect(hits, &CRowHitFilter::Clicked, this, &CSenderListPage::OnClick);
    connect(hits, &CRowHitFilter::DoubleClicked, this, &CSenderListPage::OnDoubleClick);
    if (traits_.Editable) {
        list_->setItemDelegate(
            new CLabelEditDelegate(list_, [this](const QModelIndex& index, const QString& typed) {
                // After the editor has closed: the check may show a message box.
                QPointer<QTableWidget> list = list_;
                QPersistentModelIndex where(index);
                QTimer::singleShot(0, this, [this, list, where, typed] {
                    if (list && where.isValid())
                        FinishEdit(list->item(where.row(), 0), typed);
                });
            }));
    }

    addDialog_ = new CAddSenderDialog(app_, this);
    Load();
    hide(); // pages start hidden; the main window shows one at a time
}

void CSenderListPage::Load() {
    std::vector<CFilterApp::SenderRow> rows;
    app_.LoadSenderList(&rows, traits_.FileName);
    for (const auto& row : rows)
        AppendRow(ToQString(row.DisplayText), row.Offset);
}

void CSenderListPage::AppendRow(const QString& text, qint64 offset) {
    auto* item = new QTableWidgetItem(text);
    item->setData(kOffsetRole, offset);
    Qt::ItemFlags flags = item->flags();
    item->setFlags(traits_.Editable ? flags | Qt::ItemIsEditable : flags & ~Qt::ItemIsEditable);
    const int row = list_->rowCount();
    list_->insertRow(row);
    list_->setItem(row, 0, item);
}

void CSenderListPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        LocalizeAndReload();
}

void CSenderListPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        LocalizeAndReload();
}

// Every show and hide: captions, header, and the rows afresh from the file
// (which appends the file's live entries to the filter's lists again).
void CSenderListPage::LocalizeAndReload() {
    LocalizeWindow(app_, this, traits_.FirstTextId, {1005, 1023, 1017});
    list_->horizontalHeaderItem(0)->setText(LocalText(app_, traits_.HeaderTextId));
    list_->setRowCount(0);
    hitRow_ = -1;
    Load();
}

void CSenderListPage::AddSender() {
    if (addDialog_->Run() != QDialog::Accepted)
        return;
    const std::string& name = addDialog_->SenderName;
    const std::string& domain = addDialog_->DomainName;
    const uint32_t offset = app_.AppendSender(traits_.FileName, name, domain);
    AppendRow(ToQString(SenderDisplayText(name, domain)),
              offset == kSenderNotWritten ? kNoLine : static_cast<qint64>(offset));
}

void CSenderListPage::DeleteSelected() {
    for (;;) {
        const QModelIndexList selected = list_->selectionModel()->selectedRows();
        if (selected.isEmpty())
            break;
        int first = selected.front().row();
        for (const QModelIndex& index : selected)
            first = std::min(first, index.row());
        const qint64 offset = list_->item(first, 0)->data(kOffsetRole).toLongLong();
        if (offset != kNoLine)
            app_.MarkSenderDeleted(traits_.FileName, offset);
        list_->removeRow(first);
    }
    hitRow_ = -1;
    delete_->setEnabled(false);
}

void CSenderListPage::OnClick(int row) {
    hitRow_ = row;
    delete_->setEnabled(row >= 0);
}

// Only a list with editable labels opens the editor.
void CSenderListPage::OnDoubleClick(int row) {
    hitRow_ = row;
    if (row < 0 || !traits_.Editable)
        return;
    list_->editItem(list_->item(row, 0));
}

// The edit changes the row only; the file and the filter keep the entry,
// and the next reload shows the file's entry again.
void CSenderListPage::FinishEdit(QTableWidgetItem* item, const QString& typed) {
    if (!item)
        return;
    const QString saved = item->text(); // the editor never wrote into the row
    item->setText(typed);
    QString completed;
    const SenderEditCheck check = CheckAndCompleteSenderText(typed, completed);
    if (check == SenderEditCheck::InvalidName || check == SenderEditCheck::InvalidDomain) {
        const std::string text = LocalBytes(app_, 17016);
        const std::string caption = check == SenderEditCheck::InvalidName
                                        ? LocalBytes(app_, 17017)
                                        : app_.GetLocalizedText(17018, "Invalid domain name");
        ShowMessage(this, QMessageBox::Critical, ShownText(caption), ShownText(text));
        item->setText(saved);
        return;
    }
    item->setText(completed);
}
