#include "measurements/ui/DxfImport.h"

#include "platform/DialogRunner.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <atomic>
#include <memory>

namespace {

DxfReadFunction &readFunction()
{
    static DxfReadFunction read;
    return read;
}

// How long work may take before its progress window opens: a small drawing is read, or a
// drawing fitted, without a window flashing up.
constexpr int kQuietMs = 300;
// How often the window shows the worker's progress.
constexpr int kProgressIntervalMs = 100;

} // namespace

void setDxfReadFunction(DxfReadFunction read)
{
    readFunction() = std::move(read);
}

QString DxfImportProgress::title()
{
    return QStringLiteral("Импорт чертежа");
}

WorkProgressWindow::WorkProgressWindow(QWidget *parent, const QString &title, const QString &text)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_label = new QLabel(text, this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_cancel = new QPushButton(QStringLiteral("Отмена"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(360, sizeHint().height());
}

void WorkProgressWindow::setProgress(qint64 done, qint64 total)
{
    if (total > 0)
        m_bar->setValue(int(qBound<qint64>(0, done * 100 / total, 100)));
}

DxfImportProgress::DxfImportProgress(QWidget *parent, const QString &shownName)
    : WorkProgressWindow(parent, title(), QStringLiteral("Чтение чертежа ") + shownName)
{ }

bool waitBehindProgress(WorkProgressWindow *window, const std::shared_ptr<WorkerProgress> &state,
                        QFuture<void> future, int waitAfterCancelMs)
{
    QFutureWatcher<void> watcher;
    // A short wait without user input first: most work is over by then.
    {
        QEventLoop quiet;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &quiet, &QEventLoop::quit);
        QTimer::singleShot(kQuietMs, &quiet, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            quiet.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!future.isFinished()) {
        QObject::connect(&watcher, &QFutureWatcherBase::finished, window, &QDialog::accept);
        QTimer progress;
        QObject::connect(&progress, &QTimer::timeout, window,
                         [window, state] { window->setProgress(state->done, state->total); });
        progress.start(kProgressIntervalMs);
        // "Отмена" (or Escape) reaches the worker at once, not when the dialog's loop returns.
        QObject::connect(window, &QDialog::rejected, window, [state] { state->cancel = true; });
        // The worker may have ended meanwhile: its finished signal is then already handled.
        if (!future.isFinished() && runDialog(window) != QDialog::Accepted)
            state->cancel = true;
    }
    if (!state->cancel.load() || waitAfterCancelMs < 0) {
        future.waitForFinished();
    } else if (!future.isFinished() && waitAfterCancelMs > 0) {
        QEventLoop stopping;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &stopping, &QEventLoop::quit);
        QTimer::singleShot(waitAfterCancelMs, &stopping, &QEventLoop::quit);
        if (!future.isFinished())
            stopping.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return state->cancel.load();
}

DxfImportResult importDxf(QWidget *parent, QIODevice *device, double unitFactor,
                          const QString &shownName)
{
    const DxfReadFunction read = readFunction()
        ? readFunction()
        : [](QIODevice *d, double factor, const DxfReadProgress &progress) {
              return readDxf(d, factor, progress);
          };
    auto state = std::make_shared<WorkerProgress>();
    auto result = std::make_shared<DxfImportResult>();
    const QFuture<void> future = QtConcurrent::run([read, device, unitFactor, state, result] {
        result->read = read(device, unitFactor, [state](qint64 done, qint64 total) {
            state->done = done;
            state->total = total;
            return !state->cancel.load();
        });
    });
    DxfImportProgress window(parent, shownName);
    // After a cancel the read stops at its next progress report; the device is the caller's,
    // so the wait goes on until then.
    result->cancelled = waitBehindProgress(&window, state, future, -1);
    return std::move(*result);
}
