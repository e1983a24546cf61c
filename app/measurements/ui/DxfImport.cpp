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

// How long a read may take before its progress window opens: a small drawing is read without
// a window flashing up.
constexpr int kQuietReadMs = 300;
// How often the window shows the worker's progress.
constexpr int kProgressIntervalMs = 100;

// What the worker and the GUI thread share: the worker writes the progress, the GUI thread
// the cancel.
struct ReadState
{
    std::atomic<qint64> done {0};
    std::atomic<qint64> total {0};
    std::atomic<bool> cancel {false};
};

} // namespace

void setDxfReadFunction(DxfReadFunction read)
{
    readFunction() = std::move(read);
}

QString DxfImportProgress::title()
{
    return QStringLiteral("Импорт чертежа");
}

DxfImportProgress::DxfImportProgress(QWidget *parent, const QString &shownName)
    : QDialog(parent)
{
    setWindowTitle(title());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_label = new QLabel(QStringLiteral("Чтение чертежа ") + shownName, this);
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

void DxfImportProgress::setProgress(qint64 done, qint64 total)
{
    if (total > 0)
        m_bar->setValue(int(qBound<qint64>(0, done * 100 / total, 100)));
}

DxfImportResult importDxf(QWidget *parent, QIODevice *device, double unitFactor,
                          const QString &shownName)
{
    const DxfReadFunction read = readFunction()
        ? readFunction()
        : [](QIODevice *d, double factor, const DxfReadProgress &progress) {
              return readDxf(d, factor, progress);
          };
    auto state = std::make_shared<ReadState>();
    QFuture<DxfReadResult> future = QtConcurrent::run([read, device, unitFactor, state] {
        return read(device, unitFactor, [state](qint64 done, qint64 total) {
            state->done = done;
            state->total = total;
            return !state->cancel.load();
        });
    });
    QFutureWatcher<DxfReadResult> watcher;

    // A short wait without user input first: most drawings are read by then.
    {
        QEventLoop quiet;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &quiet, &QEventLoop::quit);
        QTimer::singleShot(kQuietReadMs, &quiet, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            quiet.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!future.isFinished()) {
        DxfImportProgress window(parent, shownName);
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &window, &QDialog::accept);
        QTimer progress;
        QObject::connect(&progress, &QTimer::timeout, &window,
                         [&window, state] { window.setProgress(state->done, state->total); });
        progress.start(kProgressIntervalMs);
        // "Отмена" (or Escape) reaches the worker at once, not when the dialog's loop returns.
        QObject::connect(&window, &QDialog::rejected, &window, [state] { state->cancel = true; });
        // The worker may have ended meanwhile: its finished signal is then already handled.
        if (!future.isFinished() && runDialog(&window) != QDialog::Accepted)
            state->cancel = true;
    }
    // After a cancel the read stops at its next progress report.
    future.waitForFinished();
    DxfImportResult result;
    result.read = future.result();
    result.cancelled = state->cancel.load();
    return result;
}
