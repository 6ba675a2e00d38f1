#include "ui/ui_shell.h"

#include "app/core/filter_app.h"
#include "ui/main_dialog.h"

CUiShell::CUiShell(CFilterApp& app) : app_(app), mainDialog_(std::make_unique<CMainDialog>(app)) {}

CUiShell::~CUiShell() = default;

void CUiShell::ShowMainWindow() {
    mainDialog_->show();
    mainDialog_->raise();
    mainDialog_->activateWindow();
}

void CUiShell::PrepareQuit() {}
