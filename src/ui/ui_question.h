#pragma once
// Asking the user from a session thread. The question's window is opened on
// the window thread (with open(), never a nested exec() that could only be
// answered last-in-first-out); the asking thread waits until that window
// calls its answer function. Several questions may be open at once and are
// answered in any order. A call that already comes from the window thread
// waits in a local event loop instead (a blocking queued call to one's own
// thread would deadlock).
#include <QPointer>
#include <QWidget>
#include <functional>

// Opens the question's window and returns it; the window calls `answer`
// once with the user's answer (later calls are ignored).
using QuestionOpener = std::function<QWidget*(std::function<void(int)> answer)>;

// Blocks until answered. Returns `noAnswer` without asking when the program
// is quitting or has no QApplication.
int AskOnUiThread(QuestionOpener open, int noAnswer);

// On quit (window thread): answers every open question with its `noAnswer`,
// closes their windows, and makes later questions return `noAnswer` at once.
void CancelAllQuestions();

// Number of questions open now.
int OpenQuestionCount();
