#include "ui/options_page.h"

#include "app/core/filter_app.h"
#include "platform/numconv.h"
#include "store/english_texts.h"
#include "store/sender_list.h"
#include "ui/dialog_units.h"
#include "ui/history_dialog.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <array>

namespace {
// An extension's bytes as stored, so that saving keeps them exactly.
constexpr int kExtensionRole = Qt::UserRole;
constexpr int kIgnoreSender = 3; // the button id whose choice enables the note
constexpr int kJudgeOnceHelpTextId = 11018;
constexpr int kRecycleBinHelpTextId = 11023;
constexpr int kDryRunHelpTextId = 11024;

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

COptionsPage::COptionsPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : QWidget(parent), app_(app) {
    historyDialog_ = new CHistoryDialog(app_, this);
    BuildControls();
    LoadFields();
    hide(); // pages start hidden; the main window shows one at a time
}

void COptionsPage::BuildControls() {
    const CDialogUnits du(font());
    setFixedSize(du.Size(332, 177));

    PlaceControl(du, new QGroupBox("When New Sender is found", this), 1005, 7, 2, 150, 92);
    newSenderActions_ = new QButtonGroup(this);
    const std::array<const char*, 4> actions = {"Ask me what to do?", "Add to friend list",
                                                "Add to blocked list", "Ignore sender"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(actions[static_cast<size_t>(i)], this);
        PlaceControl(du, radio, 1038 + i, 15, 14 + 12 * i, 135, 10);
        newSenderActions_->addButton(radio, i);
    }
    note_ = new QLabel("NOTE: This option will cause mail  from this sender to be deleted even it "
                       "isn't a spam.",
                       this);
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note_->setEnabled(false);
    PlaceControl(du, note_, 1007, 15, 63, 135, 28);

    PlaceControl(du, new QGroupBox("Filtering Options", this), 1009, 7, 97, 150, 48);
    PlaceControl(du, new QLabel("Max attachment size (KB)", this), 1011, 15, 111, 92, 8);
    sizeEdit_ = CreateNumberEdit(this);
    PlaceControl(du, sizeEdit_, 1028, 110, 109, 40, 12);
    PlaceControl(du, new QLabel("Mail Life Time in days", this), 1015, 15, 128, 92, 8);
    lifeTimeEdit_ = CreateNumberEdit(this);
    PlaceControl(du, lifeTimeEdit_, 1049, 110, 126, 40, 12);
    judgeOnce_ = new QCheckBox("Judge each message only once", this);
    PlaceControl(du, judgeOnce_, 1050, 15, 150, 140, 10);
    dryRun_ = new QCheckBox("Dry run: judge, but delete nothing", this);
    PlaceControl(du, dryRun_, 1056, 15, 163, 140, 10);

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
}

void COptionsPage::CompactDataFiles() {
    app_.CompactDataFile(kFriendListFileName, kSenderDeletedMarker);
    app_.CompactDataFile(kBlockedListFileName, kSenderDeletedMarker);
    app_.CompactDataFile(kAccountFileName, kAccountDeletedMarker);
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
    judgeOnce_->setToolTip(help(kJudgeOnceHelpTextId));
    binDaysEdit_->setToolTip(help(kRecycleBinHelpTextId));
    dryRun_->setToolTip(help(kDryRunHelpTextId));
}
