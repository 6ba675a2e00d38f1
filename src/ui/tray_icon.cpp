#include "ui/tray_icon.h"

#include "ui/text_conv.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <array>
#include <cstdio>

namespace {
constexpr std::array kMenuTextIds = {18001, 18002, 18003, 18004};
}

CTrayIcon::CTrayIcon(CFilterApp& app, TrayActions actions, QObject* parent)
    : QObject(parent), app_(app), actions_(std::move(actions)), menu_(new QMenu),
      icon_(new QSystemTrayIcon(this)) {
    // The installed theme icon where there is one, so the tray matches the menu entry.
    icon_->setIcon(QIcon::fromTheme("drossgate", QIcon(":/icons/app.svg")));
    const std::array<std::function<void()>*, 4> handlers = {&actions_.Show, &actions_.CheckNow,
                                                            &actions_.DryRun, &actions_.Quit};
    for (size_t i = 0; i < handlers.size(); ++i) {
        QAction* action = menu_->addAction(QString());
        action->setData(kMenuTextIds[i]);
        if (i == handlers.size() - 1)
            menu_->insertSeparator(action);
        connect(action, &QAction::triggered, this, [handler = handlers[i]] {
            if (*handler)
                (*handler)();
        });
    }
    connect(menu_, &QMenu::aboutToShow, this, &CTrayIcon::Localize);
    Localize();
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                // A left click or a double click; the right click opens the menu itself.
                if ((why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) &&
                    actions_.Show)
                    actions_.Show();
            });
    icon_->setToolTip("Drossgate");
}

CTrayIcon::~CTrayIcon() {
    icon_->hide();
    delete menu_; // a context menu is not owned by the icon
}

void CTrayIcon::SetShown(bool shown) {
    if (shown && !QSystemTrayIcon::isSystemTrayAvailable() && !saidNoTray_) {
        saidNoTray_ = true;
        std::fprintf(stderr, "drossgate: the desktop shows no system tray; Drossgate runs without "
                             "its icon (drossgate-ctl show or a second start shows the window)\n");
    }
    icon_->setVisible(shown);
}

void CTrayIcon::SetToolTip(const QString& text) {
    icon_->setToolTip(text);
}

void CTrayIcon::Localize() {
    for (QAction* action : menu_->actions())
        if (!action->isSeparator())
            action->setText(LocalText(app_, action->data().toInt()));
}
