// One source compiled as a domain source is (app_domain's include folders and guard), once per
// DOMAIN_PROBE value, by the tests in tests/CMakeLists.txt that show the domain library refusing
// widget, printing and plot code. Probe 0 holds what a domain source may use and must build.
#if DOMAIN_PROBE == 1
#include <QtWidgets/QWidget>
#elif DOMAIN_PROBE == 2
#include <QtWidgets/QtWidgets>
#elif DOMAIN_PROBE == 3
#include <QtPrintSupport/QPrinter>
#elif DOMAIN_PROBE == 4
#include <qcustomplot.h>
#elif DOMAIN_PROBE == 5
// A widget class of the project, reached through its header.
#include "plot/AdaptiveCurve.h"
#else
#include "core/Settings.h"

#include <QtGui/QPixmap>
#include <QtSerialPort/QSerialPort>
#endif

int domainProbe()
{
    return DOMAIN_PROBE;
}
