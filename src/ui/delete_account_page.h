#pragma once
// Page 3: lists the accounts and deletes the selected ones, without asking.
#include "ui/account_list_page.h"

class CMainDialog;

class CDeleteAccountPage : public CAccountListPage {
    Q_OBJECT
  public:
    CDeleteAccountPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
    void DeleteSelectedAccounts();

  protected:
    void OnButton() override { DeleteSelectedAccounts(); }
};
