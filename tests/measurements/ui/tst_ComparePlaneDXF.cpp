#include "measurements/ui/ComparePlaneDXF.h"
#include "measurements/ui/MeasurementsManager.h"
#include "measurements/ui/ReperPoint.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"
#include "support/Fifo.h"
#include "support/LogReader.h"
#include "support/TempSettings.h"
#include "support/gui/GuiTest.h"
#include "support/gui/HeldFit.h"
#include "support/gui/ModalAnswerer.h"
#include "support/gui/PlotDriver.h"
#include "support/gui/ScriptedPrompts.h"
#include "support/gui/WindowGrab.h"

#include <QFile>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <memory>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The contour of a stepped part in millimetres, as a CAD program writes it.
const char kStepDxf[] = "  0\nSECTION\n  2\nENTITIES\n"
                        "  0\nLINE\n  8\n0\n 10\n0\n 20\n0\n 11\n4\n 21\n0\n"
                        "  0\nARC\n  8\n0\n 10\n4\n 20\n1\n 40\n1\n 50\n270\n 51\n360\n"
                        "  0\nLINE\n  8\n0\n 10\n5\n 20\n1\n 11\n5\n 21\n3\n"
                        "  0\nLINE\n  8\n0\n 10\n5\n 20\n3\n 11\n9\n 21\n3\n"
                        "  0\nARC\n  8\n0\n 10\n9\n 20\n2\n 40\n1\n 50\n0\n 51\n90\n"
                        "  0\nLINE\n  8\n0\n 10\n10\n 20\n2\n 11\n12\n 21\n2\n"
                        "  0\nENDSEC\n  0\nEOF\n";

const double kTurn = 3.0;
const QPointF kPivot(1, 2);
const QPointF kShift(0.2, 0.1);

QPointF placed(const QPointF &p)
{
    const double a = kTurn * kPi / 180.0;
    const QPointF d = p - kPivot;
    return kPivot
        + QPointF(d.x() * std::cos(a) - d.y() * std::sin(a),
                  d.x() * std::sin(a) + d.y() * std::cos(a))
        + kShift;
}

// The measured contour: the part turned by 3° about (1, 2) and shifted by (0.2, 0.1), a point
// every 2 µm, the corners included.
QVector<QPointF> contour()
{
    QVector<QPointF> points;
    auto line = [&](QPointF a, QPointF b) {
        const int n = int(std::lround(QLineF(a, b).length() / 0.002));
        for (int i = 0; i < n; ++i)
            points << placed(a + (b - a) * (double(i) / n));
    };
    auto arc = [&](QPointF c, double from, double to) {
        const int n = int(std::lround(std::abs(to - from) * kPi / 180.0 / 0.002));
        for (int i = 0; i < n; ++i) {
            const double t = (from + (to - from) * i / n) * kPi / 180.0;
            points << placed(c + QPointF(std::cos(t), std::sin(t)));
        }
    };
    line({0, 0}, {4, 0});
    arc({4, 1}, 270, 360);
    line({5, 1}, {5, 3});
    line({5, 3}, {9, 3});
    arc({9, 2}, 90, 0);
    line({10, 2}, {12, 2});
    points << placed({12, 2});
    return points;
}

} // namespace

class TestComparePlaneDXF : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fitsDrawingPickedOnVertex();
    void fitRunsOnAWorker_data();
    void fitRunsOnAWorker();
    void manyReperPointsStayOutOfTheLegend();
    void importRefusals_data();
    void importRefusals();
    void importThroughManager();
    void fittedDrawingTurnsWithTheLevelling();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);

    std::unique_ptr<testsupport::TempSettings> m_settings;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    Plot *m_plot = nullptr;
    AdaptiveCurve *m_trace = nullptr;
};

QString TestComparePlaneDXF::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(name));
    return QFileInfo(file).absoluteFilePath();
}

