#include "device/ui/TermiteDialog.h"

#include "device/Device.h"
#include "ui_TermiteDialog.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

TermiteDialog::TermiteDialog(QWidget *parent, Device *device)
    : QDialog(parent)
    , ui(new Ui_TermiteDialog)
    , m_device(device)
{
    ui->setupUi(this);
    ui->startPushButton->setEnabled(false);
    ui->displayPlainTextEdit->setReadOnly(true);

    flushTimer = new QTimer(this);
    flushTimer->setInterval(kFlushIntervalMs);
    connect(flushTimer, &QTimer::timeout, this, &TermiteDialog::flush);
    flushTimer->start();

    connect(device, &Device::rowDataFromDevice, this, &TermiteDialog::onReceived);
    connect(ui->enterPushButton, &QPushButton::released, this, &TermiteDialog::send);
    connect(ui->enterTextEdit, &QTextEdit::textChanged, this, &TermiteDialog::onEntryChanged);
    connect(ui->stopPushButton, &QPushButton::released, this, [this] {
        ui->stopPushButton->setEnabled(false);
        ui->startPushButton->setEnabled(true);
        receiving = false;
    });
    connect(ui->startPushButton, &QPushButton::released, this, [this] {
        ui->stopPushButton->setEnabled(true);
        ui->startPushButton->setEnabled(false);
        receiving = true;
    });
    connect(ui->clearPushButton, &QPushButton::released, this,
            [this] { ui->displayPlainTextEdit->clear(); });
}

TermiteDialog::~TermiteDialog()
{
    delete ui;
    flushTimer->deleteLater();
}

void TermiteDialog::send()
{
    QString text = ui->enterTextEdit->toPlainText();
    if (text.isEmpty())
        return;
    // A line of nothing but line breaks (Return on an empty entry) has nothing to send: it is
    // dropped, and the entry is cleared.
    if (QString(text).remove(QLatin1Char('\n')).isEmpty()) {
        ui->enterTextEdit->clear();
        return;
    }
    m_device->sendRawText(text);
    if (!text.contains(QLatin1Char('\n')))
        text.append(QLatin1Char('\n'));
    ui->displayPlainTextEdit->textCursor().insertText(text);
    QScrollBar *bar = ui->displayPlainTextEdit->verticalScrollBar();
    bar->setValue(bar->maximum());
    ui->enterTextEdit->clear();
}

void TermiteDialog::onEntryChanged()
{
    if (ui->enterTextEdit->toPlainText().contains(QLatin1Char('\n')))
        ui->enterPushButton->click();
}

void TermiteDialog::onReceived(const QString &data)
{
    if (receiving)
        pendingText.append(data);
}

void TermiteDialog::flush()
{
    if (pendingText.isEmpty())
        return;
    QTextCursor cursor = ui->displayPlainTextEdit->textCursor();
    cursor.movePosition(QTextCursor::End);
    ui->displayPlainTextEdit->setTextCursor(cursor);
    cursor.insertText(pendingText);
    QScrollBar *bar = ui->displayPlainTextEdit->verticalScrollBar();
    bar->setValue(bar->maximum());
    pendingText.clear();
}
