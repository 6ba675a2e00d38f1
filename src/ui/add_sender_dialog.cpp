#include "ui/add_sender_dialog.h"

#include "app/core/filter_app.h"
#include "store/english_texts.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"
#include "ui/name_field_filter.h"
#include "ui/sender_entry_check.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {
const std::vector<int> kControls = {kTitlePseudoId, 1005, 1007, 1009, 1, 2};
} // namespace

CAddSenderDialog::CAddSenderDialog(CFilterApp& app, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), app_(app) {
    setWindowTitle("Add Sender");
    const CDialogUnits du(font());
    setFixedSize(du.Size(232, 177));

    PlaceControl(du, new QLabel("Sender Name", this), 1005, 35, 35, 63, 8);
    nameEdit_ = new QLineEdit(this);
    PlaceControl(du, nameEdit_, 1032, 102, 33, 89, 14);
    PlaceControl(du, new QLabel("Domain Name", this), 1007, 35, 62, 63, 8);
    domainEdit_ = new QLineEdit(this);
    PlaceControl(du, domainEdit_, 1029, 102, 60, 89, 14);
    auto* help = new QLabel(ToQString(EnglishDefault(2003)), this);
    help->setWordWrap(true);
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceControl(du, help, 1009, 35, 81, 161, 41);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    PlaceControl(du, ok, 1, 35, 144, 76, 14);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAutoDefault(false);
    PlaceControl(du, cancel, 2, 119, 144, 76, 14);
    connect(ok, &QPushButton::clicked, this, &CAddSenderDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddSenderDialog::reject);

    InstallNameFieldFilter(app_, nameEdit_, 'U', "*");
    InstallNameFieldFilter(app_, domainEdit_, 'S', "");
}

int CAddSenderDialog::Run() {
    nameEdit_->clear();
    domainEdit_->clear();
    nameEdit_->setFocus();
    Localize(); // the initialisation's localisation
    return exec();
}

void CAddSenderDialog::accept() {
    SenderName = FromQString(nameEdit_->text());
    DomainName = FromQString(domainEdit_->text());
    // Every sender of the domain. (Assigned as a character: a literal trips a
    // false -Wrestrict of GCC 12 at -O3.)
    if (SenderName.empty())
        SenderName.assign(1, '*');
    if (IsValidSenderDomain(domainEdit_->text())) {
        QDialog::accept();
        return;
    }
    const std::string text = DomainName + LocalBytes(app_, 17021);
    const std::string caption = app_.GetLocalizedText(17018, "Invalid Domain Name");
    ShowMessage(this, QMessageBox::Critical, ShownText(caption), ShownText(text));
}

void CAddSenderDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CAddSenderDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CAddSenderDialog::Localize() {
    LocalizeWindow(app_, this, 2000, kControls);
}
