#include "ui/options_page.h"

#include "app/core/filter_app.h"
#include "filter/learned_texts.h"
#include "filter/levels.h"
#include "platform/numconv.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/user_dirs.h"
#include "store/autostart_entry.h"
#include "store/english_texts.h"
#include "store/sender_list.h"
#include "ui/dialog_units.h"
#include "ui/history_dialog.h"
#include "ui/learn_runner.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QTabBar>
#include <array>

namespace {
// An extension's bytes as stored, so that saving keeps them exactly.
constexpr int kExtensionRole = Qt::UserRole;
constexpr int kIgnoreSender = 3; // the button id whose choice enables the note
constexpr int kJudgeOnceHelpTextId = 11018;
constexpr int kRecycleBinHelpTextId = 11023;
constexpr int kDryRunHelpTextId = 11024;
constexpr int kDecideHelpTextId = 11042;
constexpr int kLearnHelpTextId = 11043;

constexpr int kPageHeight = 214;
constexpr int kTabBarHeight = 16;
constexpr int kTabsId = 1060;
constexpr int kLanguageHelpTextId = 11069;
constexpr int kAutostartFailedTextId = 11070;
constexpr int kLanguageFailedTextId = 11071;
constexpr int kLanguageOwnNameTextId = 11060;

struct LearnChoice {
    int TextId;
    bool Spam;
    bool Mbox;
};
constexpr std::array<LearnChoice, 4> kLearnChoices = {
    {{11047, true, false}, {11048, true, true}, {11049, false, false}, {11050, false, true}}};

// A radio button does not wrap its text: break it at the blank nearest the
// middle when it is wider than the button.
void WrapToTwoLines(QAbstractButton* button, int width) {
    QString text = button->text().simplified();
    if (button->fontMetrics().horizontalAdvance(text) + 24 <= width)
        return;
    qsizetype best = -1;
    for (qsizetype at = text.indexOf(' '); at >= 0; at = text.indexOf(' ', at + 1))
        if (best < 0 || std::abs(at - text.size() / 2) < std::abs(best - text.size() / 2))
            best = at;
    if (best >= 0)
        text[best] = '\n';
    button->setText(text);
}

QLineEdit* CreateNumberEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    return edit;
}

void AddExtensionItem(QListWidget* list, const std::string& extension) {
    auto* item = new QListWidgetItem(ToQString(extension));
    item->setData(kExtensionRole, QByteArray::fromStdString(extension));
    list->addItem(item); // at its sorted place
}
} // namespace

COptionsPage::COptionsPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent)
    : QWidget(parent), app_(app), mainDialog_(mainDialog) {
    historyDialog_ = new CHistoryDialog(app_, this);
    learnRunner_ = std::make_unique<CLearnRunner>(app_, this);
    BuildControls();
    LoadFields();
    hide(); // pages start hidden; the main window shows one at a time
}

