#include "support/gui/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QtTest>

namespace testsupport {

namespace {
constexpr int kPollMs = 5;
} // namespace

ModalAnswerer::ModalAnswerer(Action action, int timeoutMs)
    : m_action(std::move(action))
    , m_remainingPolls(timeoutMs / kPollMs)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
    m_timer.start();
}

void ModalAnswerer::poll()
{
    if (--m_remainingPolls < 0) {
        m_timer.stop();
        return;
    }
    QWidget *window = QApplication::activePopupWidget();
    if (!window)
        window = QApplication::activeModalWidget();
    if (!window || !window->isVisible())
        return;
    m_timer.stop();
    m_answered = true;
    m_title = window->windowTitle().isEmpty() ? window->objectName() : window->windowTitle();
    m_action(window);
}

bool ModalAnswerer::clickButton(QWidget *window, const QString &text)
{
    const QList<QAbstractButton *> buttons = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->isVisible() && button->isEnabled()
            && button->text().remove(QLatin1Char('&')) == text) {
            button->click();
            return true;
        }
    }
    return false;
}

void ModalAnswerer::accept(QWidget *window)
{
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->accept();
    else
        window->close();
}

void ModalAnswerer::reject(QWidget *window)
{
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->reject();
    else
        window->close();
}

bool ModalAnswerer::waitClosed(QWidget *window, int timeoutMs)
{
    const QPointer<QWidget> watched(window);
    if (QTest::qWaitFor([&watched] { return !watched || !watched->isVisible(); }, timeoutMs))
        return true;
    reject(window);
    return false;
}

} // namespace testsupport
