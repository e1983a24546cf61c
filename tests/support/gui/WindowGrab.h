#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <Qt>

class QWidget;

namespace testsupport {

// Shows a window offscreen, lets it lay itself out and paints it into a PNG in the working
// directory (the test's scratch folder), collecting every Qt warning sent meanwhile. Open the
// picture to check the window as a user would (clipped Cyrillic, empty plots, wrong units):
//
//     const GrabResult grab = grabWindow(&panel, "device_panel");
//     VERIFY_GRAB(grab);
struct GrabResult
{
    QString path; // absolute path of the PNG, empty when it could not be written
    QImage image; // the picture
    QStringList warnings; // Qt warnings sent while showing and painting
    bool ok() const { return !path.isEmpty() && warnings.isEmpty() && !image.isNull(); }
    QString problem() const;
};

GrabResult grabWindow(QWidget *window, const QString &name);

// The fraction of the picture's pixels that differ from its most common colour: near 0 means an
// empty window.
double inkRatio(const QImage &image);

// Sends a key event as the window system delivers it: to the native window of the top-level
// widget (the main window's QWindow, "MainWindowWindow"), which passes it to its focus widget.
// Application event filters see it at both.
void sendWindowKey(QWidget *topLevel, int type, Qt::Key key,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false,
                   const QString &text = QString());
void windowKeyPress(QWidget *topLevel, Qt::Key key,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void windowKeyRelease(QWidget *topLevel, Qt::Key key,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Sends a key event along the window system's road, as a keyboard delivers it to the window that
// has the keyboard focus (give that window: a dialog while it is open, the main window after): a
// press tries the shortcuts first, a window blocked by a modal dialog gets nothing, and the
// keyboard state that the program can query follows. Modifiers as the window system reports
// them: those held before the event, so Ctrl's own press has none and its release Ctrl.
void systemKey(QWidget *topLevel, int type, Qt::Key key,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A press and a release of the key.
void systemKeyClick(QWidget *topLevel, Qt::Key key,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace testsupport

#define VERIFY_GRAB(grab) QVERIFY2((grab).ok(), qPrintable((grab).problem()))
