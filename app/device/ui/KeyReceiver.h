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
// dialog opened while the key was held). A release whose press was not acted on is acted on only
// at the main window's native window, "MainWindowWindow". When the application loses the focus,
// every held key is released.
//
// Blocked signals (QObject::blockSignals, which runDialog does for every dialog) switch the
// jogging off; so does an open modal window or popup menu. The Ctrl flag follows the keys always.
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
    bool jogAllowed() const;
    void release(int key);

    // Keys whose press set their button down, with that button.
    QMap<int, QPushButton *> m_held;
};