void COptionsPage::BuildControls() {
    const CDialogUnits du(font());
    setFixedSize(du.Size(332, kPageHeight));
    // Two tabs: the mail rules as they always were, and the desktop. The
    // controls stay the page's own children, each tab showing its set.
    tabs_ = new QTabBar(this);
    tabs_->addTab("Mail");
    tabs_->addTab("Desktop");
    PlaceControl(du, tabs_, kTabsId, 0, 0, 332, kTabBarHeight);

    PlaceControl(du, new QGroupBox("When New Sender is found", this), 1005, 7, 2, 150, 114);
    newSenderActions_ = new QButtonGroup(this);
    const std::array<const char*, 4> actions = {"Ask me what to do?", "Add to friend list",
                                                "Add to blocked list", "Ignore sender"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(actions[static_cast<size_t>(i)], this);
        PlaceControl(du, radio, 1038 + i, 15, 14 + 12 * i, 135, 10);
        newSenderActions_->addButton(radio, i);
    }
    // Two lines: the text is longer than the column is wide.
    decideByLearned_ = new QRadioButton(this);
    PlaceControl(du, decideByLearned_, 1057, 15, 62, 140, 20);
    newSenderActions_->addButton(decideByLearned_, kNewSenderDecideByLearned);
    note_ = new QLabel("NOTE: This option will cause mail  from this sender to be deleted even it "
                       "isn't a spam.",
                       this);
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note_->setEnabled(false);
    PlaceControl(du, note_, 1007, 15, 85, 135, 28);

    PlaceControl(du, new QGroupBox("Filtering Options", this), 1009, 7, 119, 150, 48);
    PlaceControl(du, new QLabel("Max attachment size (KB)", this), 1011, 15, 133, 92, 8);
    sizeEdit_ = CreateNumberEdit(this);
    PlaceControl(du, sizeEdit_, 1028, 110, 131, 40, 12);
    PlaceControl(du, new QLabel("Mail Life Time in days", this), 1015, 15, 150, 92, 8);
    lifeTimeEdit_ = CreateNumberEdit(this);
    PlaceControl(du, lifeTimeEdit_, 1049, 110, 148, 40, 12);
    judgeOnce_ = new QCheckBox("Judge each message only once", this);
    PlaceControl(du, judgeOnce_, 1050, 15, 172, 140, 10);
    dryRun_ = new QCheckBox("Dry run: judge, but delete nothing", this);
    PlaceControl(du, dryRun_, 1056, 15, 185, 140, 10);

    learn_ = new QPushButton("Learn from mail...", this);
    PlaceControl(du, learn_, 1058, 163, 175, 78, 14);
    learnProgress_ = new QProgressBar(this);
    learnProgress_->setTextVisible(true);
    learnProgress_->hide();
    PlaceControl(du, learnProgress_, 1059, 247, 175, 78, 14);
    auto* learnMenu = new QMenu(learn_);
    for (const auto& [textId, spam, mbox] : kLearnChoices) {
        QAction* action = learnMenu->addAction(QString());
        action->setData(textId);
        connect(action, &QAction::triggered, this,
                [this, spam, mbox] { LearnFromMail(spam, mbox); });
    }
    learn_->setMenu(learnMenu);

    PlaceControl(du, new QGroupBox("Recycle Bin", this), 1051, 163, 76, 162, 38);
    PlaceControl(du, new QLabel("Keep deleted mail (days)", this), 1052, 171, 88, 92, 8);
    binDaysEdit_ = CreateNumberEdit(this);
    PlaceControl(du, binDaysEdit_, 1053, 267, 86, 50, 12);
    PlaceControl(du, new QLabel("At most (MB)", this), 1054, 171, 101, 92, 8);
    binSizeEdit_ = CreateNumberEdit(this);
    PlaceControl(du, binSizeEdit_, 1055, 267, 99, 50, 12);

    PlaceControl(du, new QGroupBox("Melacious Files", this), 1016, 163, 2, 162, 72);
    extensionEdit_ = new QLineEdit(this);
    PlaceControl(du, extensionEdit_, 1046, 171, 14, 90, 12);
    addExtension_ = new QPushButton("Add", this);
    addExtension_->setEnabled(false);
    PlaceControl(du, addExtension_, 1043, 267, 13, 50, 14);
    deleteExtensions_ = new QPushButton("Delete", this);
    deleteExtensions_->setEnabled(false);
    PlaceControl(du, deleteExtensions_, 1044, 267, 31, 50, 14);
    extensions_ = new QListWidget(this);
    extensions_->setSortingEnabled(true);
    extensions_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    extensions_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceControl(du, extensions_, 1042, 171, 31, 90, 40);

    auto* save = new QPushButton("Save Settings", this);
    PlaceControl(du, save, 1047, 163, 117, 78, 24);
    auto* history = new QPushButton("History Report", this);
    PlaceControl(du, history, 1031, 247, 117, 78, 24);
    auto* compact = new QPushButton("Compact Data Files", this);
    PlaceControl(du, compact, 1045, 163, 146, 78, 24);
    auto* checkNow = new QPushButton("Check Now", this);
    PlaceControl(du, checkNow, 1037, 247, 146, 78, 24);

    const QObjectList built = children();
    BuildDesktopTab(du, this);
    for (QObject* child : children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control == tabs_ || control->isWindow())
            continue;
        control->move(control->x(), control->y() + du.Y(kTabBarHeight));
        if (control == learnProgress_)
            continue; // shown only while a training runs
        (built.contains(child) ? mailControls_ : desktopControls_).push_back(control);
    }
    connect(tabs_, &QTabBar::currentChanged, this, &COptionsPage::ShowTab);
    ShowTab(0);

    connect(newSenderActions_, &QButtonGroup::idClicked, this, &COptionsPage::UpdateNote);
    connect(extensionEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { addExtension_->setEnabled(!text.isEmpty()); });
    connect(addExtension_, &QPushButton::clicked, this, &COptionsPage::AddExtension);
    connect(extensions_, &QListWidget::itemSelectionChanged, this,
            [this] { deleteExtensions_->setEnabled(true); });
    connect(deleteExtensions_, &QPushButton::clicked, this, &COptionsPage::DeleteExtensions);
    connect(save, &QPushButton::clicked, this, &COptionsPage::SaveSettings);
    connect(checkNow, &QPushButton::clicked, this, [this] { app_.CheckNow(); });
    connect(history, &QPushButton::clicked, this, [this] { historyDialog_->Run(); });
    connect(compact, &QPushButton::clicked, this, &COptionsPage::CompactDataFiles);
}

