#include "ui/change_account_page.h"

#include "app/core/filter_app.h"
#include "ui/account_record.h"
#include "ui/add_account_page.h"
#include "ui/main_dialog.h"

#include <QPushButton>

namespace {
constexpr AccountListTraits kTraits{1016, "Change", 14001, false};
constexpr int kChangePageIndex = 2;
constexpr int kAddPageValue = 1;
} // namespace

CChangeAccountPage::CChangeAccountPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent)
    : CAccountListPage(app, kTraits, parent), mainDialog_(mainDialog) {}

void CChangeAccountPage::LoadRecordForChange() {
    const std::vector<int64_t> selected = SelectedOffsets();
    if (selected.empty()) {
        // The list was rebuilt since the button was enabled: no record has
        // been chosen, so none is handed over.
        Button()->setEnabled(false);
        return;
    }
    const int64_t offset = selected.front();
    CAddAccountPage* addPage = mainDialog_->AddAccountPage();
    addPage->SetChangeOffset(offset);
    mainDialog_->SetCurrentPageIndex(kChangePageIndex);
    mainDialog_->ShowPage(kAddPageValue);
    Button()->setEnabled(false);
    addPage->ShowChangeCaption();
    AccountRecord record;
    if (!ReadAccountRecordAt(app_.DataFilePath(kAccountFileName), offset, record))
        return;
    addPage->FillFromRecord(record);
}
