#include "ui/levels_page.h"

#include "ui/dialog_units.h"

#include <QPlainTextEdit>

CLevelsPage::CLevelsPage(CFilterApp&, CMainDialog*, QWidget* parent) : QWidget(parent) {
    CDialogUnits du(font());
    setFixedSize(du.Size(332, 177));
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    PlaceControl(du, text_, 1028, 2, 2, 321, 163);
}

void CLevelsPage::SetDescription(const QString& text) {
    text_->setPlainText(text);
}

QString CLevelsPage::Description() const {
    return text_->toPlainText();
}