void TestComparePlaneDXF::init()
{
    m_settings = std::make_unique<testsupport::TempSettings>();
    m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
    m_plot = new Plot;
    m_plot->resize(900, 500);
    m_plot->setInteractions(Plot::iRangeSelection);
    m_plot->xAxis->setRange(-0.5, 13);
    m_plot->yAxis->setRange(-1, 5);
    m_trace = new AdaptiveCurve(m_plot->xAxis, m_plot->yAxis);
    QVector<double> keys, values;
    for (const QPointF &p : contour()) {
        keys << p.x();
        values << p.y();
    }
    m_trace->setData(keys, values);
}

void TestComparePlaneDXF::cleanup()
{
    delete m_plot;
    m_plot = nullptr;
    m_prompts.reset();
    m_settings.reset();
}

// The trace is the drawing turned by 3° and shifted by (0.2, 0.1) mm. The operator picks the
// trace's corner and then the drawing's corner; the fit puts the drawing on the trace within
// 0.01° and 1 µm. Afterwards a change to micrometres scales the drawing with the trace.
void TestComparePlaneDXF::fitsDrawingPickedOnVertex()
{
    m_prompts->answers << writeFile(QStringLiteral("step.DXF"), kStepDxf);
    testsupport::PlotDriver driver(m_plot);
    ComparePlaneDXF m(nullptr, m_plot);
    QSignalSpy status(&m, &Measurement::statusText);
    QSignalSpy finished(&m, &Measurement::measumentFinished);
    QCOMPARE(m_prompts->kinds(), QStringList {"open"});
    QCOMPARE(m_prompts->asked.at(0).title, QStringLiteral("Импортировать чертёж"));
    QVERIFY(m.hasDrawing());
    QCOMPARE(m.drawing().size(), 6);
    QVERIFY(m.items().item());
    QVERIFY(m.items().item()->drawing().sharesStorageWith(m.drawing()));
    QVERIFY(m.reperPointCount() > 0);
    // The first prompt reaches whoever connects right after construction.
    QTRY_COMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), ComparePlaneDXF::tracePointText());

    // A right click does nothing.
    const QPointF traceCorner = placed({5, 3});
    driver.move(traceCorner.x(), traceCorner.y());
    driver.click(traceCorner.x(), traceCorner.y(), Qt::RightButton);
    QCOMPARE(m.stage(), 0);

    driver.click(traceCorner.x(), traceCorner.y());
    QCOMPARE(m.stage(), 1);
    QCOMPARE(status.last().at(0).toString(), ComparePlaneDXF::drawingPointText());
    VERIFY_GRAB(testsupport::grabWindow(m_plot, QStringLiteral("dxf_before_fit")));

    // A second pick on the trace is not a point of the drawing.
    const QPointF traceEnd = placed({12, 2});
    driver.move(traceEnd.x(), traceEnd.y());
    driver.click(traceEnd.x(), traceEnd.y());
    QCOMPARE(m.stage(), 1);

    driver.move(5, 3);
    driver.click(5, 3);
    QCOMPARE(m.stage(), 2);
    QVERIFY(m.isFinished());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(status.last().at(0).toString(), QString());
    QCOMPARE(m.drawingPoint(), QPointF(5, 3));
    QCOMPARE(m.reperPointCount(), 0);
    VERIFY_GRAB(testsupport::grabWindow(m_plot, QStringLiteral("dxf_after_fit")));

    const DxfEntity &top = m.drawing().entity(3);
    const double angle = std::atan2(top.end.y() - top.start.y(), top.end.x() - top.start.x());
    QVERIFY2(std::abs(angle * 180 / kPi - kTurn) < 0.01, qPrintable(QString::number(angle)));
    for (const QPointF &corner : {QPointF(0, 0), QPointF(5, 1), QPointF(9, 3), QPointF(12, 2)}) {
        double nearest = 1e9;
        for (int i = 0; i < m.drawing().size(); ++i) {
            for (const QPointF &p : m.drawing().entity(i).reperPoints().mid(0, 2))
                nearest = std::min(nearest, QLineF(p, placed(corner)).length());
        }
        QVERIFY2(nearest < 1e-3, qPrintable(QString::number(nearest * 1000) + " µm"));
    }
    // The plot shows the fitted drawing, from the same storage.
    QCOMPARE(m.items().item()->drawing().entity(3).start, top.start);
    QVERIFY(m.items().item()->drawing().sharesStorageWith(m.drawing()));
    QVERIFY(distanceToDrawing(m_plot, traceCorner.x(), traceCorner.y()) < 1e-3);
    Plot other;
    QCOMPARE(distanceToDrawing(&other, 0, 0), DxfDrawing::kNoDistance);

    // Millimetres to micrometres: the traces are multiplied by 1000, and so is the drawing.
    const DxfEntity before = m.drawing().entity(3);
    const QPointF pickedBefore = m.tracePoint();
    QVERIFY(QLineF(pickedBefore, traceCorner).length() < 0.02);
    m_settings->change([](Settings &s) { s.view.axis_unit = 1; });
    for (auto it = m_trace->data()->begin(); it != m_trace->data()->end(); ++it) {
        it->key *= 1000;
        it->value *= 1000;
    }
    m.followTransform(PlotTransform::scaling(1000));
    QVERIFY(QLineF(m.drawing().entity(3).start, before.start * 1000).length() < 1e-6);
    QVERIFY(m.items().item()->drawing().sharesStorageWith(m.drawing()));
    QVERIFY(QLineF(m.tracePoint(), pickedBefore * 1000).length() < 1e-6);
    // A second recalculation in the same unit changes nothing.
    m.calculate();
    QVERIFY(QLineF(m.drawing().entity(3).end, before.end * 1000).length() < 1e-6);
}

