#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

class QDialog;
class QObject;

// Keyboard jogging must be off while any dialog of the program is open: on Linux the file and
// colour dialogs are Qt widgets, so Return would start a trace and the arrow keys would move the
// probe while a path is typed.
//
// The device panel registers its key receiver here (registerJogReceiver). Every dialog is then
// run through runDialog, which blocks the receiver's signals for the time of the dialog:
//
//     CalibRaDialog dialog(this);
//     if (runDialog(&dialog) == QDialog::Accepted) ...
//
// Code that opens something modal without a QDialog (a context menu, a static prompt) holds a
// JogBlocker for that time instead. Blocks nest; the previous state comes back at the end.
//
// Tests: DialogInterceptor (below) answers every dialog that runDialog is given without running
// its event loop.

// The key receiver that runDialog blocks. The pointer is watched: a deleted receiver is dropped.
void registerJogReceiver(QObject *receiver);
void unregisterJogReceiver(QObject *receiver);
QList<QObject *> jogReceivers();
// True while a JogBlocker (or runDialog) is active.
bool jogBlocked();

class JogBlocker
{
public:
    JogBlocker();
    ~JogBlocker();
    JogBlocker(const JogBlocker &) = delete;
    JogBlocker &operator=(const JogBlocker &) = delete;

private:
    QList<QPointer<QObject>> m_receivers;
    QList<bool> m_previous;
};

// Runs the dialog modally (QDialog::exec) with keyboard jogging blocked and returns exec's
// result. The dialog is not deleted.
int runDialog(QDialog *dialog);

// Replaces the modal loop of runDialog while it lives, so a test answers dialogs in place: the
// handler gets the dialog (built, not shown) and acts on it, for example clicks its "Принять"
// button; runDialog then returns the dialog's result(). Interceptors nest (the innermost one
// answers). While one is active, `seen` lists the window titles of the dialogs it answered.
class DialogInterceptor
{
public:
    using Handler = std::function<void(QDialog *)>;
    explicit DialogInterceptor(Handler handler);
    ~DialogInterceptor();
    DialogInterceptor(const DialogInterceptor &) = delete;
    DialogInterceptor &operator=(const DialogInterceptor &) = delete;

    QStringList seen;
    // Jogging was blocked while the handler ran, for every dialog answered.
    bool jogWasBlocked = true;

private:
    friend int runDialog(QDialog *dialog);
    Handler m_handler;
    DialogInterceptor *m_outer;
};
