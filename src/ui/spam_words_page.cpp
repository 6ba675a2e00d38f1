#include "ui/spam_words_page.h"

#include "app/core/filter_app.h"
#include "filter/spam_tables.h"
#include "platform/numconv.h"
#include "ui/add_spam_word_dialog.h"
#include "ui/dialog_units.h"
#include "ui/report_list.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace {
constexpr int kDegreeRole = Qt::UserRole;
// The expression's bytes as stored, so that "Save List" writes back exactly
// what was loaded, whatever its encoding.
constexpr int kExpressionRole = Qt::UserRole + 1;
} // namespace

CSpamWordsPage::CSpamWordsPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : QWidget(parent), app_(app) {
    const CDialogUnits du(font());
    setFixedSize(du.Size(336, 177));
    addDialog_ = new CAddSpamWordDialog(app_, this);

    PlaceControl(du, new QGroupBox("Spam Words", this), 1005, 7, 0, 322, 148);
    list_ = CreateReportList(this, {"Expression", "Spam Degree"}, true);
    PlaceControl(du, list_, 1026, 15, 11, 306, 131);
    list_->setColumnWidth(0, 200);
    auto* add = new QPushButton("Add", this);
    PlaceControl(du, add, 1023, 40, 152, 80, 14);
    delete_ = new QPushButton("Delete", this);
    delete_->setEnabled(false);
    PlaceControl(du, delete_, 1017, 128, 152, 80, 14);
    auto* save = new QPushButton("Save List", this);
    PlaceControl(du, save, 1047, 216, 152, 80, 14);

    connect(add, &QPushButton::clicked, this, &CSpamWordsPage::AddWord);
    connect(delete_, &QPushButton::clicked, this, &CSpamWordsPage::DeleteSelected);
    connect(save, &QPushButton::clicked, this, &CSpamWordsPage::SaveList);
    auto* hits = new CRowHitFilter(list_);
    connect(hits, &CRowHitFilter::Clicked, this,
            [this](int row) { delete_->setEnabled(row >= 0); });

    // Entries without ">" are skipped here as in the tables, so that rows and
    // tables agree.
    const auto words = app_.SpamWordList.Get();
    for (const std::string& entry : *words) {
        SpamEntryParts parts;
        if (SplitSpamEntry(entry, parts) == 1)
            AppendRow(parts.Expression, parts.DegreeText, parts.Degree);
    }
    // The one build per run; the check timer starts after the pages exist.
    app_.BuildSpamWordTables();
    hide(); // pages start hidden; the main window shows one at a time
}

void CSpamWordsPage::AppendRow(const std::string& expression, const std::string& degreeText,
                               int degree) {
    const int row = list_->rowCount();
    list_->insertRow(row);
    auto* word = new QTableWidgetItem(ToQString(expression));
    word->setData(kDegreeRole, degree);
    word->setData(kExpressionRole, QByteArray::fromStdString(expression));
    list_->setItem(row, 0, word);
    list_->setItem(row, 1, new QTableWidgetItem(ToQString(degreeText)));
}

// The new entry reaches SpamWordList at once; the filter's tables keep what
// they were built with until the next start.
void CSpamWordsPage::AddWord() {
    if (addDialog_->Run() != QDialog::Accepted)
        return;
    const std::string value = Itoa(addDialog_->Value);
    AppendRow(addDialog_->Word, value, addDialog_->Value);
    std::vector<std::string> words = *app_.SpamWordList.Get();
    words.push_back(addDialog_->Word + ">" + value);
    app_.SpamWordList.Set(std::move(words));
}

// Rows only: SpamWordList keeps the entries until "Save List".
void CSpamWordsPage::DeleteSelected() {
    for (;;) {
        const QModelIndexList selected = list_->selectionModel()->selectedRows();
        if (selected.isEmpty())
            break;
        int first = selected.front().row();
        for (const QModelIndex& index : selected)
            first = std::min(first, index.row());
        list_->removeRow(first);
    }
    delete_->setEnabled(false);
}

// Degrees are written from the rows' numbers, so "05" is saved as "5".
void CSpamWordsPage::SaveList() {
    std::vector<std::string> words;
    words.reserve(static_cast<size_t>(list_->rowCount()));
    for (int row = 0; row < list_->rowCount(); ++row) {
        const QTableWidgetItem* word = list_->item(row, 0);
        words.push_back(word->data(kExpressionRole).toByteArray().toStdString() + ">" +
                        Itoa(word->data(kDegreeRole).toInt()));
    }
    app_.SpamWordList.Set(std::move(words));
}

void CSpamWordsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CSpamWordsPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CSpamWordsPage::Localize() {
    LocalizeWindow(app_, this, 13001, {1005, 1023, 1017, 1047});
    list_->horizontalHeaderItem(0)->setText(LocalText(app_, 13005));
    list_->horizontalHeaderItem(1)->setText(LocalText(app_, 13006));
}
