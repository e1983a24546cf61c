#pragma once

#include <QDialog>

class QDoubleSpinBox;

// Asks for the Ra of the roughness reference specimen before a profilometer calibration, stores
// it (calibration/calibration_Ra_value, micrometres) and saves the settings on "Принять". The
// caller starts the calibration when the dialog was accepted.
class CalibRaDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CalibRaDialog(QWidget *parent = nullptr);

private:
    void init();
    void acceptValue();

    QDoubleSpinBox *m_value = nullptr;
};
