#include "ui/new_sender_dialog.h"

#include "app/core/filter_app.h"
#include "filter/learned_texts.h"
#include "store/english_texts.h"
#include "ui/dialog_units.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace {
const std::vector<int> kControls = {kTitlePseudoId, CNewSenderDialog::kFriend,
                                    CNewSenderDialog::kBlock, CNewSenderDialog::kIgnore};
} // namespace

// Topmost is a flag set here once; nothing raises the window on paint.
CNewSenderDialog::CNewSenderDialog(CFilterApp& app, const NewSenderQuestion& question,
                                   QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), app_(app) {
    setWindowTitle("New User");
    const CDialogUnits du(font());
    setFixedSize(du.Size(186, 165));

    auto label = [&](const std::string& text, int id, int y, int h) {
        auto* shown = new QLabel(ShownText(text), this);
        shown->setWordWrap(true);
        shown->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        shown->setTextFormat(Qt::PlainText);
        PlaceControl(du, shown, id, 17, y, 150, h);
        return shown;
    };
    label(question.Prompt, 1005, 7, 71);
    QLabel* subject = label(question.Subject, 1006, 80, 10);
    QFont bold = subject->font();
    bold.setBold(true);
    subject->setFont(bold);
    subject->setWordWrap(false);
    label(question.FirstLines, 1007, 91, 38)->setForegroundRole(QPalette::PlaceholderText);
    guessText_ = question.Guess;
    guess_ = label({}, 1008, 131, 10);
    guess_->setVisible(!guessText_.empty());
    const struct {
        int Id;
        const char* Caption;
        int X;
    } buttons[] = {{kFriend, "Friend", 15}, {kBlock, "Block", 67}, {kIgnore, "Ignore", 119}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(b.Caption, this);
        button->setDefault(b.Id == kFriend);
        button->setAutoDefault(b.Id == kFriend);
        PlaceControl(du, button, b.Id, b.X, 145, 50, 14);
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
    const std::string label =
        app_.GetLocalizedText(kTextGuessLabel, EnglishDefault(kTextGuessLabel));
    guess_->setText(ShownText(label + " " + guessText_));
}
