#pragma once

#include <QObject>
#include <QStringList>

namespace testsupport {

// Records the signals of a data provider as text, in the order they are received:
// "started", "batch <from> <count>", "error <message>", "reset", "finished".
template<typename Provider>
class ProviderSignalLog : public QObject
{
public:
    explicit ProviderSignalLog(Provider &provider)
    {
        connect(&provider, &Provider::dataReadStarted, this,
                [this] { events << QStringLiteral("started"); });
        connect(&provider, &Provider::dataBatchReady, this, [this](int from, int count) {
            events << QStringLiteral("batch %1 %2").arg(from).arg(count);
        });
        connect(&provider, &Provider::dataReadError, this,
                [this](const QString &s) { events << QStringLiteral("error ") + s; });
        connect(&provider, &Provider::dataReset, this,
                [this] { events << QStringLiteral("reset"); });
        connect(&provider, &Provider::dataReadFinished, this, [this] {
            events << QStringLiteral("finished");
            finished = true;
        });
    }

    QStringList events;
    bool finished = false;
};

} // namespace testsupport
