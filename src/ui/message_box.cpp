#include "ui/message_box.h"

namespace {
QMessageBox* MakeBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                     const QString& text) {
    auto* box = new QMessageBox(icon, caption, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}
} // namespace

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                 const QString& text) {
    QMessageBox* box = MakeBox(parent, icon, caption, text);
    box->exec();
    delete box;
}

QMessageBox* OpenMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                         const QString& text) {
    QMessageBox* box = MakeBox(parent, icon, caption, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
