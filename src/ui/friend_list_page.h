#pragma once
// The friends list page: "Friend List.zrk", rows not editable in place.
#include "ui/sender_list_page.h"

class CMainDialog;

class CFriendListPage : public CSenderListPage {
    Q_OBJECT
  public:
    CFriendListPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
};
