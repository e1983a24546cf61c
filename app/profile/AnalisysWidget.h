#pragma once

#include "core/AbstractTrace.h"

#include <QMainWindow>
#include <QString>

class DataProvider;

// The base of the two analysis windows (the profile window and the contour measuring window):
// the main window hands a data provider to a window, starts a read into a trace the window
// makes, and saves or reports whatever tab is current, all through this class.
//
// The window owns its current provider and, unless it hands the provider to another receiver
// (followProvider), routes the provider's five notifications to the virtual slots of the same
// names (automatic connection: queued from the provider's worker, direct when the provider emits
// on the GUI thread).
//
// A provider is never deleted while its worker runs: a new provider or a new read is refused
// while the current read is in progress, and a replaced provider is deleted through the event
// loop, after every notification it queued has been delivered.
class AnalisysWidget : public QMainWindow
{
    Q_OBJECT

public:
    explicit AnalisysWidget(const QString &name);
    ~AnalisysWidget() override;

    QString name() const { return m_name; }
    DataProvider *dataProvider() const { return provider; }

    // Takes the provider over (and the old one is deleted). While the current provider is
    // still reading, the new one is refused with a warning and deleted, the following
    // startReading does nothing, and the result is false.
    bool setDataProvider(DataProvider *provider);
    // Makes a trace of the kind and starts the provider on it; true when the read started.
    // False with a warning to the user when a read is still in progress. False without a
    // message when there is no provider, when the provider offered last was refused (its
    // warning came then), or when the window makes no trace of that kind (an INFO log line).
    bool startReading(int traceKind);

    // An empty trace of the kind with its processing chain, ready to be filled; the base makes
    // none.
    virtual AbstractTrace *createTrace(int traceKind);
    // Run around the taking of a report's plot picture.
    virtual void beginReportSnapshot() = 0;
    virtual void endReportSnapshot() = 0;
    // Writes the window's HTML report(s); parent parents the dialogs.
    virtual void saveReport(QWidget *parent) = 0;

public slots:
    virtual void saveData(DataSaveFormat format) = 0;
    virtual void dataReadStarted();
    virtual void dataBatchReady(int from, int count);
    virtual void dataReadFinished();
    virtual void dataReadError(QString error);
    virtual void dataReset();

protected:
    // The provider just taken over (null when the window has none any more) is to be followed:
    // by default its notifications reach the five slots above. The provider before it no longer
    // reaches this window.
    virtual void followProvider(DataProvider *provider);

private:
    void refuseRunningRead();

    QString m_name;
    DataProvider *provider = nullptr;
    // The last provider offered was refused: the read asked for with it does not start.
    bool m_refused = false;
};