void COptionsPage::BuildDesktopTab(const CDialogUnits& du, QWidget* tab) {
    PlaceControl(du, new QGroupBox("Desktop", tab), 1061, 7, 2, 318, 98);
    showTray_ = new QCheckBox("Show an icon in the system tray", tab);
    PlaceControl(du, showTray_, 1063, 15, 14, 300, 10);
    notifyQuestions_ = new QCheckBox("Notify me when a question waits", tab);
    PlaceControl(du, notifyQuestions_, 1064, 15, 28, 300, 10);
    notifyDeletions_ = new QCheckBox("Notify me when spam was deleted", tab);
    PlaceControl(du, notifyDeletions_, 1065, 15, 42, 300, 10);
    notifyLoginFailures_ = new QCheckBox("Notify me when an account cannot log in", tab);
    PlaceControl(du, notifyLoginFailures_, 1066, 15, 56, 300, 10);
    autostart_ = new QCheckBox("Start Drossgate when I log in", tab);
    PlaceControl(du, autostart_, 1067, 15, 76, 300, 10);

    PlaceControl(du, new QLabel("Language", tab), 1068, 15, 112, 60, 8);
    language_ = new QComboBox(tab);
    PlaceControl(du, language_, 1062, 80, 110, 120, 14);
    auto* save = new QPushButton("Save Settings", tab);
    PlaceControl(du, save, 1069, 247, 172, 78, 24);
    connect(save, &QPushButton::clicked, this, &COptionsPage::SaveSettings);
}

void COptionsPage::ShowTab(int index) {
    for (QWidget* control : mailControls_)
        control->setVisible(index == 0);
    for (QWidget* control : desktopControls_)
        control->setVisible(index == 1);
    learnProgress_->setVisible(index == 0 && !learn_->isEnabled());
}

// The language files of the data directory, each by its own name.
void COptionsPage::LoadLanguages() {
    language_->clear();
    const QDir folder(ToQString(app_.DataFilePath("Language")));
    const std::string current = app_.GetLanguageNameValue();
    for (const QFileInfo& file : folder.entryInfoList({"*.ini"}, QDir::Files, QDir::Name)) {
        const std::string name = FromQString(file.completeBaseName());
        const std::string ownName = GetPrivateProfileStringA(
            "Tarnwick", Itoa(kLanguageOwnNameTextId), name, 100, FromQString(file.filePath()));
        language_->addItem(ToQString(ownName), QByteArray::fromStdString(name));
        if (name == current)
            language_->setCurrentIndex(language_->count() - 1);
    }
}