void TestComparePlaneDXF::fitRunsOnAWorker_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("let run") << false;
    QTest::newRow("cancelled") << true;
}

// The fit runs on a worker behind a progress window. Let run, it places the drawing as the fit
// on the GUI thread did. "Отмена" leaves the drawing unplaced where it was before the picks,
// its points again snap targets, the measurement waiting for a trace point; the window goes on
// answering, and the next two picks fit the drawing.
void TestComparePlaneDXF::fitRunsOnAWorker()
{
    QFETCH(bool, cancel);
    m_prompts->answers << writeFile(QStringLiteral("step.DXF"), kStepDxf);
    testsupport::PlotDriver driver(m_plot);
    ComparePlaneDXF m(nullptr, m_plot);
    QSignalSpy status(&m, &Measurement::statusText);
    QSignalSpy finished(&m, &Measurement::measumentFinished);
    QTRY_COMPARE(status.count(), 1);
    const DxfDrawing imported = m.drawing();
    const int reperPoints = m.reperPointCount();
    HeldFit held;
    testsupport::ModalAnswerer answerer([&](QWidget *window) {
        auto *progress = qobject_cast<DrawingFitProgress *>(window);
        if (!progress)
            return;
        if (cancel)
            progress->cancelButton()->click();
        held.release();
    });

    const QPointF traceCorner = placed({5, 3});
    driver.move(traceCorner.x(), traceCorner.y());
    driver.click(traceCorner.x(), traceCorner.y());
    driver.move(5, 3);
    driver.click(5, 3);
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.answeredTitle(), DrawingFitProgress::title());
    if (!cancel) {
        QVERIFY(!held.onGuiThread);
        QVERIFY(held.waitedForTheGui);
    }
    if (cancel) {
        QCOMPARE(m.stage(), 0);
        QVERIFY(!m.isFinished());
        QCOMPARE(finished.count(), 0);
        QVERIFY(!m.comparisonDrawing());
        QCOMPARE(status.last().at(0).toString(), ComparePlaneDXF::tracePointText());
        QCOMPARE(m.reperPointCount(), reperPoints);
        for (int i = 0; i < imported.size(); ++i) {
            QVERIFY(QLineF(m.drawing().entity(i).start, imported.entity(i).start).length() < 1e-12);
            QVERIFY(QLineF(m.drawing().entity(i).centre, imported.entity(i).centre).length()
                    < 1e-12);
        }
        QVERIFY(m.items().item()->drawing().sharesStorageWith(m.drawing()));
        // The window did not wait for the worker, which saw the cancel and stopped.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        QVERIFY(!held.onGuiThread);
        QVERIFY(held.waitedForTheGui);
        QVERIFY(held.stopped);

        driver.move(traceCorner.x(), traceCorner.y());
        driver.click(traceCorner.x(), traceCorner.y());
        QCOMPARE(m.stage(), 1);
        driver.move(5, 3);
        driver.click(5, 3);
        QCOMPARE(held.runs.load(), 2);
    }
    QCOMPARE(m.stage(), 2);
    QVERIFY(m.isFinished());
    QCOMPARE(finished.count(), 1);
    QVERIFY(!held.stopped);
    QCOMPARE(m.comparisonDrawing(), &m.drawing());
    const DxfEntity &top = m.drawing().entity(3);
    const double angle = std::atan2(top.end.y() - top.start.y(), top.end.x() - top.start.x());
    QVERIFY2(std::abs(angle * 180 / kPi - kTurn) < 0.01, qPrintable(QString::number(angle)));
    QVERIFY(QLineF(top.start, placed({5, 3})).length() < 1e-3);
}

