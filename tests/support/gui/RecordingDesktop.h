#pragma once

#include "platform/Desktop.h"

#include <QStringList>

namespace testsupport {

// Stands in for the desktop while it lives: records the pages and files the program hands to
// the browser and the file manager, and answers with `succeed` (no process is started).
//
//     RecordingDesktop desktop;
//     window.printReport();
//     QCOMPARE(desktop.opened.size(), 1);
class RecordingDesktop : public Desktop
{
public:
    RecordingDesktop() { Desktop::setInstance(this); }
    ~RecordingDesktop() override { Desktop::setInstance(nullptr); }

    bool openUrl(const QUrl &url) override
    {
        opened.append(url.toLocalFile().isEmpty() ? url.toString() : url.toLocalFile());
        return succeed;
    }
    bool showFile(const QString &filePath) override
    {
        shown.append(filePath);
        return succeed;
    }

    bool succeed = true;
    QStringList opened;
    QStringList shown;
};

} // namespace testsupport
