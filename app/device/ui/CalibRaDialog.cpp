#include "device/ui/CalibRaDialog.h"

#include "core/Settings.h"
#include "platform/DotToCommaFilter.h"

#include <QDebug>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CalibRaDialog::CalibRaDialog(QWidget *parent)
    : QDialog(parent)
{
    init();
}

void CalibRaDialog::init()
{
    setWindowTitle(QStringLiteral("Калибровка"));
    setMinimumWidth(300);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Введите эталонное Ra:"), this));

    m_value = new QDoubleSpinBox(this);
    m_value->setRange(0.001, 99.999);
    m_value->setDecimals(3);
    m_value->setSingleStep(0.001);
    m_value->setSuffix(QStringLiteral(" мкм"));
    m_value->setValue(Settings::instance()->calibration.calibration_Ra_value);
    installDotToCommaFilter(m_value);
    layout->addWidget(m_value);

    auto *buttons = new QHBoxLayout();
    auto *acceptButton = new QPushButton(QStringLiteral("Принять"), this);
    auto *cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    buttons->addWidget(acceptButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    connect(acceptButton, &QPushButton::clicked, this, &CalibRaDialog::acceptValue);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CalibRaDialog::acceptValue()
{
    // A value typed but not yet confirmed with Return counts as well.
    m_value->interpretText();
    const double value = m_value->value();
    qDebug() << "Эталонное Ra:" << value;
    Settings::modify([value](Settings &s) { s.calibration.calibration_Ra_value = value; });
    accept();
}
