#include "ui/friend_list_page.h"

#include "app/core/filter_app.h"

namespace {
const SenderPageTraits kFriendTraits = {
    .FileName = kFriendListFileName,
    .Width = 332,
    .Height = 176,
    .ListWidth = 251,
    .GroupCaption = "Friends List",
    .FirstTextId = 7001,
    .HeaderTextId = 7004,
    .FirstHeader = "Friends List",
    .Editable = false,
};
} // namespace

CFriendListPage::CFriendListPage(CFilterApp& app, CMainDialog*, QWidget* parent)
    : CSenderListPage(app, kFriendTraits, parent) {}
