#pragma once

#include <QSpinBox>

// A spin box that gives the keyboard back after every change: the change is taken at once and
// the next key (an arrow that jogs the probe, say) goes to the window, not to the spin box.
class AutoUnfocusSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit AutoUnfocusSpinBox(QWidget *parent = nullptr);

private slots:
    void onValueChanged(int value);
};
