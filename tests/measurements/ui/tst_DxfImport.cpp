// A large drawing is read on a worker behind a progress window that can cancel the read: the
// program keeps answering meanwhile, and a cancelled import leaves no measurement behind.
#include "measurements/ui/ComparePlaneDXF.h"
#include "measurements/ui/DxfImport.h"
#include "measurements/ui/MeasurementsManager.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/ScriptedPrompts.h"

#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace testsupport;

namespace {

// A drawing of many short lines, a staircase along x, written to the working directory.
QString writeLargeDrawing(const QString &name, int lines)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(name));
    file.write("0\nSECTION\n2\nENTITIES\n");
    for (int i = 0; i < lines; ++i)
        file.write(QStringLiteral("0\nLINE\n8\n0\n10\n%1\n20\n%2\n11\n%3\n21\n%2\n")
                       .arg(i * 0.01)
                       .arg(i % 2 ? 0.5 : 0.0)
                       .arg((i + 1) * 0.01)
                       .toLatin1());
    file.write("0\nENDSEC\n0\nEOF\n");
    return QFileInfo(file).absoluteFilePath();
}

// The real reader, held at its first progress report until the GUI thread lets it go: what the
// GUI thread does meanwhile it can only do while the reader works on another thread.
class HeldReader
{
public:
    HeldReader()
    {
        setDxfReadFunction([this](QIODevice *device, double factor, const DxfReadProgress &p) {
            return read(device, factor, p);
        });
    }
    ~HeldReader()
    {
        release();
        setDxfReadFunction(nullptr);
    }

    void release() { m_gate.release(); }

    std::atomic<bool> onGuiThread {false};
    std::atomic<bool> waitedForTheGui {false};
    std::atomic<int> reports {0};
    QStringList problems;

private:
    DxfReadResult read(QIODevice *device, double factor, const DxfReadProgress &progress)
    {
        onGuiThread = QThread::currentThread() == qApp->thread();
        const DxfReadResult result = readDxf(device, factor, [&](qint64 done, qint64 total) {
            if (++reports == 1)
                waitedForTheGui = !onGuiThread && m_gate.tryAcquire(1, 60000);
            return progress(done, total);
        });
        problems = result.problems;
        return result;
    }

    QSemaphore m_gate;
};

} // namespace

class tst_DxfImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readsOnAWorkerWhileTheWindowAnswers();
    void cancelLeavesNoMeasurementBehind();

private:
    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<Plot> m_plot;
};

void tst_DxfImport::init()
{
    m_settings = std::make_unique<TempSettings>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_plot = std::make_unique<Plot>();
    m_plot->resize(800, 500);
    m_plot->xAxis->setRange(-1, 12);
    m_plot->yAxis->setRange(-1, 3);
    auto *trace = new AdaptiveCurve(m_plot->xAxis, m_plot->yAxis);
    QVector<double> keys, values;
    for (int i = 0; i <= 1000; ++i) {
        keys << i * 0.01;
        values << 1.0;
    }
    trace->setData(keys, values);
}

void tst_DxfImport::cleanup()
{
    m_plot.reset();
    m_prompts.reset();
    m_settings.reset();
    QCOMPARE(Measurement::liveCount(), 0);
}

// The progress window opens while the worker reads; the GUI thread handles it (it could not if
// it were reading), and the worker goes on to the whole drawing.
void tst_DxfImport::readsOnAWorkerWhileTheWindowAnswers()
{
    const int lines = 200000;
    const QString path = writeLargeDrawing(QStringLiteral("large.dxf"), lines);
    HeldReader reader;
    ModalAnswerer answerer([&reader](QWidget *window) {
        if (window->windowTitle() == DxfImportProgress::title())
            reader.release();
    });
    m_prompts->answers << path;
    PlotDriver driver(m_plot.get());
    ComparePlaneDXF m(nullptr, m_plot.get());

    QVERIFY(answerer.answered());
    QCOMPARE(answerer.answeredTitle(), DxfImportProgress::title());
    QVERIFY(!reader.onGuiThread);
    QVERIFY(reader.waitedForTheGui);
    QVERIFY(reader.reports > 10);
    QVERIFY(m.hasDrawing());
    QCOMPARE(m.drawing().size(), lines);
    QVERIFY(reader.problems.isEmpty());
}

// "Отмена" in the progress window stops the read; the import makes no measurement, asks and
// says nothing more, and the tool still waits for a click that chooses a file.
void tst_DxfImport::cancelLeavesNoMeasurementBehind()
{
    const QString path = writeLargeDrawing(QStringLiteral("large.dxf"), 200000);
    HeldReader reader;
    ModalAnswerer answerer([&reader](QWidget *window) {
        auto *progress = qobject_cast<DxfImportProgress *>(window);
        if (!progress)
            return;
        progress->cancelButton()->click();
        reader.release();
    });
    m_prompts->answers << path;
    PlotDriver driver(m_plot.get());
    MeasurementsManager manager(m_plot.get(), nullptr);
    manager.setTraces(QVector<AbstractTrace *>(1, nullptr));
    QSignalSpy enable(&manager, &MeasurementsManager::enableButton);
    QSignalSpy status(&manager, &MeasurementsManager::statusText);
    LogReader log;
    manager.setMeasurementType(COMPARE_PLANE_DXF, true, false, QString());
    const int items = m_plot->itemCount();

    driver.click(5, 1);
    QVERIFY(answerer.answered());
    QVERIFY(reader.waitedForTheGui);
    // The cancel reached the worker with the click, while the reader was still held at its
    // first report: the read stopped there.
    QCOMPARE(reader.problems, QStringList {dxfReadCancelledText()});
    QCOMPARE(int(reader.reports), 1);
    QVERIFY(!manager.currentMeasurement());
    QVERIFY(manager.measurementList().empty());
    QCOMPARE(Measurement::liveCount(), 0);
    QCOMPARE(enable.count(), 0);
    QCOMPARE(m_plot->itemCount(), items);
    QCOMPARE(m_prompts->kinds(), QStringList {"open"});
    QCOMPARE(manager.measurementType(), int(COMPARE_PLANE_DXF));
    // Nothing new for the status line: it keeps saying what the tool waits for.
    QVERIFY(status.isEmpty());
    QVERIFY(log.contains(QStringLiteral("INFO: DXF import of large.dxf cancelled")));
}

GUI_TEST_MAIN(tst_DxfImport)
#include "tst_DxfImport.moc"
