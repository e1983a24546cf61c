#include "device/ui/KeyReceiver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

KeyReceiver::KeyReceiver()
    : QObject(nullptr)
{ }

void KeyReceiver::updateCtrlState(QEvent *event)
{
    ctrlPressed = static_cast<QKeyEvent *>(event)->modifiers().testFlag(Qt::ControlModifier);
    emit ctrlStateChanged(ctrlPressed);
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

bool KeyReceiver::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        updateCtrlState(event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat() || !keyMap.contains(key->key()))
            break;
        if (m_held.contains(key->key()))
            return true; // the same press seen again at the focus widget
        if (!jogAllowed())
            return false;
        QPushButton *button = keyMap.value(key->key());
        m_held.insert(key->key(), button);
        button->setDown(true);
        emit button->pressed();
        return true;
    }
    case QEvent::KeyRelease: {
        updateCtrlState(event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat())
            break;
        if (m_held.contains(key->key())) {
            release(key->key());
            return true;
        }
        if (!keyMap.contains(key->key())
            || watched->objectName() != QLatin1String("MainWindowWindow"))
            break;
        if (!jogAllowed())
            return false;
        QPushButton *button = keyMap.value(key->key());
        button->setDown(false);
        emit button->released();
        return true;
    }
    case QEvent::ApplicationDeactivate:
        releaseAll();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
