#include "ui/history_dialog.h"

#include "app/core/blocked_sender.h"
#include "app/core/filter_app.h"
#include "app/core/learned_corrections.h"
#include "app/core/restore.h"
#include "app/core/restore_texts.h"
#include "filter/learned_texts.h"
#include "store/english_texts.h"
#include "ui/dialog_units.h"
#include "ui/history_model.h"
#include "ui/history_row_builder.h"
#include "ui/mail_body_dialog.h"
#include "ui/message_box.h"
#include "ui/report_list.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTableView>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace {
constexpr int kFirstHeaderTextId = 8009;
constexpr size_t kColumnCount = 5;
const std::vector<int> kControls = {kTitlePseudoId, 1005, 1056, 1057, 1058, 1054, 1052, 1047, 1007};

QDateEdit* CreatePicker(QWidget* parent) {
    auto* picker = new QDateEdit(parent);
    picker->setCalendarPopup(true);
    // The locale's short format, with the year in full: a two-digit year
    // typed into the picker would be read in the wrong century.
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains("yyyy"))
        format.replace("yy", "yyyy");
    picker->setDisplayFormat(format);
    return picker;
}

// Three halves of a text's width: the viewer's own measure for its columns.
int WidthValue(const QFontMetrics& metrics, const QString& text) {
    return 3 * metrics.horizontalAdvance(text) / 2;
}

} // namespace

QMessageBox* MakeUnblockQuestion(CFilterApp& app, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::Question, LocalText(app, 8000),
                                LocalText(app, kTextUnblockQuestion),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box->setDefaultButton(QMessageBox::Yes);
    return box;
}

