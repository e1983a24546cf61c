#pragma once

#include <QMap>
#include <QObject>
#include <QSet>

class QPushButton;

// Keyboard jogging: an application-wide event filter that turns presses and releases of a few
// keys into presses and releases of the device panel's buttons (jogging X, Y and Z, starting and
// stopping a trace), and tracks whether Ctrl is held.
//
// A press of a mapped key (not an auto-repeat) sets its button down, emits the button's pressed
// signal and is consumed. A release stops what its press started: the key is remembered from its
// press until its release, and the first delivery of the release, wherever it arrives, sets the
// button up and emits its released signal, even if the receiver was blocked in between (a
// dialog opened while the key was held). A release whose press the receiver did not act on (the
// press went to a dialog, a popup or an entry) is passed on untouched, also at the main window:
// the Return that closes a dialog never starts a trace. When the application loses the focus,
// every held key is released.
//
// Blocked signals (QObject::blockSignals, which runDialog does for every dialog) switch the
// jogging off; so does an open modal window or popup (a menu, the list of a combo box). Keys that
// edit or confirm the entry with the keyboard focus (a spin box, a line edit, an editable combo
// box) belong to that entry: Return confirms its value and the arrows move in it or step it, they
// never jog. The arrows and page keys move in a closed combo box with the focus and belong to it
// too; Return and Space do nothing there and stay the trace and stop keys. Whom a press belongs
// to is decided at its first sight, which for a key from the window system is the shortcut
// override sent before the press: an open list takes its Return there, chooses and closes, and
// the press that follows must not find the list gone and start a trace.
//
// The Ctrl flag follows the keys always. A Ctrl release that went to a dialog is reported once
// the jogging is back, and one that the program never saw (a native dialog) is noticed then from
// the keyboard's state, so the flag never stays stuck after a dialog.
class KeyReceiver : public QObject
{
    Q_OBJECT

public:
    KeyReceiver();

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Releases every held key's button (application deactivation; the panel's teardown).
    void releaseAll();

    // Whether Control was held in the last key event seen.
    bool ctrlPressed = false;
    // Qt key code to the button it works; replaced as a whole by the panel. Borrowed buttons.
    QMap<int, QPushButton *> keyMap;

signals:
    void ctrlStateChanged(bool pressed);

private:
    void updateCtrlState(QEvent *event);
    void reportCtrlState();
    // After a time with the signals blocked: the Ctrl state that was not reported meanwhile.
    void catchUpAfterBlock();
    bool jogAllowed() const;
    // The key, delivered to watched, belongs to a widget: a dialog or popup is open, or the
    // widget with the focus takes it.
    bool widgetTakesKey(const QObject *watched, int key) const;
    void release(int key);

    // Keys whose press set their button down, with that button.
    QMap<int, QPushButton *> m_held;
    // Keys whose press belongs to a widget, until their release.
    QSet<int> m_passed;
    // The Ctrl state last sent with ctrlStateChanged.
    bool m_reportedCtrl = false;
    // The signals were blocked at the last event seen.
    bool m_wasBlocked = false;
};
