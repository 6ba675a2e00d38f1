#pragma once
// CMainDialog: the program's one visible window. A navigation tree on the
// left; on the right one of nine pages, created once and kept for the life of
// the program. Closing only hides it, and is the moment all settings are
// written. It owns the check timers that drive the mail check.
#include <QDialog>
#include <array>
#include <functional>

class CFilterApp;
class CNavigationTree;
class CMainWindowTimers;
class CLevelsPage;
class CAddAccountPage;
class ICheckTimers;
class QPushButton;
class QTreeWidgetItem;

inline constexpr int kPageCount = 9;

class CMainDialog : public QDialog {
    Q_OBJECT
  public:
    // Creates the window hidden, with its pages (whose creation loads the
    // lists the filter needs) and the running check timer.
    explicit CMainDialog(CFilterApp& app, QWidget* parent = nullptr);
    ~CMainDialog() override;

    // Shows what belongs to a node value: page 1 to 8, or the description
    // page for 0 and 9 to 16. Any other value re-shows the description page
    // with its text unchanged.
    void ShowPage(int value);
    int CurrentPageIndex() const { return currentPage_; }
    void SetCurrentPageIndex(int index) { currentPage_ = index; }
    void LocalizeMainWindow();
    // "Close" and Return: collapse the branches, hide, write the settings.
    void CloseAction();

    QWidget* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    CAddAccountPage* AddAccountPage() const;
    CLevelsPage* LevelsPage() const;
    CNavigationTree* Tree() const { return tree_; }
    QTreeWidgetItem* Node(int index) const { return nodes_.at(static_cast<size_t>(index)); }
    QTreeWidgetItem* ActiveLevelNode() const { return activeLevelNode_; }
    ICheckTimers& Timers();
    CMainWindowTimers& WindowTimers() { return *timers_; }
    // Set by the program: the Options page changed the desktop settings.
    std::function<void()> DesktopSettingsChanged;

  public slots:
    void reject() override; // Escape does nothing
    void accept() override; // Return: the close action

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void CreatePages();
    void BuildNavigationTree();
    void SetNodeBold(QTreeWidgetItem* node, bool bold);
    QPoint PagePosition() const;
    void OnTreeClicked(const QPoint& viewportPos);
    void OnTreeDoubleClicked(const QPoint& viewportPos);
    void OnCaretChanged(QTreeWidgetItem* current);
    static int NodeValue(const QTreeWidgetItem* node);

    CFilterApp& app_;
    CMainWindowTimers* timers_;
    CNavigationTree* tree_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    bool pagesNotCreated_ = true;
    std::array<QTreeWidgetItem*, 17> nodes_{};
    QTreeWidgetItem* activeLevelNode_ = nullptr;
    int currentPage_ = -1;
    std::array<QWidget*, kPageCount> pages_{};
};
