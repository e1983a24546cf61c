#include "support/gui/PlotDriver.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>
#include <qcustomplot.h>

namespace testsupport {

PlotDriver::PlotDriver(QCustomPlot *plot)
    : m_plot(plot)
    , m_keyAxis(plot->xAxis)
    , m_valueAxis(plot->yAxis)
{
    QWidget *window = plot->window();
    if (!window->isVisible())
        window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    refresh();
}

void PlotDriver::setAxes(QCPAxis *keyAxis, QCPAxis *valueAxis)
{
    m_keyAxis = keyAxis;
    m_valueAxis = valueAxis;
}

void PlotDriver::refresh()
{
    QCoreApplication::processEvents();
    m_plot->replot();
    QCoreApplication::processEvents();
}

QPoint PlotDriver::pixel(double key, double value) const
{
    return QPointF(m_keyAxis->coordToPixel(key), m_valueAxis->coordToPixel(value)).toPoint();
}

QPointF PlotDriver::coords(const QPoint &pixel) const
{
    return QPointF(m_keyAxis->pixelToCoord(pixel.x()), m_valueAxis->pixelToCoord(pixel.y()));
}

void PlotDriver::mouse(int type, const QPoint &pos, Qt::MouseButton button,
                       Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    QMouseEvent event(static_cast<QEvent::Type>(type), QPointF(pos), m_plot->mapToGlobal(pos),
                      button, buttons, modifiers);
    QApplication::sendEvent(m_plot, &event);
}

void PlotDriver::movePixel(const QPoint &pos, Qt::MouseButtons held,
                           Qt::KeyboardModifiers modifiers)
{
    mouse(QEvent::MouseMove, pos, Qt::NoButton, held | m_held, modifiers);
}

void PlotDriver::pressPixel(const QPoint &pos, Qt::MouseButton button,
                            Qt::KeyboardModifiers modifiers)
{
    m_held |= button;
    mouse(QEvent::MouseButtonPress, pos, button, m_held, modifiers);
}

void PlotDriver::releasePixel(const QPoint &pos, Qt::MouseButton button,
                              Qt::KeyboardModifiers modifiers)
{
    m_held &= ~Qt::MouseButtons(button);
    mouse(QEvent::MouseButtonRelease, pos, button, m_held, modifiers);
}

void PlotDriver::wheelPixel(const QPoint &pos, int notches, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(pos), QPointF(m_plot->mapToGlobal(pos)), QPoint(),
                      QPoint(0, 120 * notches), m_held, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_plot, &event);
}

void PlotDriver::move(double key, double value, Qt::MouseButtons held,
                      Qt::KeyboardModifiers modifiers)
{
    movePixel(pixel(key, value), held, modifiers);
}

void PlotDriver::press(double key, double value, Qt::MouseButton button,
                       Qt::KeyboardModifiers modifiers)
{
    pressPixel(pixel(key, value), button, modifiers);
}

void PlotDriver::release(double key, double value, Qt::MouseButton button,
                         Qt::KeyboardModifiers modifiers)
{
    releasePixel(pixel(key, value), button, modifiers);
}

void PlotDriver::click(double key, double value, Qt::MouseButton button,
                       Qt::KeyboardModifiers modifiers)
{
    const QPoint pos = pixel(key, value);
    movePixel(pos, Qt::NoButton, modifiers);
    pressPixel(pos, button, modifiers);
    releasePixel(pos, button, modifiers);
}

void PlotDriver::doubleClick(double key, double value, Qt::MouseButton button,
                             Qt::KeyboardModifiers modifiers)
{
    const QPoint pos = pixel(key, value);
    pressPixel(pos, button, modifiers);
    releasePixel(pos, button, modifiers);
    m_held |= button;
    mouse(QEvent::MouseButtonDblClick, pos, button, m_held, modifiers);
    releasePixel(pos, button, modifiers);
}

void PlotDriver::drag(const QPointF &from, const QVector<QPointF> &through, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers)
{
    // Every pixel is taken before the press: a drag that pans or zooms the plot must not move
    // the points still to come.
    const QPoint start = pixel(from.x(), from.y());
    QVector<QPoint> path;
    for (const QPointF &p : through)
        path.append(pixel(p.x(), p.y()));
    movePixel(start, Qt::NoButton, modifiers);
    pressPixel(start, button, modifiers);
    for (const QPoint &p : path)
        movePixel(p, Qt::NoButton, modifiers);
    releasePixel(path.isEmpty() ? start : path.last(), button, modifiers);
}

void PlotDriver::wheel(double key, double value, int notches, Qt::KeyboardModifiers modifiers)
{
    wheelPixel(pixel(key, value), notches, modifiers);
}

} // namespace testsupport
