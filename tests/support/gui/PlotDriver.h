#pragma once

#include <QPoint>
#include <QPointF>
#include <QVector>
#include <Qt>

class QCPAxis;
class QCustomPlot;

namespace testsupport {

// Drives a plot with synthesised mouse and wheel events at plot coordinates, as a user's hand
// would. The constructor shows the plot's window (offscreen), waits until it is exposed and
// replots, so that the axes map coordinates to the pixels the events use:
//
//     PlotDriver driver(window.plot);
//     driver.click(2.5, 0.1);                      // left press and release at x 2.5, y 0.1
//     driver.drag({1.0, 0.0}, {{2.0, 0.0}, {3.0, 0.0}});
//     driver.wheel(5.0, 0.0, 1);                   // one notch forward over (5, 0)
//
// Coordinates are on the plot's xAxis and yAxis unless other axes are given with setAxes.
// Events go straight to the plot widget (QApplication::sendEvent), each with the pixel position
// and its global position.
class PlotDriver
{
public:
    explicit PlotDriver(QCustomPlot *plot);

    void setAxes(QCPAxis *keyAxis, QCPAxis *valueAxis);
    // Replots and processes pending events (after a range change by the test).
    void refresh();

    QPoint pixel(double key, double value) const;
    QPointF coords(const QPoint &pixel) const;

    void move(double key, double value, Qt::MouseButtons held = Qt::NoButton,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void press(double key, double value, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void release(double key, double value, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void click(double key, double value, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void doubleClick(double key, double value, Qt::MouseButton button = Qt::LeftButton,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Press at from, move through every point (button held), release at the last one. The
    // pixels are those of the coordinates when the drag starts.
    void drag(const QPointF &from, const QVector<QPointF> &through,
              Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Wheel notches (120 units each; positive: away from the user) over the point.
    void wheel(double key, double value, int notches,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // The same at pixel positions of the plot widget.
    void movePixel(const QPoint &pos, Qt::MouseButtons held = Qt::NoButton,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void pressPixel(const QPoint &pos, Qt::MouseButton button = Qt::LeftButton,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void releasePixel(const QPoint &pos, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void wheelPixel(const QPoint &pos, int notches,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    QCustomPlot *plot() const { return m_plot; }

private:
    void mouse(int type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers);

    QCustomPlot *m_plot;
    QCPAxis *m_keyAxis;
    QCPAxis *m_valueAxis;
    Qt::MouseButtons m_held = Qt::NoButton;
};

} // namespace testsupport
