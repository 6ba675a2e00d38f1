#pragma once
// Helpers of the main window's and the account pages' tests: a started
// application object on a private data directory, with the installed
// English language file unless told otherwise, and a recorder that answers
// every message box as it comes up.
#include "ui/levels_page.h"
#include "ui/main_dialog.h"
#include "ui/navigation_tree.h"
#include "window_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

inline std::string InstalledLanguageFile() {
    std::ifstream in(std::string(DROSSGATE_RESOURCES) + "/Language/English.ini", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CUiApp {
  public:
    explicit CUiApp(const std::string& settings = "[SETTINGS]\r\n",
                    const std::string& languageText = InstalledLanguageFile())
        : fx(settings, languageText.empty() ? "" : "English") {
        if (!languageText.empty())
            fx.dir.Write("Language/English.ini", languageText);
        started = fx.Start();
    }
    CFilterApp& app() { return *fx.app; }

    CAppFixture fx;
    bool started = false;
};

// Answers every visible message box with OK, also inside a box's own modal
// loop, and keeps what each showed, so a test can count them. Like a window
// manager, it gives the box's window the focus back as the box goes (the
// offscreen platform does not), before the code that opened the box goes on.
class CBoxRecorder {
  public:
    CBoxRecorder() {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    bool WaitFor(size_t count, int timeoutMs = 10000) {
        return QTest::qWaitFor([&] { return seen.size() >= count; }, timeoutMs);
    }
    std::vector<SeenMessage> seen;

  private:
    void Poll() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible())
                continue;
            seen.push_back({true, box->windowTitle(), box->text(), box->icon()});
            box->button(QMessageBox::Ok)->click();
            if (QWidget* owner = box->parentWidget()) {
                owner->window()->activateWindow();
                QCoreApplication::processEvents();
            }
        }
    }
    QTimer timer_;
};

// The main window on a started application object, hidden until Show().
class CMainWindowFixture {
  public:
    explicit CMainWindowFixture(const std::string& settings = "[SETTINGS]\r\n",
                                const std::string& language = InstalledLanguageFile(),
                                const std::string& accounts = "")
        : ui(settings, language) {
        if (!accounts.empty())
            ui.fx.dir.Write("ZRKList.zrk", accounts);
        dialog = std::make_unique<CMainDialog>(ui.app());
        ui.app().Timers = &dialog->Timers();
    }
    ~CMainWindowFixture() { ui.app().Timers = nullptr; }

    void Show() {
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QPoint Center(int node) {
        for (QTreeWidgetItem* up = dialog->Node(node)->parent(); up; up = up->parent())
            up->setExpanded(true);
        dialog->Tree()->scrollToItem(dialog->Node(node));
        return dialog->Tree()->visualItemRect(dialog->Node(node)).center();
    }
    void Click(int node) { QTest::mouseClick(Viewport(), Qt::LeftButton, {}, Center(node)); }
    void DoubleClick(int node) { QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, Center(node)); }
    // A point below the last row: with the branches collapsed there is room.
    QPoint EmptySpace() { return QPoint(10, Viewport()->height() - 4); }
    QWidget* Viewport() { return dialog->Tree()->viewport(); }
    QString Description() { return dialog->LevelsPage()->Description(); }
    int VisiblePage() {
        for (int i = 0; i < kPageCount; ++i)
            if (dialog->Page(i)->isVisible())
                return i;
        return -1;
    }

    CUiApp ui;
    std::unique_ptr<CMainDialog> dialog;
};
