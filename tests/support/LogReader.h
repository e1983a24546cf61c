#pragma once

#include <QString>
#include <QStringList>

namespace testsupport {

// Reads what the program wrote to its log (the file of the global `logger`) since the reader
// was made. Each entry is "LEVEL: text", the line without its time stamp:
//
//     LogReader log;
//     panel.startTrace();
//     QVERIFY(log.entries().contains("INFO: startTrace"));
class LogReader
{
public:
    LogReader();

    // Entries written since construction (or since the last `skip`).
    QStringList entries() const;
    // The texts of those entries, without the level.
    QStringList messages() const;
    bool contains(const QString &entry) const { return entries().contains(entry); }
    // Starts reading from the current end of the log.
    void skip();

    // The log file of this run (absolute), empty when the log could not be opened.
    static QString path();

private:
    qint64 m_offset = 0;
};

} // namespace testsupport
