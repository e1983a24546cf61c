#include "platform/DialogRunner.h"

#include <QDialog>

namespace {

QList<QPointer<QObject>> &registry()
{
    static QList<QPointer<QObject>> receivers;
    return receivers;
}

int &blockDepth()
{
    static int depth = 0;
    return depth;
}

DialogInterceptor *&currentInterceptor()
{
    static DialogInterceptor *interceptor = nullptr;
    return interceptor;
}

} // namespace

void registerJogReceiver(QObject *receiver)
{
    if (!receiver)
        return;
    registry().removeAll(QPointer<QObject>());
    for (const QPointer<QObject> &known : qAsConst(registry())) {
        if (known == receiver)
            return;
    }
    registry().append(receiver);
    // A receiver registered while a dialog is already open starts out blocked as well.
    if (blockDepth() > 0)
        receiver->blockSignals(true);
}

void unregisterJogReceiver(QObject *receiver)
{
    registry().removeAll(QPointer<QObject>(receiver));
    registry().removeAll(QPointer<QObject>());
}

QList<QObject *> jogReceivers()
{
    QList<QObject *> result;
    for (const QPointer<QObject> &receiver : qAsConst(registry())) {
        if (receiver)
            result.append(receiver.data());
    }
    return result;
}

bool jogBlocked()
{
    return blockDepth() > 0;
}

JogBlocker::JogBlocker()
{
    ++blockDepth();
    for (const QPointer<QObject> &receiver : qAsConst(registry())) {
        if (!receiver)
            continue;
        m_receivers.append(receiver);
        m_previous.append(receiver->blockSignals(true));
    }
}

JogBlocker::~JogBlocker()
{
    for (int i = m_receivers.size() - 1; i >= 0; --i) {
        if (m_receivers.at(i))
            m_receivers.at(i)->blockSignals(m_previous.at(i));
    }
    --blockDepth();
}

int runDialog(QDialog *dialog)
{
    if (!dialog)
        return QDialog::Rejected;
    JogBlocker blocker;
    if (DialogInterceptor *interceptor = currentInterceptor()) {
        interceptor->seen.append(dialog->windowTitle());
        bool allBlocked = true;
        for (QObject *receiver : jogReceivers())
            allBlocked = allBlocked && receiver->signalsBlocked();
        interceptor->jogWasBlocked = interceptor->jogWasBlocked && allBlocked;
        dialog->setResult(QDialog::Rejected);
        interceptor->m_handler(dialog);
        return dialog->result();
    }
    return dialog->exec();
}

DialogInterceptor::DialogInterceptor(Handler handler)
    : m_handler(std::move(handler))
    , m_outer(currentInterceptor())
{
    currentInterceptor() = this;
}

DialogInterceptor::~DialogInterceptor()
{
    currentInterceptor() = m_outer;
}