// A drawing of many entities has the most reper points; they are snap targets, not plottables
// of the legend, which would be laid out again at every one that comes or goes (seconds for a
// drawing's thousands, with the window standing still).
void TestComparePlaneDXF::manyReperPointsStayOutOfTheLegend()
{
    DxfDrawing drawing;
    for (int i = 0; i < 400; ++i)
        drawing.append(
            DxfEntity::line(QPointF(i * 0.03, 0), QPointF(i * 0.03 + 0.03, 0.01 * (i % 2))));
    const int legendItems = m_plot->legend->itemCount();
    ComparePlaneDXF m(m_plot, drawing);
    QCOMPARE(m.reperPointCount(), ComparePlaneDXF::kMaxReperPoints);
    QCOMPARE(m_plot->legend->itemCount(), legendItems);
    for (const ReperPoint *point : m.reperPointList())
        QVERIFY(!m_plot->legend->itemWithPlottable(point->snapCurve()));
}

void TestComparePlaneDXF::importRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("logged");

    const QString cannotOpen = QStringLiteral("Не удалось открыть файл ");
    QTest::newRow("cancelled") << QString() << QByteArray() << QString() << QString();
    QTest::newRow("missing file") << QStringLiteral("missing.dxf") << QByteArray() << cannotOpen
                                  << QStringLiteral("ERROR: Can't open file %1");
    QTest::newRow("fifo") << QStringLiteral("<fifo>") << QByteArray() << cannotOpen
                          << QStringLiteral("ERROR: Can't open file %1: not a regular file");
    QTest::newRow("folder") << QStringLiteral("<folder>") << QByteArray() << cannotOpen
                            << QStringLiteral("ERROR: Can't open file %1: not a regular file");
    QTest::newRow("nothing to draw")
        << QStringLiteral("empty.dxf")
        << QByteArray("0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\nR5\n0\nENDSEC\n0\nEOF\n")
        << QStringLiteral("В чертеже нет отрезков, дуг, окружностей или эллипсов: ") << QString();
}

