#include "ui/focus_loss_check.h"

#include <QFocusEvent>
#include <QLineEdit>

namespace {
bool checkRunning = false; // window thread only
}

CFocusLossCheck::CFocusLossCheck(QLineEdit* field, std::function<void()> check)
    : QObject(field), check_(std::move(check)) {
    field->installEventFilter(this);
}

bool CFocusLossCheck::Running() {
    return checkRunning;
}

bool CFocusLossCheck::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !checkRunning) {
        Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // After the field has handled its focus loss (which clears its
        // selection) and the focus has arrived where it was going.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            QMetaObject::invokeMethod(this, &CFocusLossCheck::Run, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void CFocusLossCheck::Run() {
    if (checkRunning)
        return;
    checkRunning = true;
    check_();
    checkRunning = false;
}

void RefocusAndSelectAll(QLineEdit* field) {
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll(); // selecting moves the cursor to the end, which scrolls it into view
}
