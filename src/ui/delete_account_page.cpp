#include "ui/delete_account_page.h"

#include "app/core/filter_app.h"
#include "store/oauth_accounts.h"
#include "ui/account_record.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

namespace {
constexpr AccountListTraits kTraits{1017, "Delete Account", 6001, true};
}

CDeleteAccountPage::CDeleteAccountPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : CAccountListPage(app, kTraits, parent) {}

void CDeleteAccountPage::DeleteSelectedAccounts() {
    for (;;) {
        const QModelIndexList rows = List()->selectionModel()->selectedRows();
        if (rows.isEmpty())
            break;
        int first = rows.front().row();
        for (const QModelIndex& index : rows)
            first = std::min(first, index.row());
        const int64_t offset = List()->item(first, 0)->data(Qt::UserRole).toLongLong();
        List()->removeRow(first);
        AccountRecord record;
        const bool known = ReadAccountRecordAt(app_.DataFilePath(kAccountFileName), offset, record);
        app_.MarkAccountRecordDead(offset);
        // Its keyring entry goes too, unless another live record uses it.
        if (known)
            app_.ForgetUnusedAccountPassword(record.Pop3 ? 'P' : 'I', record.AccountName,
                                             record.ServerName, record.UserName);
        if (known && record.Password == kOAuthPasswordMarker)
            app_.ForgetOAuthSignIn(record.Pop3 ? 'P' : 'I', record.ServerName, record.UserName);
    }
    Button()->setEnabled(false);
}
