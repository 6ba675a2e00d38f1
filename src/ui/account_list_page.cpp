#include "ui/account_list_page.h"

#include "app/core/filter_app.h"
#include "ui/dialog_units.h"
#include "ui/login_problem_texts.h"
#include "ui/report_list.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>

namespace {
constexpr int kListId = 1014;
constexpr int kFirstColumnWidth = 200, kTypeColumnWidth = 90;
constexpr int kLastLoginHeader = 18124;
constexpr int kOffsetRole = Qt::UserRole;
} // namespace

CAccountListPage::CAccountListPage(CFilterApp& app, const AccountListTraits& traits,
                                   QWidget* parent)
    : QWidget(parent), app_(app), traits_(traits) {
    CDialogUnits du(font());
    setFixedSize(du.Size(332, 177));
    list_ =
        CreateReportList(this, {"E-mail Account", "E-mail Type", "Last Login"}, traits.MultiSelect);
    PlaceControl(du, list_, kListId, 24, 7, 282, 142);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setColumnWidth(0, kFirstColumnWidth);
    list_->setColumnWidth(1, kTypeColumnWidth);
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    button_ = new QPushButton(traits.ButtonCaption, this);
    PlaceControl(du, button_, traits.ButtonId, 103, 152, 124, 14);
    button_->setEnabled(false);

    auto* hits = new CRowHitFilter(list_);
    connect(hits, &CRowHitFilter::Clicked, this,
            [this](int row) { button_->setEnabled(row >= 0); });
    connect(button_, &QPushButton::clicked, this, [this] { OnButton(); });
    Load();
}

void CAccountListPage::Load() {
    std::vector<CFilterApp::AccountRow> rows;
    app_.LoadAccountList(&rows, accountNames_);
    const auto problems = app_.CheckReport.LoginProblems();
    list_->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        auto* name = new QTableWidgetItem(ToQString(rows[i].DisplayName));
        name->setData(kOffsetRole, static_cast<qint64>(rows[i].Offset));
        list_->setItem(row, 0, name);
        list_->setItem(row, 1, new QTableWidgetItem(ToQString(rows[i].TypeText)));
        // What keeps the account's login from working, with the server's
        // own words apart, in the tooltip.
        const auto problem = problems.find(rows[i].DisplayName);
        auto* state = new QTableWidgetItem;
        if (problem != problems.end()) {
            state->setText(LoginProblemName(app_, problem->second.Problem));
            QString tip = LoginProblemAdvice(app_, problem->second.Problem);
            if (const QString said = ServerSaid(app_, problem->second.ServerText); !said.isEmpty())
                tip += '\n' + said;
            state->setToolTip(tip);
            state->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
        list_->setItem(row, 2, state);
    }
}

void CAccountListPage::Reload() {
    // The button keeps its state, although no row is selected any more.
    list_->setRowCount(0);
    accountNames_.clear();
    Load();
    LocalizeWindow(app_, this, traits_.FirstTextId, {traits_.ButtonId});
    list_->setHorizontalHeaderLabels({LocalText(app_, traits_.FirstTextId + 1),
                                      LocalText(app_, traits_.FirstTextId + 2),
                                      LocalText(app_, kLastLoginHeader)});
}

void CAccountListPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Reload();
}

void CAccountListPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Reload();
}

std::vector<int64_t> CAccountListPage::SelectedOffsets() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<int64_t> offsets;
    for (int row : rows)
        offsets.push_back(list_->item(row, 0)->data(kOffsetRole).toLongLong());
    return offsets;
}
