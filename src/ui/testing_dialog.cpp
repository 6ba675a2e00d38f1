#include "ui/testing_dialog.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/message_box.h"

#include <QLabel>

CTestingDialog::CTestingDialog(CFilterApp& app, QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    CDialogUnits du(font());
    setFixedSize(du.Size(188, 90));
    auto* label = new QLabel(this);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    PlaceControl(du, label, 1005, 7, 23, 174, 42);
    label->setText(LocalText(app, 25001));
}
