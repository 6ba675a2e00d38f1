#include "ui/main_dialog.h"

#include "app/core/check_cycle.h"
#include "app/core/filter_app.h"
#include "store/localized_text.h"
#include "ui/add_account_page.h"
#include "ui/blocked_list_page.h"
#include "ui/change_account_page.h"
#include "ui/connection_page.h"
#include "ui/delete_account_page.h"
#include "ui/dialog_units.h"
#include "ui/friend_list_page.h"
#include "ui/level_descriptions.h"
#include "ui/levels_page.h"
#include "ui/main_window_timers.h"
#include "ui/message_box.h"
#include "ui/navigation_nodes.h"
#include "ui/navigation_tree.h"
#include "ui/options_page.h"
#include "ui/spam_words_page.h"
#include "ui/text_conv.h"
#include "ui/ui_resources.h"
#include "ui/widget_localizer.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

namespace {
constexpr int kMainFirstTextId = 9000;
constexpr int kCloseButtonId = 1;
constexpr int kTreeId = 1000;
} // namespace

CMainDialog::CMainDialog(CFilterApp& app, QWidget* parent)
    // A title bar without a close box; topmost from the start.
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      app_(app), timers_(new CMainWindowTimers(app, this)) {
    InitUiResources();
    setWindowTitle(kApplicationTitle);
    setWindowIcon(QIcon(":/icons/app.svg"));
    CDialogUnits du(font());
    setFixedSize(du.Size(481, 220));

    tree_ = new CNavigationTree(this);
    PlaceControl(du, tree_, kTreeId, 7, 7, 129, 192);
    auto* pageFrame = new QGroupBox(this);
    PlaceControl(du, pageFrame, 0, 144, 1, 333, 214);
    closeButton_ = new QPushButton("Close", this);
    PlaceControl(du, closeButton_, kCloseButtonId, 7, 203, 129, 14);
    closeButton_->setDefault(true);

    connect(closeButton_, &QPushButton::clicked, this, &CMainDialog::CloseAction);
    connect(tree_, &CNavigationTree::Clicked, this, &CMainDialog::OnTreeClicked);
    connect(tree_, &CNavigationTree::DoubleClicked, this, &CMainDialog::OnTreeDoubleClicked);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnCaretChanged(current); });

    CreatePages();
    LocalizeMainWindow();
}

CMainDialog::~CMainDialog() {
    timers_->StopAll();
}

ICheckTimers& CMainDialog::Timers() {
    return *timers_;
}

CAddAccountPage* CMainDialog::AddAccountPage() const {
    return static_cast<CAddAccountPage*>(pages_[1]);
}

CLevelsPage* CMainDialog::LevelsPage() const {
    return static_cast<CLevelsPage*>(pages_[0]);
}

void CMainDialog::CreatePages() {
    if (pagesNotCreated_) {
        // Creating the pages loads the account views, the sender lists and
        // the spam-word tables: all in place before the first check starts.
        pages_ = {
            new CLevelsPage(app_, this, this),        new CAddAccountPage(app_, this, this),
            new CChangeAccountPage(app_, this, this), new CDeleteAccountPage(app_, this, this),
            new CConnectionPage(app_, this, this),    new CSpamWordsPage(app_, this, this),
            new CFriendListPage(app_, this, this),    new CBlockedListPage(app_, this, this),
            new COptionsPage(app_, this, this)};
        for (QWidget* page : pages_)
            page->hide();
        activeLevelNode_ = nullptr;
        BuildNavigationTree();
        currentPage_ = -1;
        pagesNotCreated_ = false;
    }
    ShowPage(0);
    timers_->StartTimer(kCheckTimerId, CheckTimerPeriodMs(app_.CheckInterval.load()));
}

