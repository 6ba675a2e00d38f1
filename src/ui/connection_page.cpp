#include "ui/connection_page.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/focus_loss_check.h"
#include "ui/message_box.h"
#include "ui/widget_localizer.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {
constexpr int kFirstTextId = 5001;
constexpr int kMinCheckInterval = 5;
constexpr int kMaxServerTimeout = 3;

QLabel* AddLabel(QWidget* page, const CDialogUnits& du, int id, const char* text, int x, int y,
                 int w) {
    auto* label = new QLabel(text, page);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, label, id, x, y, w, 12);
    return label;
}

QLineEdit* AddNumberEdit(QWidget* page, const CDialogUnits& du, int id, int x, int y) {
    auto* edit = new QLineEdit(page);
    edit->setAlignment(Qt::AlignCenter);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    PlaceControl(du, edit, id, x, y, 50, 12);
    return edit;
}
} // namespace

int ReadSignedInt(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

CConnectionPage::CConnectionPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : QWidget(parent), app_(app) {
    CDialogUnits du(font());
    setFixedSize(du.Size(332, 177));

    // Group boxes first, so the controls they frame lie above them.
    PlaceControl(du, new QGroupBox("Server Port Numbers", this), 1005, 40, 8, 252, 58);
    PlaceControl(du, new QGroupBox("Durations", this), 1011, 40, 74, 252, 58);
    AddLabel(this, du, 1007, "POP3 port", 56, 24, 90);
    pop3Port_ = AddNumberEdit(this, du, 1018, 150, 24);
    AddLabel(this, du, 1009, "IMAP port", 56, 44, 90);
    imapPort_ = AddNumberEdit(this, du, 1019, 150, 44);
    AddLabel(this, du, 1015, "Connection Timeout", 56, 90, 90);
    timeout_ = AddNumberEdit(this, du, 1021, 150, 90);
    AddLabel(this, du, 1016, "minutes", 206, 90, 70);
    AddLabel(this, du, 1017, "Check mail every", 56, 110, 90);
    interval_ = AddNumberEdit(this, du, 1022, 150, 110);
    AddLabel(this, du, 1006, "minutes", 206, 110, 70);
    auto* defaults = new QPushButton("Store Defaults", this);
    PlaceControl(du, defaults, 1020, 57, 146, 102, 14);
    auto* save = new QPushButton("Save Settings", this);
    PlaceControl(du, save, 1036, 172, 146, 102, 14);

    connect(defaults, &QPushButton::clicked, this, &CConnectionPage::StoreDefaults);
    connect(save, &QPushButton::clicked, this, &CConnectionPage::SaveSettings);
    new CFocusLossCheck(interval_, [this] { CheckIntervalBound(); });
    new CFocusLossCheck(timeout_, [this] { ServerTimeoutBound(); });

    // Filled once; later showings keep what the edits hold.
    ShowValues(app_.Pop3Port.load(), app_.ImapPort.load(), app_.ServerTimeout.load(),
               app_.CheckInterval.load());
}

void CConnectionPage::ShowValues(int pop3Port, int imapPort, int timeout, int interval) {
    pop3Port_->setText(QString::number(pop3Port));
    imapPort_->setText(QString::number(imapPort));
    timeout_->setText(QString::number(timeout));
    interval_->setText(QString::number(interval));
}

void CConnectionPage::StoreDefaults() {
    app_.Pop3Port = 110;
    app_.ImapPort = 143;
    app_.ServerTimeout = 3;
    app_.CheckInterval = 5;
    ShowValues(110, 143, 3, 5);
}

void CConnectionPage::SaveSettings() {
    app_.Pop3Port = ReadSignedInt(pop3Port_->text());
    app_.ImapPort = ReadSignedInt(imapPort_->text());
    app_.ServerTimeout = ReadSignedInt(timeout_->text());
    app_.CheckInterval = ReadSignedInt(interval_->text());
}

void CConnectionPage::CheckIntervalBound() {
    if (ReadSignedInt(interval_->text()) >= kMinCheckInterval)
        return;
    ShowMessage(this, QMessageBox::Information, kApplicationTitle, LocalText(app_, 17019));
    RefocusAndSelectAll(interval_);
}

void CConnectionPage::ServerTimeoutBound() {
    if (ReadSignedInt(timeout_->text()) <= kMaxServerTimeout)
        return;
    ShowMessage(this, QMessageBox::Information, kApplicationTitle, LocalText(app_, 17020));
    RefocusAndSelectAll(timeout_);
}

void CConnectionPage::Localize() {
    LocalizeWindow(app_, this, kFirstTextId,
                   {1005, 1007, 1009, 1011, 1015, 1016, 1017, 1006, 1020, 1036});
}

void CConnectionPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Localize();
}

void CConnectionPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Localize();
}