// A cancelled or failed import leaves a measurement without drawing that takes no clicks; the
// user is told why a file was refused. A pipe is refused without waiting on it.
void TestComparePlaneDXF::importRefusals()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, warning);
    QFETCH(QString, logged);

    testsupport::Fifo fifo;
    QVERIFY(fifo.isValid());
    QString path;
    if (file == QLatin1String("<fifo>"))
        path = fifo.path();
    else if (file == QLatin1String("<folder>"))
        path = QDir::currentPath();
    else if (!file.isEmpty())
        path
            = content.isEmpty() ? QDir::current().absoluteFilePath(file) : writeFile(file, content);
    m_prompts->answers << (path.isEmpty() ? QVariant() : QVariant(path));
    testsupport::PlotDriver driver(m_plot);
    const int items = m_plot->itemCount();
    testsupport::LogReader log;
    std::unique_ptr<ComparePlaneDXF> made;
    QVERIFY(fifo.returnsInTime([&] { made = std::make_unique<ComparePlaneDXF>(nullptr, m_plot); }));
    ComparePlaneDXF &m = *made;
    QVERIFY(!m.hasDrawing());
    if (warning.isEmpty()) {
        QCOMPARE(m_prompts->kinds(), QStringList {"open"});
    } else {
        QCOMPARE(m_prompts->kinds(), (QStringList {"open", "warning"}));
        QCOMPARE(m_prompts->asked.at(1).title, QStringLiteral("Ошибка"));
        QCOMPARE(m_prompts->asked.at(1).text, warning + path);
    }
    if (!logged.isEmpty())
        QVERIFY2(log.contains(logged.arg(path)), qPrintable(log.entries().join('\n')));
    QCOMPARE(m_plot->itemCount(), items);
    const QPointF p = placed({5, 3});
    driver.move(p.x(), p.y());
    driver.click(p.x(), p.y());
    QCOMPARE(m.stage(), 0);
    QCOMPARE(distanceToDrawing(m_plot, p.x(), p.y()), DxfDrawing::kNoDistance);
}

// With the drawing tool a press on the plot asks for the file: a cancel leaves nothing behind
// and the tool stays; an import makes the listed drawing measurement, enables the
// deviation-from-drawing tool and ends the tool. Removing the drawing disables that tool again.
void TestComparePlaneDXF::importThroughManager()
{
    m_prompts->answers << QVariant() << writeFile(QStringLiteral("step.dxf"), kStepDxf);
    testsupport::PlotDriver driver(m_plot);
    MeasurementsManager manager(m_plot, nullptr);
    QSignalSpy enable(&manager, &MeasurementsManager::enableButton);
    QSignalSpy status(&manager, &MeasurementsManager::statusText);
    manager.setMeasurementType(COMPARE_PLANE_DXF, true, false, QString());

    driver.click(6, 4);
    QVERIFY(!manager.currentMeasurement());
    QCOMPARE(int(manager.measurementList().size()), 0);
    QCOMPARE(enable.count(), 0);
    QCOMPARE(manager.measurementType(), int(COMPARE_PLANE_DXF));

    driver.click(6, 4);
    QCOMPARE(int(manager.measurementList().size()), 1);
    Measurement *drawing = manager.measurementList().front();
    QCOMPARE(drawing->name(), QStringLiteral("Чертёж DXF"));
    QCOMPARE(enable.count(), 1);
    QCOMPARE(enable.at(0).at(0).toBool(), true);
    QCOMPARE(manager.measurementType(), int(NO_MEASUREMENT));
    QTRY_VERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toString(), ComparePlaneDXF::tracePointText());
    QCOMPARE(m_prompts->kinds(), (QStringList {"open", "open"}));

    manager.removeMeasurement(drawing->id());
    QCOMPARE(enable.count(), 2);
    QCOMPARE(enable.at(1).at(0).toBool(), false);
    QCOMPARE(distanceToDrawing(m_plot, 5, 3), DxfDrawing::kNoDistance);
}

