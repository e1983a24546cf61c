#include "InfoWindow.h"

#include "core/Constants.h"
#include "core/Settings.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

InfoWindow::InfoWindow(QWidget *parent)
    : QDialog(parent)
{
    setupLayout();
}

QString InfoWindow::versionText(int deviceType)
{
    return deviceType == 2 || deviceType == 3 ? kProfilometerVersion : kVersion;
}

void InfoWindow::setupLayout()
{
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(300, 200);
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *layout = new QVBoxLayout();

    auto *heading = new QLabel(QStringLiteral("Информация о программе"), this);
    heading->setStyleSheet(
        QStringLiteral("font-size: 16px; font-weight: bold; margin-bottom: 20px;"));
    heading->setAlignment(Qt::AlignCenter);

    auto *version = new QLabel(
        QStringLiteral("Версия: ") + versionText(Settings::instance()->device.device_type), this);
    version->setAlignment(Qt::AlignCenter);

    auto *developer = new QLabel(QStringLiteral("Разработчик: отдел ПО"), this);
    developer->setAlignment(Qt::AlignCenter);
    auto *contact = new QLabel(QStringLiteral("Связь: support@example.org"), this);
    contact->setAlignment(Qt::AlignCenter);

    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    layout->addWidget(heading);
    layout->addSpacing(10);
    layout->addWidget(version);
    layout->addWidget(developer);
    layout->addWidget(contact);
    layout->addStretch();
    layout->addWidget(close);
    setLayout(layout);
}
