#include "ui/new_sender_dialog.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace {
const std::vector<int> kControls = {kTitlePseudoId, CNewSenderDialog::kFriend,
                                    CNewSenderDialog::kBlock, CNewSenderDialog::kIgnore};
} // namespace

// Topmost is a flag set here once; nothing raises the window on paint.
CNewSenderDialog::CNewSenderDialog(CFilterApp& app, const QString& promptText, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), app_(app) {
    setWindowTitle("New User");
    const CDialogUnits du(font());
    setFixedSize(du.Size(186, 105));

    auto* prompt = new QLabel(promptText, this);
    prompt->setWordWrap(true);
    prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    prompt->setTextFormat(Qt::PlainText);
    PlaceControl(du, prompt, 1005, 17, 7, 150, 71);
    const struct {
        int Id;
        const char* Caption;
        int X;
    } buttons[] = {{kFriend, "Friend", 15}, {kBlock, "Block", 67}, {kIgnore, "Ignore", 119}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(b.Caption, this);
        button->setDefault(b.Id == kFriend);
        button->setAutoDefault(b.Id == kFriend);
        PlaceControl(du, button, b.Id, b.X, 83, 50, 14);
        connect(button, &QPushButton::clicked, this, [this, id = b.Id] { done(id); });
    }
}

void CNewSenderDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CNewSenderDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        Localize();
}

void CNewSenderDialog::Localize() {
    LocalizeWindow(app_, this, 10000, kControls);
}