// Once: later showings keep whatever the controls hold.
void COptionsPage::LoadFields() {
    for (const std::string& extension : *app_.ForbiddenExtensions.Get())
        AddExtensionItem(extensions_, extension);
    if (QAbstractButton* chosen = newSenderActions_->button(app_.NewSenderAction.load()))
        chosen->setChecked(true);
    UpdateNote();
    sizeEdit_->setText(QString::number(app_.MaxAttachmentSize.load()));
    lifeTimeEdit_->setText(QString::number(app_.MailLifeTime.load()));
    judgeOnce_->setChecked(app_.JudgeOnce.load());
    dryRun_->setChecked(app_.DryRun.load());
    binDaysEdit_->setText(QString::number(app_.RecycleBinDays.load()));
    binSizeEdit_->setText(QString::number(app_.RecycleBinMaxMB.load()));
    showTray_->setChecked(app_.ShowTrayIcon.load());
    notifyQuestions_->setChecked(app_.NotifyQuestions.load());
    notifyDeletions_->setChecked(app_.NotifyDeletions.load());
    notifyLoginFailures_->setChecked(app_.NotifyLoginFailures.load());
    autostart_->setChecked(AutostartEnabled());
    LoadLanguages();
    // HiddenOptionFlag would tick check box 1027, which the page does not have.
}

void COptionsPage::UpdateNote() {
    note_->setEnabled(newSenderActions_->checkedId() == kIgnoreSender);
}

// Taken as typed: no test for duplicates, dots or letter case.
void COptionsPage::AddExtension() {
    const std::string extension = FromQString(extensionEdit_->text());
    extensionEdit_->clear();
    AddExtensionItem(extensions_, extension);
    addExtension_->setEnabled(false);
}

void COptionsPage::DeleteExtensions() {
    qDeleteAll(extensions_->selectedItems());
    deleteExtensions_->setEnabled(false);
}

void COptionsPage::SaveSettings() {
    const int action = newSenderActions_->checkedId();
    if (action >= 0)
        app_.NewSenderAction = action;
    app_.HiddenOptionFlag = 0; // its check box 1027 is not on the page
    app_.MaxAttachmentSize = Atoi(FromQString(sizeEdit_->text()));
    app_.MailLifeTime = Atoi(FromQString(lifeTimeEdit_->text()));
    app_.JudgeOnce = judgeOnce_->isChecked();
    app_.DryRun = dryRun_->isChecked();
    app_.RecycleBinDays = std::max(0, Atoi(FromQString(binDaysEdit_->text())));
    // An empty or 0 size would empty the bin at the next check: the default instead.
    const int binSize = Atoi(FromQString(binSizeEdit_->text()));
    app_.RecycleBinMaxMB = binSize > 0 ? binSize : kDefaultRecycleBinMaxMB;
    binSizeEdit_->setText(QString::number(app_.RecycleBinMaxMB.load()));
    // Built whole, then swapped in: a running check sees the old list or the
    // new one, never a part of either.
    std::vector<std::string> extensions;
    for (int i = 0; i < extensions_->count(); ++i)
        extensions.push_back(
            extensions_->item(i)->data(kExtensionRole).toByteArray().toStdString());
    app_.ForbiddenExtensions.Set(std::move(extensions));
    SaveDesktopSettings();
}

void COptionsPage::SaveDesktopSettings() {
    app_.ShowTrayIcon = showTray_->isChecked();
    app_.NotifyQuestions = notifyQuestions_->isChecked();
    app_.NotifyDeletions = notifyDeletions_->isChecked();
    app_.NotifyLoginFailures = notifyLoginFailures_->isChecked();
    if (mainDialog_ && mainDialog_->DesktopSettingsChanged)
        mainDialog_->DesktopSettingsChanged();
    // The entry is the desktop's file, not a setting: written only on a change.
    std::string error;
    if (autostart_->isChecked() != AutostartEnabled() &&
        SetAutostart(autostart_->isChecked(), ExecutablePath(), error) != 1) {
        autostart_->setChecked(AutostartEnabled());
        OpenMessage(this, QMessageBox::Warning, kApplicationTitle,
                    LocalText(app_, kAutostartFailedTextId) + ToQString(error));
    }
    const std::string chosen = language_->currentData().toByteArray().toStdString();
    if (!chosen.empty() && chosen != app_.GetLanguageNameValue()) {
        if (RegSetValue("Language", chosen) != 1) {
            OpenMessage(this, QMessageBox::Warning, kApplicationTitle,
                        LocalText(app_, kLanguageFailedTextId));
        } else if (mainDialog_) {
            // The window the user looks at speaks the new language at once.
            mainDialog_->LocalizeMainWindow();
            Localize();
        }
    }
}

