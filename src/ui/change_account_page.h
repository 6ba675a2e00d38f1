#pragma once
// Page 2: lists the accounts and hands the selected one to the add page,
// which then changes it.
#include "ui/account_list_page.h"

class CMainDialog;

class CChangeAccountPage : public CAccountListPage {
    Q_OBJECT
  public:
    CChangeAccountPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
    void LoadRecordForChange();

  protected:
    void OnButton() override { LoadRecordForChange(); }

  private:
    CMainDialog* mainDialog_;
};