// A levelling turns every curve of the plot; a drawing fitted to the contour turns with it, so
// that the deviation from the drawing stays what it was, and so does the drawing's direction
// relative to the contour.
void TestComparePlaneDXF::fittedDrawingTurnsWithTheLevelling()
{
    m_prompts->answers << writeFile(QStringLiteral("step.dxf"), kStepDxf);
    testsupport::PlotDriver driver(m_plot);
    MeasurementsManager manager(m_plot, nullptr);
    manager.reperPoints()->setCursorMover([](const QPoint &) {});
    manager.setTraces(QVector<AbstractTrace *>(1, nullptr));
    auto dragAlong = [&](const QPointF &from, const QPointF &to) {
        QVector<QPointF> path;
        for (int s = 1; s <= 8; ++s)
            path << placed(from + (to - from) * (s / 8.0));
        driver.drag(placed(from), path);
    };

    // The drawing, fitted by its corner.
    manager.setMeasurementType(COMPARE_PLANE_DXF, true, false, QString());
    driver.click(6, 4);
    auto *drawing = dynamic_cast<ComparePlaneDXF *>(manager.currentMeasurement());
    QVERIFY(drawing);
    const QPointF traceCorner = placed({5, 3});
    driver.move(traceCorner.x(), traceCorner.y());
    driver.click(traceCorner.x(), traceCorner.y());
    driver.move(5, 3);
    driver.click(5, 3);
    QCOMPARE(drawing->stage(), 2);

    // The deviation from it along the top of the part, its label placed below.
    manager.setMeasurementType(ERROR_PLANE, true, false, QString());
    dragAlong({5.5, 3}, {8.5, 3});
    driver.move(7, 0);
    driver.click(7, 0);
    Measurement *deviation = manager.measurementList().back();
    QCOMPARE(deviation->type(), int(ERROR_PLANE));
    QVERIFY(deviation->isFinished());
    QVERIFY(deviation->hasValue());
    const double fitted = deviation->value();
    QVERIFY2(fitted < 1e-3, qPrintable(QString::number(fitted)));
    auto topAngle = [&] {
        const DxfEntity &top = drawing->drawing().entity(3);
        return std::atan2(top.end.y() - top.start.y(), top.end.x() - top.start.x()) * 180 / kPi;
    };
    QVERIFY(std::abs(topAngle() - kTurn) < 0.01);

    // Levelled by the bottom of the part, which lies 3° off the horizontal. The drawing moves
    // rigidly and keeps its distance tree: the deviation measured anew builds none.
    const quint64 treesBefore = DxfDrawing::distanceTreesBuilt();
    manager.setMeasurementType(LAY_FLAT, false, false, QString());
    dragAlong({0.5, 0}, {3.5, 0});
    QVERIFY(!manager.levelling().isIdentity());
    QCOMPARE(DxfDrawing::distanceTreesBuilt(), treesBefore);
    const QCPCurveData &start = *m_trace->data()->constBegin();
    const QCPCurveData &bottomEnd = *(m_trace->data()->constBegin() + 1900);
    QVERIFY(std::abs(bottomEnd.value - start.value) < 1e-3);
    // The drawing turned with the contour: its top is level now, and the deviation unchanged.
    QVERIFY2(std::abs(topAngle()) < 0.01, qPrintable(QString::number(topAngle())));
    QVERIFY2(std::abs(deviation->value() - fitted) <= 1e-9 + 1e-6 * fitted,
             qPrintable(QString::number(deviation->value(), 'g', 12) + " / "
                        + QString::number(fitted, 'g', 12)));
    for (int i = 0; i < m_trace->dataCount(); i += 997) {
        const QCPCurveData &p = *(m_trace->data()->constBegin() + i);
        QVERIFY2(distanceToDrawing(m_plot, p.key, p.value) < 2e-3, qPrintable(QString::number(i)));
    }
    VERIFY_GRAB(testsupport::grabWindow(m_plot, QStringLiteral("dxf_levelled")));

    // The reset: everything moves back (the window draws its traces anew from their copies) and
    // is measured anew, the deviation as fitted (up to the rounding of the turn there and back),
    // with no new tree.
    manager.transformGeometry(PlotTransform::moving(manager.levelling().inverted()), true);
    manager.resetLevelling();
    manager.recalculate();
    QVERIFY2(std::abs(topAngle() - kTurn) < 0.01, qPrintable(QString::number(topAngle())));
    QVERIFY2(std::abs(deviation->value() - fitted) <= 1e-9 + 1e-6 * fitted,
             qPrintable(QString::number(deviation->value(), 'g', 12) + " / "
                        + QString::number(fitted, 'g', 12)));
    QCOMPARE(DxfDrawing::distanceTreesBuilt(), treesBefore);
}

GUI_TEST_MAIN(TestComparePlaneDXF)
#include "tst_ComparePlaneDXF.moc"
