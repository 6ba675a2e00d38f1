#include "ui/blocked_list_page.h"

#include "app/core/filter_app.h"

namespace {
const SenderPageTraits kBlockedTraits = {
    .FileName = kBlockedListFileName,
    .Width = 332,
    .Height = 177,
    .ListWidth = 252,
    .GroupCaption = "Blocked List",
    .FirstTextId = 4001,
    .HeaderTextId = 4004,
    .FirstHeader = nullptr,
    .Editable = true,
};
} // namespace

CBlockedListPage::CBlockedListPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : CSenderListPage(app, kBlockedTraits, parent) {}
