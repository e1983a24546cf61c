#include "support/gui/ProfileWindowReads.h"

#include "dataproviders/FileDataProvider.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"
#include "traceprocessing/TraceRoad.h"

#include <QSignalSpy>
#include <QtTest>

namespace testsupport {

bool parametersShown(ProfileAnalisisWidget &window, int waitMs)
{
    return QTest::qWaitFor([&window] { return !window.traceRoad()->evaluationPending(nullptr); },
                           waitMs);
}

bool readIntoWindow(ProfileAnalisisWidget &window, const QString &path, int kind, int waitMs)
{
    QSignalSpy unlocked(&window, &ProfileAnalisisWidget::unlockButtons);
    if (!window.setDataProvider(new FileDataProvider(path)) || !window.startReading(kind))
        return false;
    return unlocked.wait(waitMs) && !window.traceList()->readingTrace
        && parametersShown(window, waitMs);
}

} // namespace testsupport
