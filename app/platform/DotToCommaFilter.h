#pragma once

#include <QObject>

class QDoubleSpinBox;
class QWidget;

// Makes the period-like keys type the decimal comma in a number entry.
//
// The program runs under the Russian locale, where a QDoubleSpinBox accepts only the comma as the
// decimal separator and silently drops a typed period ("0.005" would become 5). The filter turns
// a key press whose text is one of ". ? / ю Ю б Б < >" (the period key and its neighbours on the
// Latin and the Cyrillic layout) into a press of the comma key with the same modifiers, sent to
// the watched widget at once; the original press goes no further. Every other event passes.
//
// Use: installDotToCommaFilter(spinBox) for one entry (the filter becomes a child of the spin box
// and dies with it). `DecimalCommaGuard::install()` (done once by setupPlatform at start-up)
// installs the filter on every QDoubleSpinBox of the program when the spin box is first polished,
// so windows and dialogs built later, QInputDialog's double entry included, need no code of their
// own.
class DotToCommaFilter : public QObject
{
public:
    explicit DotToCommaFilter(QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // The characters that type the decimal comma.
    static const QString &periodLikeKeys();
};

// Installs a filter on the spin box unless it has one already; returns the spin box's filter.
DotToCommaFilter *installDotToCommaFilter(QDoubleSpinBox *spinBox);
// Installs a filter on every QDoubleSpinBox below root (root included).
void installDotToCommaFilters(QWidget *root);

// The application-wide watcher that gives every QDoubleSpinBox its DotToCommaFilter.
class DecimalCommaGuard : public QObject
{
public:
    // Installs the guard on the application object (once; later calls do nothing).
    static void install();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
