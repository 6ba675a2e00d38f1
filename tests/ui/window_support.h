#pragma once
// Helpers for driving real windows in tests: a data directory with its
// registry file, and answering modal windows that a click opens (the click
// only returns once the window is closed).
#include "core/app_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// Readable QStrings in failure messages.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}

// Runs the event loop until `done()` holds or `ms` have passed; returns
// `done()`. Use with ASSERT_TRUE / EXPECT_TRUE: QTest's QTRY_ macros only
// return from the test body on failure, which GoogleTest does not notice.
template <class Predicate> bool WaitUntil(Predicate done, int ms = 5000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// A control of `window` by its control id.
template <class T = QWidget> T* Control(QWidget* window, int id) {
    return window->findChild<T*>(QString::number(id));
}

// Once a modal window of type T is up, runs `act` on it (which must close
// it). Gives up after a few seconds, so a window that never comes fails the
// test instead of hanging it.
template <class T> void WhenModal(std::function<void(T*)> act) {
    auto* poll = new QTimer;
    auto* waited = new QElapsedTimer;
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, act] {
        T* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            poll->stop();
            poll->deleteLater();
            delete waited;
            act(window);
        } else if (waited->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
            delete waited;
            ADD_FAILURE() << "no modal window came up";
        }
    });
    poll->start(5);
}

// What a message box showed; filled when it has been answered with OK.
struct SeenMessage {
    bool Shown = false;
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

inline void AnswerNextMessage(SeenMessage& seen) {
    WhenModal<QMessageBox>([&seen](QMessageBox* box) {
        seen = {true, box->windowTitle(), box->text(), box->icon()};
        box->button(QMessageBox::Ok)->click();
    });
}

inline void TypeInto(QWidget* window, int id, const QString& text) {
    auto* edit = Control<QLineEdit>(window, id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setText(text);
}

inline void Click(QWidget* window, int id) {
    auto* button = Control<QAbstractButton>(window, id);
    ASSERT_NE(button, nullptr) << id;
    button->click();
}