CHistoryDialog::CHistoryDialog(CFilterApp& app, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      app_(app) {
    setWindowTitle("Mail History");
    const CDialogUnits du(font());
    setFixedSize(du.Size(346, 262));

    PlaceControl(du, new QLabel("Show events", this), 1005, 7, 7, 60, 8);
    PlaceControl(du, new QGroupBox(this), 0, 7, 16, 160, 24);
    modes_ = new QButtonGroup(this);
    const std::array<std::pair<int, const char*>, 3> radios = {
        {{1056, "Before"}, {1057, "Between"}, {1058, "After"}}};
    const std::array<int, 3> radioX = {13, 63, 118};
    for (size_t i = 0; i < radios.size(); ++i) {
        auto* radio = new QRadioButton(radios[i].second, this);
        PlaceControl(du, radio, radios[i].first, radioX[i], 24, 46, 10);
        modes_->addButton(radio, static_cast<int>(i));
    }
    first_ = CreatePicker(this);
    PlaceControl(du, first_, 1050, 175, 22, 78, 14);
    second_ = CreatePicker(this);
    PlaceControl(du, second_, 1051, 261, 22, 78, 14);
    auto* note = new QLabel("After and before including starting date", this);
    note->setAlignment(Qt::AlignCenter);
    PlaceControl(du, note, 1007, 175, 8, 164, 8);

    model_ = new CHistoryModel(this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    SetReportStyle(view_);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    PlaceControl(du, view_, 1026, 7, 46, 332, 170);

    showMessage_ = new QPushButton("&Show Message", this);
    showMessage_->setAutoDefault(false);
    PlaceControl(du, showMessage_, 1054, 7, 222, 62, 14);
    clearHistory_ = new QPushButton("&Clear History", this);
    clearHistory_->setAutoDefault(false);
    PlaceControl(du, clearHistory_, 1052, 74, 222, 62, 14);
    restore_ = new QPushButton("&Restore", this);
    restore_->setAutoDefault(false);
    PlaceControl(du, restore_, 1060, 141, 222, 62, 14);
    saveAs_ = new QPushButton("Sa&ve as...", this);
    saveAs_->setAutoDefault(false);
    PlaceControl(du, saveAs_, 1061, 208, 222, 62, 14);
    auto* close = new QPushButton("Cl&ose", this);
    close->setDefault(true);
    PlaceControl(du, close, 1047, 277, 222, 62, 14);

    // Corrections of the learned score, on the selected row's mail.
    markSpam_ = new QPushButton("This is &spam", this);
    markSpam_->setAutoDefault(false);
    PlaceControl(du, markSpam_, 1062, 7, 240, 96, 14);
    markHam_ = new QPushButton("This is &not spam", this);
    markHam_->setAutoDefault(false);
    PlaceControl(du, markHam_, 1063, 108, 240, 96, 14);

    bodyDialog_ = new CMailBodyDialog(app_, this);

    connect(modes_, &QButtonGroup::idClicked, this, &CHistoryDialog::OnModeChanged);
    connect(first_, &QDateEdit::dateChanged, this, &CHistoryDialog::Refill);
    connect(second_, &QDateEdit::dateChanged, this, &CHistoryDialog::Refill);
    auto* hits = new CRowHitFilter(view_);
    connect(hits, &CRowHitFilter::Clicked, this, &CHistoryDialog::OnClick);
    connect(hits, &CRowHitFilter::DoubleClicked, this, &CHistoryDialog::OnDoubleClick);
    connect(showMessage_, &QPushButton::clicked, this, &CHistoryDialog::ShowMessage);
    connect(clearHistory_, &QPushButton::clicked, this, &CHistoryDialog::ClearHistory);
    connect(restore_, &QPushButton::clicked, this, &CHistoryDialog::RestoreSelected);
    connect(saveAs_, &QPushButton::clicked, this, &CHistoryDialog::SaveSelected);
    connect(markSpam_, &QPushButton::clicked, this, [this] { CorrectSelected(true); });
    connect(markHam_, &QPushButton::clicked, this, [this] { CorrectSelected(false); });
    connect(close, &QPushButton::clicked, this, [this] { done(1); });
}

void CHistoryDialog::Initialise() {
    const LocalDateTime now = app_.Clock();
    pickerTime_ = now;
    const QDate today(now.Year, now.Month, now.Day);
    for (QDateEdit* picker : {first_, second_}) {
        const QSignalBlocker quiet(picker);
        picker->setDate(today);
    }
    second_->setEnabled(false);
    modes_->button(0)->setChecked(true);
    mode_ = HistoryMode::Before;
    showMessage_->setEnabled(false);
    clearHistory_->setEnabled(false);
    rememberedRow_ = -1;
    UpdateCopyButtons();

    QStringList headers;
    const QFontMetrics headerMetrics(view_->horizontalHeader()->font());
    for (size_t c = 0; c < kColumnCount; ++c) {
        const QString header = ToQString(EnglishDefault(kFirstHeaderTextId + static_cast<int>(c)));
        headers << header;
        columnWidths_[c] = WidthValue(headerMetrics, header);
        view_->setColumnWidth(static_cast<int>(c), 100);
    }
    model_->SetHeaders(headers);
    model_->Clear();
    FillHistoryList();
}

int CHistoryDialog::Run() {
    Initialise();
    return exec();
}

void CHistoryDialog::reject() {}

LocalDateTime CHistoryDialog::PickerValue(const QDateEdit* picker) const {
    const QDate date = picker->date();
    LocalDateTime value = pickerTime_;
    value.Year = date.year();
    value.Month = date.month();
    value.Day = date.day();
    return value;
}

// Rows for every listed record of the history as it is now; column widths
// only grow.
void CHistoryDialog::FillHistoryList() {
    const LocalDateTime d1 = PickerValue(first_);
    const LocalDateTime d2 = mode_ == HistoryMode::Between ? PickerValue(second_) : d1;
    CHistoryRowBuilder builder(app_, view_->font(), mode_, d1, d2);
    std::vector<HistoryRow> rows;
    const auto history = app_.GetHistorySnapshot();
    // Copies are matched against the whole history, so that identical
    // records take the same copies whatever the date rule lists.
    const std::vector<BinnedMessage> bin = ListRecycleBin(RecycleBinDir(app_));
    const std::vector<std::string> copies = MatchBinnedCopies(history, bin);
    std::unordered_set<std::string> imapCopies;
    for (const BinnedMessage& binned : bin)
        if (binned.Type == 'I')
            imapCopies.insert(binned.FileName);
    rowCopies_.clear();
    for (size_t i = 0; i < history.size(); ++i) {
        HistoryRow row;
        if (!builder.Build(history[i], row, columnWidths_))
            continue;
        rows.push_back(std::move(row));
        rowCopies_.push_back({copies[i], imapCopies.count(copies[i]) > 0});
    }
    if (!rows.empty())
        clearHistory_->setEnabled(true);
    model_->SetRows(std::move(rows));
    for (size_t c = 0; c + 1 < columnWidths_.size(); ++c)
        view_->setColumnWidth(static_cast<int>(c), columnWidths_[c] & 0xFFFF);
}

// A refill forgets the remembered row, so "Show Message" can only ever show
// a row of the list as it is now.
void CHistoryDialog::Refill() {
    rememberedRow_ = -1;
    showMessage_->setEnabled(false);
    UpdateCopyButtons();
    model_->Clear();
    FillHistoryList();
}

void CHistoryDialog::OnModeChanged() {
    second_->setEnabled(false);
    const int checked = modes_->checkedId();
    if (checked == 1) {
        mode_ = HistoryMode::Between;
        second_->setEnabled(true);
    } else {
        mode_ = checked == 2 ? HistoryMode::After : HistoryMode::Before;
    }
    Refill();
}

void CHistoryDialog::OnClick(int row) {
    rememberedRow_ = row;
    showMessage_->setEnabled(row >= 0);
    UpdateCopyButtons();
}

void CHistoryDialog::OnDoubleClick(int row) {
    rememberedRow_ = row;
    UpdateCopyButtons();
    if (row >= 0)
        ShowMessage();
}

std::string CHistoryDialog::CopyOfRow(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rowCopies_.size()
               ? rowCopies_[static_cast<size_t>(row)].FileName
               : std::string();
}

// Only a deleted mail whose copy is in the bin, and not while a restore runs.
void CHistoryDialog::UpdateCopyButtons() {
    const bool copy = !restoring_ && !CopyOfRow(rememberedRow_).empty();
    restore_->setEnabled(copy);
    saveAs_->setEnabled(copy);
    const bool row = model_->Row(rememberedRow_) != nullptr;
    markSpam_->setEnabled(row);
    markHam_->setEnabled(row);
}

// Learned on the window thread: the lesson is a few thousand counts, and
// the classifier's own lock is never held while anyone waits for the user.
void CHistoryDialog::CorrectSelected(bool spam) {
    const HistoryRow* row = model_->Row(rememberedRow_);
    if (!row)
        return;
    std::string status;
    const int result =
        CorrectLearnedScore(app_, *row->Entry, CopyOfRow(rememberedRow_), spam, status);
    if (result < 0)
        OpenMessage(this, QMessageBox::Warning, windowTitle(), ShownText(status));
}

QString CHistoryDialog::ScoreText(const HistoryEntry& entry, const std::string& copy) {
    CTokenClassifier& learned = app_.LearnedScore.Classifier();
    const double score = learned.Score(HistoryEntryTokens(app_, entry, copy));
    const std::string label =
        app_.GetLocalizedText(kTextScoreLabel, EnglishDefault(kTextScoreLabel));
    std::string text = label + " " + std::to_string(static_cast<int>(score * 100 + 0.5)) + "%";
    if (learned.Trained())
        text += " (" + app_.GuessText(learned.Guess(score)) + ")";
    return ShownText(text);
}

void CHistoryDialog::RestoreSelected() {
    const HistoryRow* row = model_->Row(rememberedRow_);
    const std::string file = CopyOfRow(rememberedRow_);
    if (!row || file.empty() || restoring_)
        return;
    if (!rowCopies_[static_cast<size_t>(rememberedRow_)].Imap) {
        SaveSelected(); // POP3 cannot put mail back
        return;
    }
    // Left on the list, the sender's mail would be deleted again at the next check.
    const std::string sender = row->Entry->From;
    if (IsSenderBlocked(app_, sender)) {
        std::unique_ptr<QMessageBox> question(MakeUnblockQuestion(app_, this));
        const int answer = question->exec();
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::Yes)
            UnblockSender(app_, sender);
    }
    restoring_ = true;
    UpdateCopyButtons();
    CFilterApp& app = app_;
    QPointer<CHistoryDialog> self(this);
    try {
        std::thread([&app, file, self] {
            std::string status;
            const int result = RestoreBinnedCopy(app, file, status);
            // The window may be gone by then: the answer goes to the
            // application and finds it, or nothing, on the window thread.
            QMetaObject::invokeMethod(
                qApp,
                [self, result, text = ShownText(status)] {
                    if (self)
                        self->OnRestoreEnded(result, text);
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) {
        restoring_ = false;
        UpdateCopyButtons();
    }
}

void CHistoryDialog::OnRestoreEnded(int result, const QString& status) {
    restoring_ = false;
    OpenMessage(this, result > 0 ? QMessageBox::Information : QMessageBox::Warning, windowTitle(),
                status);
    // The restored copy has left the bin: its row loses the buttons.
    Refill();
}

void CHistoryDialog::SaveSelected() {
    const HistoryRow* row = model_->Row(rememberedRow_);
    const std::string file = CopyOfRow(rememberedRow_);
    if (!row || file.empty())
        return;
    // A name from the subject, without what a file name cannot hold.
    QString name = ToQString(row->Entry->Subject).left(60).trimmed();
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]")), "_");
    const QString suggested =
        QDir::home().filePath((name.isEmpty() ? QStringLiteral("mail") : name) + ".eml");
    const QString path =
        SavePathProvider
            ? SavePathProvider(suggested)
            : QFileDialog::getSaveFileName(this, LocalText(app_, kTextSaveAsButton).remove('&'),
                                           suggested, LocalText(app_, kTextMailFileFilter));
    if (path.isEmpty())
        return;
    std::string status;
    const int result = SaveBinnedCopyAs(app_, file, FromQString(path), status);
    OpenMessage(this, result > 0 ? QMessageBox::Information : QMessageBox::Warning, windowTitle(),
                ShownText(status));
}

void CHistoryDialog::ShowMessage() {
    const HistoryRow* row = model_->Row(rememberedRow_);
    if (!row)
        return;
    std::string body = StripTags(row->Entry->Body);
    std::erase(body, '\r');
    bodyDialog_->Run(ToQString(body), ScoreText(*row->Entry, CopyOfRow(rememberedRow_)));
}

// No question first; the file and the in-memory history go in one step.
void CHistoryDialog::ClearHistory() {
    model_->Clear();
    rememberedRow_ = -1;
    clearHistory_->setEnabled(false);
    showMessage_->setEnabled(false);
    rowCopies_.clear();
    UpdateCopyButtons();
    app_.ClearHistory();
}

void CHistoryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CHistoryDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CHistoryDialog::Localize() {
    LocalizeWindow(app_, this, 8000, kControls);
    restore_->setText(LocalText(app_, kTextRestoreButton));
    restore_->setToolTip(LocalText(app_, kTextRestoreHelp));
    restore_->setWhatsThis(restore_->toolTip());
    saveAs_->setText(LocalText(app_, kTextSaveAsButton));
    saveAs_->setToolTip(LocalText(app_, kTextSaveAsHelp));
    saveAs_->setWhatsThis(saveAs_->toolTip());
    for (auto [button, textId] : {std::pair{markSpam_, 11044}, std::pair{markHam_, 11045}}) {
        button->setText(LocalText(app_, textId));
        button->setToolTip(LocalText(app_, 11046));
    }
    QStringList headers;
    for (size_t c = 0; c < kColumnCount; ++c)
        headers << LocalText(app_, kFirstHeaderTextId + static_cast<int>(c));
    model_->SetHeaders(headers);
}
