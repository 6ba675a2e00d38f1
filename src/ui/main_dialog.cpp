#include "ui/main_dialog.h"

#include "app/core/filter_app.h"

CMainDialog::CMainDialog(CFilterApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setWindowTitle("Drossgate");
    resize(720, 300);
    // What the pages' initialisation will do: the lists and the spam tables
    // must be in place before the first check.
    app_.LoadSenderList(nullptr, kFriendListFileName);
    app_.LoadSenderList(nullptr, kBlockedListFileName);
    app_.BuildSpamWordTables();
}
