#include "support/gui/WindowGrab.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
#include <QtTest>

namespace testsupport {

QString GrabResult::problem() const
{
    QStringList parts;
    if (path.isEmpty())
        parts << QStringLiteral("the picture was not written");
    if (image.isNull())
        parts << QStringLiteral("the picture is empty");
    if (!warnings.isEmpty())
        parts << QStringLiteral("Qt warnings: ") + warnings.join(QStringLiteral("; "));
    return parts.join(QStringLiteral(", "));
}

GrabResult grabWindow(QWidget *window, const QString &name)
{
    GrabResult result;
    WarningCollector collector;
    // The offscreen platform says this of every window that has a layout; it is no fault.
    collector.allow(QRegularExpression(QStringLiteral("does not support propagateSizeHints")));
    if (!window->isVisible())
        window->show();
    if (!QTest::qWaitForWindowExposed(window))
        result.warnings << QStringLiteral("the window was not exposed");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    result.image = window->grab().toImage();
    const QString path = QDir::current().absoluteFilePath(name + QStringLiteral(".png"));
    if (!result.image.isNull() && result.image.save(path, "PNG"))
        result.path = path;
    result.warnings = collector.unexpected();
    return result;
}

double inkRatio(const QImage &image)
{
    if (image.isNull())
        return 0.0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x]];
    }
    int most = 0;
    for (int c : qAsConst(counts))
        most = std::max(most, c);
    const double total = double(rgb.width()) * rgb.height();
    return total > 0 ? (total - most) / total : 0.0;
}

void sendWindowKey(QWidget *topLevel, int type, Qt::Key key, Qt::KeyboardModifiers modifiers,
                   bool autoRepeat, const QString &text)
{
    QWidget *window = topLevel->window();
    if (!window->windowHandle())
        window->winId();
    QKeyEvent event(static_cast<QEvent::Type>(type), key, modifiers, text, autoRepeat);
    QCoreApplication::sendEvent(window->windowHandle(), &event);
}

void windowKeyPress(QWidget *topLevel, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    sendWindowKey(topLevel, QEvent::KeyPress, key, modifiers);
}

void windowKeyRelease(QWidget *topLevel, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    sendWindowKey(topLevel, QEvent::KeyRelease, key, modifiers);
}

void systemKey(QWidget *topLevel, int type, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *window = topLevel->window();
    if (!window->windowHandle())
        window->winId();
    // The text a keyboard gives with a printable key.
    QString text;
    if (key == Qt::Key_Space)
        text = QStringLiteral(" ");
    else if (key == Qt::Key_Return)
        text = QStringLiteral("\r");
    else if (key >= Qt::Key_0 && key <= Qt::Key_9)
        text = QChar(QLatin1Char(char('0' + (key - Qt::Key_0))));
    else if (key >= Qt::Key_A && key <= Qt::Key_Z && !modifiers.testFlag(Qt::ControlModifier))
        text = QChar(QLatin1Char(char('a' + (key - Qt::Key_A))));
    qt_handleKeyEvent(window->windowHandle(), static_cast<QEvent::Type>(type), key, modifiers,
                      text);
}

void systemKeyClick(QWidget *topLevel, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    systemKey(topLevel, QEvent::KeyPress, key, modifiers);
    systemKey(topLevel, QEvent::KeyRelease, key, modifiers);
}

} // namespace testsupport
