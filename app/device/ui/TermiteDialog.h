#pragma once

#include <QDialog>
#include <QString>

class Device;
class QTimer;
class Ui_TermiteDialog;

// A small service terminal on the instrument: the typed text goes to the controller as raw bytes
// (without its line breaks) and is echoed on the display together with the text the device
// forwards as received. Received text is collected and shown at most ten times a second. "Стоп"
// drops received text until "Старт"; "Очистить" empties the display. The device is borrowed.
class TermiteDialog : public QDialog
{
    Q_OBJECT

public:
    TermiteDialog(QWidget *parent, Device *device);
    ~TermiteDialog() override;

    static constexpr int kFlushIntervalMs = 100;

    bool receiving = true;
    QString pendingText;
    QTimer *flushTimer = nullptr;

private:
    void send();
    void flush();
    void onEntryChanged();
    void onReceived(const QString &data);

    Ui_TermiteDialog *ui;
    Device *m_device;
};
