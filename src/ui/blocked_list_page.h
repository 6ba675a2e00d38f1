#pragma once
// The blocked list page: "Blocked List.zrk", rows editable in place.
#include "ui/sender_list_page.h"

class CMainDialog;

class CBlockedListPage : public CSenderListPage {
    Q_OBJECT
  public:
    CBlockedListPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
};
