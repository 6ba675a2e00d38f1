#include "ui/mail_body_dialog.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

CMailBodyDialog::CMailBodyDialog(CFilterApp& app, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), app_(app) {
    setWindowTitle("Mail Body");
    const CDialogUnits du(font());
    setFixedSize(du.Size(186, 127));
    body_ = new QPlainTextEdit(this);
    body_->setReadOnly(true);
    body_->setLineWrapMode(QPlainTextEdit::NoWrap);
    body_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    body_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceControl(du, body_, 1028, 0, 0, 186, 93);
    score_ = new QLabel(this);
    score_->setTextFormat(Qt::PlainText);
    PlaceControl(du, score_, 1029, 4, 96, 178, 10);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    PlaceControl(du, ok, 1, 68, 109, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CMailBodyDialog::accept);
}

int CMailBodyDialog::Run(const QString& text, const QString& score) {
    SetText(text);
    SetScore(score);
    return exec();
}

void CMailBodyDialog::SetText(const QString& text) {
    body_->setPlainText(text);
}

void CMailBodyDialog::SetScore(const QString& score) {
    score_->setText(score);
}

QString CMailBodyDialog::Text() const {
    return body_->toPlainText();
}

void CMailBodyDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CMailBodyDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

// Control 1028 is left out: its text is the mail, not a caption.
void CMailBodyDialog::Localize() {
    LocalizeWindow(app_, this, 17012, {kTitlePseudoId, 1});
}