void COptionsPage::CompactDataFiles() {
    app_.CompactDataFile(kFriendListFileName, kSenderDeletedMarker);
    app_.CompactDataFile(kBlockedListFileName, kSenderDeletedMarker);
    app_.CompactDataFile(kAccountFileName, kAccountDeletedMarker);
}

COptionsPage::~COptionsPage() = default;

// The training runs on a thread; the page shows its progress and the result.
void COptionsPage::LearnFromMail(bool spam, bool mbox) {
    const QString path =
        mbox ? QFileDialog::getOpenFileName(this) : QFileDialog::getExistingDirectory(this);
    if (path.isEmpty())
        return;
    auto text = [this](int id) { return app_.GetLocalizedText(id, EnglishDefault(id)); };
    const std::string progressText = text(kTextLearnProgress);
    learn_->setEnabled(false);
    learnProgress_->setRange(0, 0);
    learnProgress_->show();
    const bool started = learnRunner_->Start(
        FromQString(path), spam,
        [this, progressText](long done, long total) {
            learnProgress_->setRange(0, static_cast<int>(std::min<long>(total, INT32_MAX)));
            learnProgress_->setValue(static_cast<int>(std::min<long>(done, INT32_MAX)));
            QString format = ShownText(progressText);
            learnProgress_->setFormat(
                format.replace("%1", QString::number(done)).replace("%2", QString::number(total)));
        },
        [this, text, spam, path](long read, const std::string& error) {
            learn_->setEnabled(true);
            learnProgress_->hide();
            std::string result = text(read > 0 ? kTextLearnDone : kTextLearnFailed);
            const std::string first = read > 0 ? std::to_string(read) : FromQString(path);
            if (const size_t at = result.find("%1"); at != std::string::npos)
                result.replace(at, 2, first);
            if (const size_t at = result.find("%2"); at != std::string::npos)
                result.replace(at, 2, text(spam ? kTextSpamKind : kTextHamKind));
            if (read <= 0 && !error.empty())
                result += "\n" + error;
            OpenMessage(this, read > 0 ? QMessageBox::Information : QMessageBox::Warning,
                        kApplicationTitle, ShownText(result));
        });
    if (!started)
        learn_->setEnabled(true);
}

void COptionsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void COptionsPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void COptionsPage::Localize() {
    LocalizeWindow(app_, this, 11001,
                   {1005, 1038, 1039, 1040, 1041, 1007, 1009, 1011, 1015, 1016, 1043, 1044, 1037,
                    1045, 1031, 1047, 1050});
    LocalizeWindow(app_, this, 11019, {1051, 1052, 1054, 1056});
    const auto help = [this](int id) {
        return ShownText(app_.GetLocalizedText(id, EnglishDefault(id)));
    };
    LocalizeWindow(app_, this, 11040, {1057, 1058});
    WrapToTwoLines(decideByLearned_, decideByLearned_->width());
    decideByLearned_->setToolTip(help(kDecideHelpTextId));
    learn_->setToolTip(help(kLearnHelpTextId));
    for (QAction* action : learn_->menu()->actions())
        action->setText(help(action->data().toInt()));
    judgeOnce_->setToolTip(help(kJudgeOnceHelpTextId));
    binDaysEdit_->setToolTip(help(kRecycleBinHelpTextId));
    dryRun_->setToolTip(help(kDryRunHelpTextId));
    LocalizeWindow(app_, this, 11062, {1061});
    LocalizeWindow(app_, this, 11016, {1069});
    tabs_->setTabText(0, LocalText(app_, 11061));
    tabs_->setTabText(1, LocalText(app_, 11062));
    LocalizeWindow(app_, this, 11063, {1063, 1064, 1065, 1066, 1067, 1068});
    language_->setToolTip(help(kLanguageHelpTextId));
}
