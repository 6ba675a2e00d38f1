#include "ui/add_spam_word_dialog.h"

#include "app/core/filter_app.h"
#include "platform/numconv.h"
#include "ui/dialog_units.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>

namespace {
const std::vector<int> kControls = {kTitlePseudoId, 1005, 1007, 1, 2};
} // namespace

CAddSpamWordDialog::CAddSpamWordDialog(CFilterApp& app, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), app_(app) {
    setWindowTitle("Add new spam word");
    const CDialogUnits du(font());
    setFixedSize(du.Size(186, 67));

    PlaceControl(du, new QLabel("Spam Word", this), 1005, 7, 9, 50, 8);
    wordEdit_ = new QLineEdit(this);
    PlaceControl(du, wordEdit_, 1028, 60, 7, 119, 12);
    PlaceControl(du, new QLabel("Spam Value", this), 1007, 7, 27, 50, 8);
    valueEdit_ = new QLineEdit(this);
    valueEdit_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));
    PlaceControl(du, valueEdit_, 1029, 60, 25, 119, 12);
    ok_ = new QPushButton("OK", this);
    ok_->setDefault(true);
    PlaceControl(du, ok_, 1, 40, 46, 50, 14);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAutoDefault(false);
    PlaceControl(du, cancel, 2, 96, 46, 50, 14);

    connect(wordEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
    connect(ok_, &QPushButton::clicked, this, &CAddSpamWordDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CAddSpamWordDialog::reject);
}

int CAddSpamWordDialog::Run() {
    wordEdit_->clear();
    valueEdit_->clear();
    ok_->setEnabled(false);
    wordEdit_->setFocus();
    Localize(); // the initialisation's localisation
    return exec();
}

// Return reaches the default button even while it is disabled; the word
// must not be empty all the same.
void CAddSpamWordDialog::accept() {
    if (wordEdit_->text().isEmpty())
        return;
    Word = FromQString(wordEdit_->text());
    Value = Atoi(FromQString(valueEdit_->text()));
    QDialog::accept();
}

void CAddSpamWordDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CAddSpamWordDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CAddSpamWordDialog::Localize() {
    LocalizeWindow(app_, this, 3000, kControls);
}
