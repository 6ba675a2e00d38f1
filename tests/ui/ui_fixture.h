#pragma once
// The real windows on a private data directory: controls by id, clicks, modal windows answered.
#include "core/app_fixture.h"
#include "ui/main_dialog.h"
#include "ui/navigation_tree.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}

// Started, on the built-in texts unless given a language file (the shipped one has a test).
struct CUiApp : CAppFixture {
    explicit CUiApp(const std::string& settings = "[SETTINGS]\r\n",
                    const std::string& language = "")
        : CAppFixture(settings, language.empty() ? "" : "English") {
        dir.Write("Language/English.ini", language);
        EXPECT_TRUE(Start()) << "start-up failed";
    }
};

template <class T = QWidget> T* Control(QWidget* window, int id) {
    return window->findChild<T*>(QString::number(id));
}
inline void Click(QWidget* window, int id) {
    Control<QAbstractButton>(window, id)->click();
}
inline void TypeInto(QWidget* window, int id, const QString& text) {
    Control<QLineEdit>(window, id)->setText(text);
}
inline bool Enabled(QWidget* window, int id) {
    return Control(window, id)->isEnabled();
}

template <class T> QList<T*> OpenWindows() {
    QList<T*> open;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* shown = qobject_cast<T*>(window); shown && shown->isVisible())
            open.push_back(shown);
    return open;
}

// Row -1: the empty space below the last row.
inline void ClickRow(QAbstractItemView* view, int row, Qt::KeyboardModifiers keys = {},
                     bool twice = false, QPoint at = {}) {
    if (at.isNull())
        at = row < 0 ? QPoint(5, view->viewport()->height() - 4)
                     : view->visualRect(view->model()->index(row, 0)).center();
    twice ? QTest::mouseDClick(view->viewport(), Qt::LeftButton, keys, at)
          : QTest::mouseClick(view->viewport(), Qt::LeftButton, keys, at);
}
inline QStringList Column(const QAbstractItemModel* model, int column = 0) {
    QStringList cells;
    for (int row = 0; row < model->rowCount(); ++row)
        cells << model->index(row, column).data().toString();
    return cells;
}
// Delete (1017) is there only while rows are selected; empty space unselects. Returns the rows.
inline QStringList DeleteRows(QWidget* page, QAbstractItemView* list,
                              std::initializer_list<int> rows) {
    EXPECT_FALSE(Enabled(page, 1017));
    for (int row : rows)
        ClickRow(list, row, Qt::ControlModifier);
    Click(page, 1017);
    EXPECT_FALSE(Enabled(page, 1017));
    ClickRow(list, 0);
    EXPECT_TRUE(Enabled(page, 1017));
    ClickRow(list, -1);
    EXPECT_FALSE(Enabled(page, 1017));
    return Column(list->model());
}

// Runs `act` (which must close it) on the modal T once it is up; no window fails, not hangs.
template <class T> void WhenModal(std::function<void(T*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act, deadline = QDeadlineTimer(5000)] {
        T* window = qobject_cast<T*>(QApplication::activeModalWidget());
        const bool up = window && window->isVisible();
        if (!up && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (up)
            act(window);
        else
            ADD_FAILURE() << "no modal window came up";
    });
    poll->start(5);
}

struct SeenMessage {
    QString Caption, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    bool operator==(const SeenMessage&) const = default;
};
inline void PrintTo(const SeenMessage& m, std::ostream* out) {
    *out << "{" << m.Caption << " | " << m.Text << " | icon " << m.Icon << "}";
}

// Answers every message box with OK and keeps what it showed; the owner gets the focus back, as
// from a window manager.
struct CBoxRecorder {
    CBoxRecorder() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QMessageBox* box : OpenWindows<QMessageBox>()) {
                seen.push_back({box->windowTitle(), box->text(), box->icon()});
                box->button(QMessageBox::Ok)->click();
                if (QWidget* owner = box->parentWidget()) {
                    owner->window()->activateWindow();
                    QCoreApplication::processEvents();
                }
            }
        });
        timer.start(2);
    }
    std::vector<SeenMessage> seen;
    QTimer timer;
};

// Runs `ask` on a thread of its own, as a session does; a test that stops half-way closes dialogs.
struct CAskingThread {
    explicit CAskingThread(std::function<void()> ask) : thread(QThread::create(ask)) {
        thread->start();
    }
    ~CAskingThread() {
        while (!Wait(10))
            for (QDialog* open : OpenWindows<QDialog>())
                open->close();
        thread->wait();
    }
    bool Wait(int ms = 10000) {
        return QTest::qWaitFor([&] { return thread->isFinished(); }, ms);
    }
    std::unique_ptr<QThread> thread;
};

// The main window, shown, on a started application object.
struct CMainWindowFixture : CUiApp {
    explicit CMainWindowFixture(const std::string& settings = "[SETTINGS]\r\n",
                                const std::string& language = "", const std::string& accounts = "")
        : CUiApp(settings, language) {
        dir.Write("ZRKList.zrk", accounts);
        dialog = std::make_unique<CMainDialog>(*app);
        app->Timers = &dialog->Timers();
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    ~CMainWindowFixture() { app->Timers = nullptr; }
    // Clicks a node, its branches opened; -1: the empty space below them all.
    void ClickNode(int node, bool twice = false) {
        QTreeWidget* tree = dialog->Tree();
        QPoint at;
        if (QTreeWidgetItem* item = node < 0 ? nullptr : dialog->Node(node)) {
            for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                up->setExpanded(true);
            tree->scrollToItem(item);
            at = tree->visualItemRect(item).center();
        }
        ClickRow(tree, -1, {}, twice, at);
    }
    int VisiblePage() {
        for (int i = 0; i < kPageCount; ++i)
            if (dialog->Page(i)->isVisible())
                return i;
        return -1;
    }
    // Shows page `index`, which reloads its rows from the file.
    QWidget* Open(int index) {
        dialog->ShowPage(index);
        return dialog->Page(index);
    }
    std::unique_ptr<CMainDialog> dialog;
};