void CMainDialog::BuildNavigationTree() {
    const int level = app_.FilterLevel.load();
    for (size_t i = 0; i < kNavigationNodes.size(); ++i) {
        const NavigationNode& spec = kNavigationNodes[i];
        QTreeWidgetItem* node = spec.Parent < 0
                                    ? new QTreeWidgetItem(tree_)
                                    : new QTreeWidgetItem(nodes_[static_cast<size_t>(spec.Parent)]);
        node->setText(0, spec.Label);
        node->setIcon(0, QIcon(spec.Icon));
        node->setData(0, Qt::UserRole, spec.Value);
        nodes_[i] = node;
        if (IsLevelValue(spec.Value) && LevelOfValue(spec.Value) == level) {
            SetNodeBold(node, true);
            activeLevelNode_ = node;
        }
    }
}

void CMainDialog::SetNodeBold(QTreeWidgetItem* node, bool bold) {
    QFont font = node->font(0);
    font.setBold(bold);
    node->setFont(0, font);
}

int CMainDialog::NodeValue(const QTreeWidgetItem* node) {
    return node->data(0, Qt::UserRole).toInt();
}

QPoint CMainDialog::PagePosition() const {
    // Right of the tree by the tree's own distance from the window's outer
    // left edge, level with the tree's top.
    const QPoint treeTopLeft = tree_->mapToGlobal(QPoint(0, 0));
    const int treeRight = treeTopLeft.x() + tree_->width();
    const int outerLeft = frameGeometry().left();
    return mapFromGlobal(QPoint(treeRight + (treeTopLeft.x() - outerLeft), treeTopLeft.y()));
}

void CMainDialog::ShowPage(int value) {
    const QPoint position = PagePosition();
    if (currentPage_ >= 0)
        pages_[static_cast<size_t>(currentPage_)]->hide();
    currentPage_ = value;
    if (value >= 1 && value < kPageCount) {
        QWidget* page = pages_[static_cast<size_t>(value)];
        page->move(position);
        page->raise();
        page->show();
        return;
    }
    if (auto description = DescriptionForNode(value)) {
        std::string text = app_.GetLocalizedText(description->TextId, description->English);
        ExpandLineBreaks(text);
        LevelsPage()->SetDescription(ShownText(text));
    }
    currentPage_ = 0;
    pages_[0]->move(position);
    pages_[0]->raise();
    pages_[0]->show();
}

void CMainDialog::LocalizeMainWindow() {
    LocalizeWindow(app_, this, kMainFirstTextId, {kTitlePseudoId, kCloseButtonId});
    for (size_t i = 0; i < nodes_.size(); ++i)
        nodes_[i]->setText(0, LocalText(app_, kFirstNodeLabelTextId + static_cast<int>(i)));
}

void CMainDialog::OnTreeClicked(const QPoint& viewportPos) {
    if (QTreeWidgetItem* node = tree_->HitTest(viewportPos)) {
        tree_->setCurrentItem(node);
        ShowPage(NodeValue(node));
    } else {
        // Empty space re-shows what is up (the description page: its first text).
        ShowPage(currentPage_);
    }
}

void CMainDialog::OnCaretChanged(QTreeWidgetItem* current) {
    if (current)
        ShowPage(NodeValue(current));
}

void CMainDialog::OnTreeDoubleClicked(const QPoint& viewportPos) {
    QTreeWidgetItem* node = tree_->HitTest(viewportPos);
    if (!node || !IsLevelValue(NodeValue(node)))
        return;
    // In force for the next check at once; written to the file on close.
    app_.FilterLevel = LevelOfValue(NodeValue(node));
    tree_->setCurrentItem(node);
    if (activeLevelNode_)
        SetNodeBold(activeLevelNode_, false);
    activeLevelNode_ = node;
    SetNodeBold(node, true);
}

void CMainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system restoring it is no new showing
    LocalizeMainWindow();
    ShowPage(0);
    tree_->setCurrentItem(nodes_[0]);
}

void CMainDialog::CloseAction() {
    for (int index : kBranchNodes)
        nodes_[static_cast<size_t>(index)]->setExpanded(false);
    hide();
    app_.SaveAllSettings();
}

void CMainDialog::accept() {
    CloseAction();
}

void CMainDialog::reject() {}

void CMainDialog::keyPressEvent(QKeyEvent* event) {
    // Only a focused push button takes Return itself; anywhere else Return is
    // the close action, whatever the pages mark as their default button.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        CloseAction();
        return;
    case Qt::Key_Escape:
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
