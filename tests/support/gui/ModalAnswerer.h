#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

namespace testsupport {

// Answers the next real modal window (a dialog run with exec, a message box, a file or colour
// dialog) or popup menu that opens while it lives. It looks for one every few milliseconds and
// runs its action once on the first it finds, from inside that window's modal loop:
//
//     ModalAnswerer answerer([](QWidget *modal) { ModalAnswerer::clickButton(modal, "Принять"); });
//     panel.calibrationButton()->click();          // runs the dialog's exec
//     QVERIFY(answerer.answered());
//
// Prefer DialogInterceptor and ScriptedPrompts, which answer without a modal loop; keep this for
// the few tests that must run the real dialogs.
class ModalAnswerer : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;
    explicit ModalAnswerer(Action action, int timeoutMs = 10000);

    bool answered() const { return m_answered; }
    // The window title (or object name, for a menu) of the window answered.
    QString answeredTitle() const { return m_title; }

    // Helpers for actions.
    // Clicks the first visible, enabled button whose text (without '&') is text; false if none.
    static bool clickButton(QWidget *window, const QString &text);
    // Accepts (QDialog::accept) or rejects a dialog; closes any other window.
    static void accept(QWidget *window);
    static void reject(QWidget *window);
    // For an action that closes the window with a key or a click: waits until the window has
    // closed. A window still open after timeoutMs is rejected, so that the test goes on to fail
    // with a message instead of waiting in the window's modal loop for the test's timeout. True
    // when the window closed by itself.
    static bool waitClosed(QWidget *window, int timeoutMs = 3000);

private:
    void poll();

    Action m_action;
    QTimer m_timer;
    int m_remainingPolls;
    bool m_answered = false;
    QString m_title;
};

} // namespace testsupport
