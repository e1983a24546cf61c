#include "profile/AutoUnfocusSpinBox.h"

#include <QLineEdit>
#include <QTimer>

AutoUnfocusSpinBox::AutoUnfocusSpinBox(QWidget *parent)
    : QSpinBox(parent)
{
    connect(this, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &AutoUnfocusSpinBox::onValueChanged);
}

void AutoUnfocusSpinBox::onValueChanged(int)
{
    lineEdit()->deselect();
    lineEdit()->end(false);
    // After the event that changed the value has been handled in full.
    QTimer::singleShot(0, this, [this] { clearFocus(); });
}
