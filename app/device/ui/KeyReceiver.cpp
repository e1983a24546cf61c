#include "device/ui/KeyReceiver.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWindow>

namespace {

// The widget that a key event delivered to watched goes to: the focus widget of its window.
const QWidget *keyTarget(const QObject *watched)
{
    if (const auto *window = qobject_cast<const QWindow *>(watched))
        return qobject_cast<const QWidget *>(window->focusObject());
    if (const auto *widget = qobject_cast<const QWidget *>(watched))
        return widget->window()->focusWidget();
    return QApplication::focusWidget();
}

// Keys that move the current item of a closed combo box.
bool movesInList(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
        || key == Qt::Key_PageDown;
}

// Whether the widget with the keyboard focus takes the key itself: it edits or confirms a value
// with it, or moves to another item of its list with it.
bool focusTakesKey(const QWidget *focus, int key)
{
    if (!focus || !focus->isEnabled())
        return false;
    // A spin box or an editable combo box may hand the focus to its own line edit.
    const QWidget *entry = focus;
    if (const QWidget *owner = focus->parentWidget(); owner
        && qobject_cast<const QLineEdit *>(focus)
        && (qobject_cast<const QAbstractSpinBox *>(owner)
            || qobject_cast<const QComboBox *>(owner)))
        entry = owner;
    if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(entry)) {
        // A space edits no number: it stays the stop key.
        return !spin->isReadOnly() && key != Qt::Key_Space;
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(entry)) {
        // A closed list leaves Return (it does nothing there) and Space (the stop key must stop
        // whatever has the focus; the list opens by a click) to the key map.
        return combo->isEditable() || movesInList(key);
    }
    if (const auto *edit = qobject_cast<const QLineEdit *>(entry))
        return !edit->isReadOnly();
    if (const auto *text = qobject_cast<const QPlainTextEdit *>(entry))
        return !text->isReadOnly();
    if (const auto *text = qobject_cast<const QTextEdit *>(entry))
        return !text->isReadOnly();
    return false;
}

} // namespace

KeyReceiver::KeyReceiver()
    : QObject(nullptr)
{ }

void KeyReceiver::updateCtrlState(QEvent *event)
{
    ctrlPressed = static_cast<QKeyEvent *>(event)->modifiers().testFlag(Qt::ControlModifier);
    reportCtrlState();
}

void KeyReceiver::reportCtrlState()
{
    // While blocked the signal does not go out; the state is then reported when the block ends.
    if (!signalsBlocked())
        m_reportedCtrl = ctrlPressed;
    emit ctrlStateChanged(ctrlPressed);
}

void KeyReceiver::catchUpAfterBlock()
{
    // A native dialog takes its keys past the program: a Ctrl release made there was never seen.
    if (ctrlPressed && !QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier))
        ctrlPressed = false;
    if (ctrlPressed != m_reportedCtrl)
        reportCtrlState();
}

bool KeyReceiver::jogAllowed() const
{
    return !signalsBlocked() && !QApplication::activeModalWidget()
        && !QApplication::activePopupWidget();
}

void KeyReceiver::release(int key)
{
    QPushButton *button = m_held.take(key);
    if (!button)
        return;
    // A release must stop the motion even while jogging is switched off, so the button's signal
    // goes out whatever the receiver's own blocked state is.
    button->setDown(false);
    emit button->released();
}

void KeyReceiver::releaseAll()
{
    const QList<int> keys = m_held.keys();
    for (int key : keys)
        release(key);
}

bool KeyReceiver::widgetTakesKey(const QObject *watched, int key) const
{
    return !jogAllowed() || focusTakesKey(keyTarget(watched), key);
}

bool KeyReceiver::eventFilter(QObject *watched, QEvent *event)
{
    if (m_wasBlocked != signalsBlocked()) {
        m_wasBlocked = !m_wasBlocked;
        if (!m_wasBlocked)
            catchUpAfterBlock();
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Sent before the press. An open list chooses its item on Return here and closes, so
        // the press that follows finds no list open: whom the press belongs to is decided now.
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && keyMap.contains(key->key()) && !m_held.contains(key->key())
            && widgetTakesKey(watched, key->key()))
            m_passed.insert(key->key());
        break;
    }
    case QEvent::KeyPress: {
        updateCtrlState(event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat() || !keyMap.contains(key->key()))
            break;
        if (m_held.contains(key->key()))
            return true; // the same press seen again at the focus widget
        if (m_passed.contains(key->key()))
            return false; // the press belongs to a widget (decided at its first sight)
        if (widgetTakesKey(watched, key->key())) {
            m_passed.insert(key->key());
            return false;
        }
        QPushButton *button = keyMap.value(key->key());
        m_held.insert(key->key(), button);
        button->setDown(true);
        emit button->pressed();
        return true;
    }
    case QEvent::KeyRelease: {
        updateCtrlState(event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && m_held.contains(key->key())) {
            release(key->key());
            return true;
        }
        // A release whose press went elsewhere (a dialog, a popup, an entry) is not a button's.
        if (!key->isAutoRepeat())
            m_passed.remove(key->key());
        break;
    }
    case QEvent::ApplicationDeactivate:
        releaseAll();
        m_passed.clear();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
