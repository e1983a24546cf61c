#include "device/ui/Loader.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

Loader::Loader(QWidget *parent, const QString &text)
    : QDialog(parent)
{
    statusLabel = new QLabel(this);
    textLabel = new QLabel(text, this);
    cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    resize(325, 100);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(textLabel, 0, Qt::AlignHCenter);
    layout->addWidget(progressBar);
    layout->addWidget(statusLabel, 0, Qt::AlignHCenter);
    layout->addWidget(cancelButton);

    connect(cancelButton, &QPushButton::released, this, &Loader::onCancel);
}

void Loader::onStatusProgress(int status, const QString &statusName)
{
    progressBar->setValue(status);
    statusLabel->setText(statusName);
    if (status == 100 && !m_closing) {
        // The full bar and the last stage stay on screen for a moment; the event loop goes on.
        m_closing = true;
        QTimer::singleShot(kCloseDelayMs, this, &QDialog::close);
    }
}

void Loader::onCancel()
{
    emit loaderCanceled();
    close();
}
