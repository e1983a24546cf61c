#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "device/ui/DeviceControlWidget.h"
#include "platform/DialogRunner.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "processing/DataProcessors.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/XAxisMarker.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "traceprocessing/ParameterEvaluation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

using namespace testsupport;

namespace {

// Drops `trim` points at each end; with scaleX also stretches X (as a thread-angle step does).
class TrimProcessor : public IDataPostProcessor
{
public:
    TrimProcessor(int trim, double scaleX)
        : m_trim(trim)
        , m_scaleX(scaleX)
    { }
    void process(QVector<QVector<double>> &data) override
    {
        for (QVector<double> &channel : data)
            channel = channel.mid(m_trim, channel.size() - 2 * m_trim);
        for (double &x : data[0])
            x *= m_scaleX;
    }
    IDataPostProcessor *clone() const override { return new TrimProcessor(m_trim, m_scaleX); }

private:
    int m_trim;
    double m_scaleX;
};

std::unique_ptr<ProfileTrace> makeTrace(int n, const std::function<double(double)> &height,
                                        double step = 10.0)
{
    auto trace = std::make_unique<ProfileTrace>();
    for (int i = 0; i < n; ++i) {
        QVector<double> sample {i * step, height(i * step)};
        trace->appendPoint(sample);
    }
    return trace;
}

QVector<double> curveKeys(const QCPCurve *curve)
{
    QVector<double> keys;
    for (const QCPCurveData &point : *curve->data())
        keys << point.key;
    return keys;
}

QVector<double> curveValues(const QCPCurve *curve)
{
    QVector<double> values;
    for (const QCPCurveData &point : *curve->data())
        values << point.value;
    return values;
}

// Three plots and a holder for one trace, without the window.
struct Plots
{
    Plots()
    {
        for (Plot *plot : {&main, &hist, &rmr})
            plot->resize(400, 300);
    }
    Plot main;
    Plot hist;
    Plot rmr;
};

// A roughness of about 1 µm Ra (a sine of 100 µm wavelength) over `length` µm, recorded
// with the given cut-off.
std::unique_ptr<ProfileTrace> roughTrace(double length, double cutOff)
{
    auto trace = makeTrace(
        int(length / 0.5) + 1, [](double x) { return 1.6 * std::sin(x / 100.0 * 2 * M_PI); }, 0.5);
    trace->setType(PROFILE);
    trace->filterLength = cutOff;
    return trace;
}

} // namespace

class TestTraceGraphsHolder : public QObject
{
    Q_OBJECT

private slots:
    void units_data()
    {
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<double>("factor");
        QTest::newRow("мм") << QStringList {"мм"} << 0.001;
        QTest::newRow("мкм") << QStringList {"мкм"} << 1.0;
        QTest::newRow("нм") << QStringList {"нм"} << 1000.0;
        QTest::newRow("unknown name keeps the factor") << QStringList {"нм", "дюйм"} << 1000.0;
        QTest::newRow("case matters") << QStringList {"мкм", "ММ"} << 1.0;
    }
    void units()
    {
        QFETCH(QStringList, units);
        QFETCH(double, factor);
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(50, [](double x) { return 2.0 + std::sin(x / 30.0); });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        QCOMPARE(plots.main.curveCount(), 1);
        QCOMPARE(plots.main.curve(0), static_cast<QCPCurve *>(holder.curve));
        for (const QString &unit : units)
            holder.setUnit(unit, true);
        QCOMPARE(holder.unitName(), units.last());
        QCOMPARE(holder.micrometreToDisplayFactor(), factor);
        const QVector<double> keys = curveKeys(holder.curve);
        const QVector<double> values = curveValues(holder.curve);
        QCOMPARE(keys.size(), 50);
        for (int i = 0; i < 50; i += 7) {
            QCOMPARE(keys.at(i), trace->processedData->at(0).at(i) * factor);
            QCOMPARE(values.at(i), trace->processedData->at(1).at(i) * factor);
        }
        double sum = 0.0;
        for (double y : trace->processedData->at(1))
            sum += y * y;
        COMPARE_REL(holder.rmsLevel(), std::sqrt(sum / 50) * factor, 1e-12);
    }

    void millimetresToNanometresGrowsAMillionfold()
    {
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(20, [](double x) { return x / 7.0; });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мм"), true);
        const QVector<double> mm = curveValues(holder.curve);
        holder.setUnit(QStringLiteral("нм"), true);
        const QVector<double> nm = curveValues(holder.curve);
        for (int i = 1; i < 20; ++i)
            COMPARE_REL(nm.at(i), mm.at(i) * 1e6, 1e-12);
    }

    // R-line: the quadratic form and the RMS level; straightening removes the form.
    void rLineAndStraightening_data()
    {
        QTest::addColumn<bool>("showRLine");
        QTest::addColumn<bool>("straighten");
        QTest::newRow("off") << false << false;
        QTest::newRow("straighten alone does nothing") << false << true;
        QTest::newRow("R-line") << true << false;
        QTest::newRow("R-line and straightening") << true << true;
    }
    void rLineAndStraightening()
    {
        QFETCH(bool, showRLine);
        QFETCH(bool, straighten);
        TempSettings settings;
        Plots plots;
        const auto form = [](double x) {
            return 40.0 - 0.02 * x + 1e-5 * x * x;
        };
        const auto roughness = [](double x) {
            return 0.5 * std::sin(x / 5.0);
        };
        auto trace = makeTrace(2000, [&](double x) { return form(x) + roughness(x); });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), false);
        holder.rebuild(showRLine, straighten);
        QCOMPARE(holder.levelMode(), showRLine);
        QCOMPARE(holder.rLine().size(), showRLine ? 2000 : 0);
        const QVector<double> drawn = curveValues(holder.curve);
        const double rms = holder.rmsLevel();
        for (int i = 0; i < 2000; i += 111) {
            const double x = i * 10.0;
            const double raw = form(x) + roughness(x);
            if (showRLine && straighten)
                COMPARE_TOL(drawn.at(i), raw - (holder.rLine().at(i) - rms), 0, 1e-9);
            else
                QCOMPARE(drawn.at(i), raw);
            if (showRLine)
                COMPARE_TOL(holder.rLine().at(i), form(x), 0, 0.05);
        }
        for (QCPItemStraightLine *line : holder.levelLines()) {
            QCOMPARE(line->visible(), showRLine);
            QVERIFY(!line->selectable());
            if (showRLine) {
                QCOMPARE(line->point1->coords().y(), rms);
                QCOMPARE(line->point2->coords().y(), rms);
            }
        }
        QCOMPARE(holder.levelLines().at(1)->parentPlot(), static_cast<QCustomPlot *>(&plots.hist));
        QCOMPARE(holder.levelLines().at(2)->parentPlot(), static_cast<QCustomPlot *>(&plots.rmr));
    }

    void degeneratePointsGetNoFormLine_data()
    {
        QTest::addColumn<QVector<double>>("xs");
        QTest::newRow("no points") << QVector<double>();
        QTest::newRow("one X") << QVector<double> {5, 5, 5, 5};
        QTest::newRow("two X") << QVector<double> {5, 6, 5, 6};
    }
    void degeneratePointsGetNoFormLine()
    {
        QFETCH(QVector<double>, xs);
        TempSettings settings;
        Plots plots;
        ProfileTrace trace;
        for (int i = 0; i < xs.size(); ++i) {
            QVector<double> sample {xs.at(i), double(i * i)};
            trace.appendPoint(sample);
        }
        TraceGraphsHolder holder(&trace, &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), false);
        holder.rebuild(true, true);
        QVERIFY(holder.rLine().isEmpty());
        QCOMPARE(curveValues(holder.curve), trace.processedData->at(1));
        if (xs.isEmpty())
            QVERIFY(std::isnan(holder.rmsLevel()));
        plots.main.replot();
    }

    void selectionMarkersAndCut_data()
    {
        QTest::addColumn<int>("trim");
        QTest::addColumn<double>("scaleX");
        QTest::newRow("every point drawn") << 0 << 1.0;
        QTest::newRow("ends trimmed, X kept") << 3 << 1.0;
        QTest::newRow("ends trimmed, X stretched") << 3 << 2.0;
    }
    void selectionMarkersAndCut()
    {
        QFETCH(int, trim);
        QFETCH(double, scaleX);
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(
            60, [](double x) { return x * 0.5; }, 1.5);
        if (trim > 0) {
            trace->addPostProcessor(new TrimProcessor(trim, scaleX));
            trace->reprocess();
        }
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), false);
        holder.rebuild(false, false);
        QVERIFY(!holder.leftMarker()->isVisible());

        holder.curve->setSelection(QCPDataSelection(QCPDataRange(10, 20)));
        const QVector<double> keys = curveKeys(holder.curve);
        QVERIFY(holder.leftMarker()->isVisible());
        QVERIFY(holder.rightMarker()->isVisible());
        QCOMPARE(holder.leftMarker()->positionX(), keys.at(10));
        QCOMPARE(holder.rightMarker()->positionX(), keys.at(19));
        QCOMPARE(holder.leftMarker()->label()->text(), QString::number(keys.at(10), 'g', 6));
        QCOMPARE(holder.rightMarker()->label()->text(), QString::number(keys.at(19), 'g', 6));
        QCOMPARE(holder.leftMarker()->label()->pen(), kReperPen);
        QCOMPARE(holder.leftMarker()->line()->pen(), kReperPen);

        holder.cutSelection();
        QVERIFY(!holder.leftMarker()->isVisible());
        QCOMPARE(trace->rawData->at(0).size(), 10);
        // The raw samples that were drawn as points 10 .. 19.
        QCOMPARE(trace->rawData->at(0).first(), (10 + trim) * 1.5);
        QCOMPARE(trace->rawData->at(0).last(), (19 + trim) * 1.5);
        QCOMPARE(holder.curve->data()->size(), 10 - 2 * trim);

        holder.curve->setSelection(QCPDataSelection());
        QVERIFY(!holder.rightMarker()->isVisible());
        holder.cutSelection();
        QCOMPARE(trace->rawData->at(0).size(), 10);
    }

    void visibilityCoversWhatIsInUse()
    {
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(100, [](double x) { return std::sin(x / 40.0); });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), false);
        holder.rebuild(true, false);
        holder.curve->setSelection(QCPDataSelection(QCPDataRange(5, 9)));
        holder.setVisible(false);
        QVERIFY(!holder.curve->visible());
        QVERIFY(!holder.histogramGraph()->visible());
        QVERIFY(!holder.ratioGraph()->visible());
        QVERIFY(!holder.leftMarker()->isVisible());
        for (QCPItemStraightLine *line : holder.levelLines())
            QVERIFY(!line->visible());
        holder.setVisible(true);
        QVERIFY(holder.curve->visible() && holder.histogramGraph()->visible()
                && holder.ratioGraph()->visible());
        QVERIFY(holder.leftMarker()->isVisible() && holder.rightMarker()->isVisible());
        for (QCPItemStraightLine *line : holder.levelLines())
            QVERIFY(line->visible());
        // Never picked: the picked-level lines stay hidden.
        for (QCPItemStraightLine *line : holder.pickedLevelLines())
            QVERIFY(!line->visible());
        holder.rebuild(false, false);
        holder.setVisible(true);
        for (QCPItemStraightLine *line : holder.levelLines())
            QVERIFY(!line->visible());
    }

    void pens()
    {
        TempSettings settings([](Settings &s) { s.preferences.selected_graph_color = "#00aa00"; });
        Plots plots;
        auto trace = makeTrace(10, [](double x) { return x; });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        QCOMPARE(holder.curve->pen(), kItemPen);
        QCOMPARE(holder.ratioGraph()->pen(), kItemPen);
        holder.setSelectedPen();
        for (QCPAbstractPlottable *plottable :
             {static_cast<QCPAbstractPlottable *>(holder.curve),
              static_cast<QCPAbstractPlottable *>(holder.histogramGraph()),
              static_cast<QCPAbstractPlottable *>(holder.ratioGraph())}) {
            QCOMPARE(plottable->pen().color(), QColor("#00aa00"));
            QCOMPARE(plottable->pen().widthF(), 1.0);
        }
        holder.setNormalPen();
        QCOMPARE(holder.histogramGraph()->pen(), kItemPen);
        holder.setPointsVisible(true);
        QCOMPARE(holder.curve->lineStyle(), QCPCurve::lsNone);
        QCOMPARE(holder.curve->scatterStyle().shape(), QCPScatterStyle::ssCircle);
        holder.setPointsVisible(false);
        QCOMPARE(holder.curve->lineStyle(), QCPCurve::lsLine);
        QCOMPARE(holder.curve->scatterStyle().shape(), QCPScatterStyle::ssNone);
    }

    // The side plots describe the part of the trace in the profile plot's view.
    void statisticsFollowTheView()
    {
        TempSettings settings([](Settings &s) { s.preferences.histogramm_density_value = 10; });
        Plots plots;
        // A triangle wave of ±1 µm with 100 µm period over 2 mm, then a flat run at 5 µm.
        auto trace = makeTrace(
            300,
            [](double x) {
                if (x >= 2000.0)
                    return 5.0;
                const double phase = std::fmod(x, 100.0) / 100.0;
                return phase < 0.5 ? -1.0 + 4.0 * phase : 3.0 - 4.0 * phase;
            },
            10.0);
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мм"), true);
        // 19 whole periods.
        plots.main.xAxis->setRange(0.0, 1.9);
        plots.main.yAxis->setRange(-0.001, 0.001);
        holder.updateStatistics();
        QCOMPARE(holder.ratioValues().size(), 100);
        for (int i = 0; i < 100; ++i) {
            const double level = holder.ratioLevels().at(i);
            COMPARE_TOL(holder.ratioValues().at(i), (0.001 - level) / 0.002 * 100.0, 0, 1e-6);
        }
        QVERIFY(holder.histogramGraph()->data()->size() > 0);
        // Stored for Dp in micrometres, as drawn in millimetres.
        const TData &density = trace->amplitudeDensity;
        QCOMPARE(density.size(), 2);
        QCOMPARE(density.at(0).size(), holder.histogramGraph()->data()->size());
        COMPARE_REL(density.at(0).first(), holder.histogramGraph()->data()->at(0)->key / 0.001,
                    1e-12);
        QCOMPARE(holder.histogramGraph()->pen().style(), Qt::NoPen);
        QCOMPARE(holder.histogramGraph()->brush().color(), QColor(10, 140, 70, 160));

        // The flat run alone: every point at one height, the ratio a step at that height.
        plots.main.xAxis->setRange(2.2, 2.9);
        plots.main.yAxis->setRange(0.004, 0.006);
        holder.updateStatistics();
        QCOMPARE(holder.ratioValues().at(0), 100.0);
        QCOMPARE(holder.ratioValues().at(50), 100.0);
        QCOMPARE(holder.ratioValues().at(51), 0.0);

        // Nothing of the trace in view: no histogram, no curve; Dp keeps the last one.
        plots.main.xAxis->setRange(10.0, 11.0);
        holder.updateStatistics();
        QCOMPARE(holder.histogramGraph()->data()->size(), 0);
        QCOMPARE(holder.ratioGraph()->data()->size(), 0);
        QCOMPARE(trace->amplitudeDensity.size(), 2);
    }

    void pickedLevelSnapsToTheCurve()
    {
        TempSettings settings;
        Plots plots;
        auto trace
            = makeTrace(201, [](double x) { return x < 1000.0 ? x / 1000.0 : 2.0 - x / 1000.0; });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), true);
        plots.main.xAxis->setRange(0.0, 2000.0);
        plots.main.yAxis->setRange(0.0, 1.0);
        holder.updateStatistics();
        // Ratio r at level l is 100·(1 - l): the point (0.5, 50) is both nearer in height and in
        // ratio than any other to a click at (49.9, 0.501).
        holder.setLevel(49.9, 0.501);
        for (QCPItemStraightLine *line : holder.pickedLevelLines()) {
            QVERIFY(line->visible());
            COMPARE_TOL(line->point1->coords().y(), 0.5, 0, 1e-12);
            QCOMPARE(line->pen().color(), QColor(Qt::blue));
        }
        holder.setVisible(false);
        holder.setVisible(true);
        QVERIFY(holder.pickedLevelLines().at(0)->visible());
    }

    // Points of a read arrive in batches; the curve's extremes follow without a rescan.
    void appendedPointsAndExtremes()
    {
        TempSettings settings;
        Plots plots;
        ProfileTrace trace;
        TraceGraphsHolder holder(&trace, &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мм"), false);
        QCPRange keys;
        QCPRange values;
        QVERIFY(!holder.curveExtent(&keys, &values));
        holder.appendPoints({0, 1000, 2000}, {5, -3, 7});
        holder.appendPoints({3000, 4000}, {qQNaN(), 11});
        QCOMPARE(holder.curve->data()->size(), 5);
        QCOMPARE(holder.curve->data()->at(4)->t, 4.0);
        QVERIFY(holder.curveExtent(&keys, &values));
        QCOMPARE(keys.lower, 0.0);
        QCOMPARE(keys.upper, 4.0);
        QCOMPARE(values.lower, -0.003);
        QCOMPARE(values.upper, 0.011);
        // Data put on the curve directly is measured anew.
        holder.curve->setData({1.0, 2.0}, {3.0, 4.0});
        QVERIFY(holder.curveExtent(&keys, &values));
        QCOMPARE(values.upper, 4.0);
        holder.clearCurve();
        QVERIFY(!holder.curveExtent(&keys, &values));
    }

    // After a recording the holder proposes the cut-off that the standard prescribes for the
    // trace's Ra (here about 1 µm: 0.8 mm) and switches the device panel's filter on "Да".
    void cutOffProposal_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("startIndex");
        QTest::addColumn<int>("standard");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<double>("cutOff");
        const QStringList none;
        QTest::newRow("asked, yes")
            << int(PROFILE) << 6000.0 << 1 << 0 << true << QStringList {"Да"} << 1 << 800.0;
        QTest::newRow("asked, no")
            << int(PROFILE) << 6000.0 << 1 << 0 << true << QStringList {"Нет"} << 1 << 2500.0;
        QTest::newRow("additional trace") << int(ADDITIONAL_TRACE) << 6000.0 << 1 << 0 << true
                                          << QStringList {"Да"} << 1 << 800.0;
        QTest::newRow("not asked, accepted")
            << int(PROFILE) << 6000.0 << 1 << 0 << false << none << 0 << 800.0;
        QTest::newRow("current cut-off prescribed")
            << int(PROFILE) << 6000.0 << 2 << 0 << true << none << 0 << 800.0;
        QTest::newRow("too short to evaluate")
            << int(PROFILE) << 3000.0 << 1 << 0 << true << none << 0 << 2500.0;
        QTest::newRow("no standard chosen")
            << int(PROFILE) << 6000.0 << 1 << 5 << true << none << 0 << 2500.0;
        QTest::newRow("contour trace")
            << int(CONTOUR) << 6000.0 << 1 << 0 << true << none << 0 << 2500.0;
    }
    void cutOffProposal()
    {
        QFETCH(int, type);
        QFETCH(double, length);
        QFETCH(int, startIndex);
        QFETCH(int, standard);
        QFETCH(bool, ask);
        QFETCH(QStringList, answers);
        QFETCH(int, questions);
        QFETCH(double, cutOff);
        TempSettings settings([&](Settings &s) {
            s.device.spinbox_filter_length_index = startIndex;
            s.preferences.standartisation_value = standard;
            s.preferences.is_ask_before_change_filter = ask;
            s.preferences.is_accept_filter = true;
        });
        ProfileAnalisisWidget window;
        auto trace = roughTrace(length, kFilterLengths.at(startIndex));
        trace->setType(type);
        TraceGraphsHolder *holder = window.createHolder(trace.get());
        QStringList texts;
        DialogInterceptor answering([&](QDialog *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            QVERIFY(box);
            QCOMPARE(box->parentWidget(), static_cast<QWidget *>(&window));
            texts << box->windowTitle() + ": " + box->text();
            QCOMPARE(box->button(QMessageBox::Yes)->text(), QStringLiteral("Да"));
            QCOMPARE(box->button(QMessageBox::No)->text(), QStringLiteral("Нет"));
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
            QCOMPARE(box->checkBox()->text(), QStringLiteral("Запомнить выбор"));
            const QString answer = answers.value(texts.size() - 1, QStringLiteral("Нет"));
            box->button(answer == QStringLiteral("Да") ? QMessageBox::Yes : QMessageBox::No)
                ->click();
        });
        const bool changed = holder->checkFilterMatch();
        QCOMPARE(texts.size(), questions);
        if (questions > 0)
            QCOMPARE(texts.first(),
                     QStringLiteral("Изменение фильтра: Согласно текущему стандарту выбранный "
                                    "фильтр не соответствует измерению. Сменить фильтр на "
                                    "0.800 мм?"));
        QCOMPARE(changed, cutOff != kFilterLengths.at(startIndex));
        if (type != CONTOUR)
            QCOMPARE(static_cast<ProfileTrace *>(trace.get())->filterLength, cutOff);
        // The device panel's filter: the setting, saved, and the panel's choice.
        const int index = changed ? kFilterLengths.indexOf(cutOff) : startIndex;
        QCOMPARE(settings->device.spinbox_filter_length_index, index);
        if (changed)
            QCOMPARE(settings.stored("device/spinbox_filter_length_index").toInt(), index);
        auto *filter = window.deviceControlWidget()->findChild<QComboBox *>("filterComboBox");
        QCOMPARE(filter->currentIndex(), index);
        QCOMPARE(settings->preferences.is_ask_before_change_filter, ask);
    }

    // "Запомнить выбор" keeps the answer for later recordings.
    void rememberedAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<double>("later");
        QTest::newRow("remembered yes") << "Да" << 800.0;
        QTest::newRow("remembered no") << "Нет" << 2500.0;
    }
    void rememberedAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(double, later);
        TempSettings settings([](Settings &s) { s.device.spinbox_filter_length_index = 1; });
        ProfileAnalisisWidget window;
        int asked = 0;
        DialogInterceptor answering([&](QDialog *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            ++asked;
            box->checkBox()->setChecked(true);
            box->button(answer == QStringLiteral("Да") ? QMessageBox::Yes : QMessageBox::No)
                ->click();
        });
        auto first = roughTrace(6000.0, 2500.0);
        window.createHolder(first.get())->checkFilterMatch();
        QCOMPARE(asked, 1);
        QCOMPARE(settings.stored("preferenses/is_ask_before_change_filter").toBool(), false);
        QCOMPARE(settings.stored("preferenses/is_accept_filter").toBool(),
                 answer == QStringLiteral("Да"));

        settings.change([](Settings &s) { s.device.spinbox_filter_length_index = 1; });
        auto second = roughTrace(6000.0, 2500.0);
        window.createHolder(second.get())->checkFilterMatch();
        QCOMPARE(asked, 1);
        QCOMPARE(second->filterLength, later);
    }

    // A read draws its batches; the redraw at its end shows the processed points alone, whether
    // they are fewer (a filter trimmed the ends), as many or more than the points drawn.
    void redrawAfterARead_data()
    {
        QTest::addColumn<int>("drawn");
        QTest::addColumn<int>("processed");
        QTest::newRow("fewer") << 1500 << 1100;
        QTest::newRow("as many") << 1500 << 1500;
        QTest::newRow("more") << 1500 << 1729;
        QTest::newRow("nothing drawn") << 0 << 300;
    }
    void redrawAfterARead()
    {
        QFETCH(int, drawn);
        QFETCH(int, processed);
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(0, [](double) { return 0.0; });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мм"), false);
        holder.expectPoints(4000);
        for (int from = 0; from < drawn; from += 500) {
            QVector<double> x;
            QVector<double> y;
            for (int i = from; i < from + 500; ++i) {
                x << i * 2.0;
                y << 100.0;
            }
            holder.appendPoints(x, y);
        }
        QCOMPARE(holder.curve->data()->size(), drawn);
        TData &data = *trace->processedData;
        data[0].clear();
        data[1].clear();
        for (int i = 0; i < processed; ++i) {
            data[0] << 10.0 + i;
            data[1] << std::sin(i / 7.0);
        }
        holder.rebuild(false, false);

        QCOMPARE(holder.curve->data()->size(), processed);
        int i = 0;
        for (const QCPCurveData &point : *holder.curve->data()) {
            QCOMPARE(point.t, double(i));
            QCOMPARE(point.key, (10.0 + i) * 0.001);
            QCOMPARE(point.value, std::sin(i / 7.0) * 0.001);
            ++i;
        }
        QCOMPARE(holder.displayX().size(), processed);
        QCPRange keys;
        QCPRange values;
        QVERIFY(holder.curveExtent(&keys, &values));
        QCOMPARE(keys.lower, 0.01);
        COMPARE_TOL(keys.upper, (10.0 + processed - 1) * 0.001, 1e-12, 0);
        QVERIFY(values.upper < 0.0011);
    }

    // A long read is drawn as it comes with a bounded number of points: every chunk by its
    // first, lowest, highest and last sample, so no peak of the read is missing from the view.
    void longReadIsDrawnAsABoundedPreview()
    {
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(0, [](double) { return 0.0; });
        TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        holder.setUnit(QStringLiteral("мкм"), false);
        constexpr int kSamples = 3000000;
        holder.expectPoints(kSamples);
        QVERIFY(holder.previewStride() > 1);
        const auto height = [](int i) {
            if (i == 1234567)
                return 50.0;
            if (i == 2345678)
                return -40.0;
            return std::sin(i * 0.001) + 0.1 * std::sin(i * 0.37);
        };
        QVector<double> x(500);
        QVector<double> y(500);
        for (int from = 0; from < kSamples; from += 500) {
            for (int i = 0; i < 500; ++i) {
                x[i] = from + i;
                y[i] = height(from + i);
            }
            holder.appendPoints(x, y);
        }
        const int points = holder.curve->data()->size();
        QVERIFY2(points <= 4 * TraceGraphsHolder::kMostPreviewChunks,
                 qPrintable(QString::number(points)));
        QVERIFY(points >= 2 * (kSamples / holder.previewStride()));
        QCPRange keys;
        QCPRange values;
        QVERIFY(holder.curveExtent(&keys, &values));
        QCOMPARE(values.upper, 50.0);
        QCOMPARE(values.lower, -40.0);
        QCOMPARE(keys.lower, 0.0);
        const QVector<double> drawnKeys = curveKeys(holder.curve);
        QVERIFY(std::is_sorted(drawnKeys.cbegin(), drawnKeys.cend()));
        // Every point drawn is a sample as it came.
        const QVector<double> drawnValues = curveValues(holder.curve);
        for (int i = 0; i < drawnKeys.size(); i += 97)
            QCOMPARE(drawnValues.at(i), height(int(drawnKeys.at(i))));
    }

    // A long trace's drawing is made on the thread pool and then put on the curve: the same
    // points, line and level as a rebuild on the GUI thread makes.
    void longTraceIsRebuiltBesideTheGuiThread_data()
    {
        QTest::addColumn<bool>("showRLine");
        QTest::addColumn<bool>("straighten");
        QTest::newRow("profile") << false << false;
        QTest::newRow("form line") << true << false;
        QTest::newRow("straightened") << true << true;
    }
    void longTraceIsRebuiltBesideTheGuiThread()
    {
        QFETCH(bool, showRLine);
        QFETCH(bool, straighten);
        TempSettings settings;
        Plots plots;
        Plots other;
        const int n = TraceGraphsHolder::kBackgroundRebuildPoints + 1001;
        auto trace = makeTrace(
            n, [](double x) { return 1e-4 * x * x / n + std::sin(x / 70.0); }, 1.0);
        TraceGraphsHolder shown(trace.get(), &plots.main, &plots.hist, &plots.rmr);
        TraceGraphsHolder reference(trace.get(), &other.main, &other.hist, &other.rmr);
        for (TraceGraphsHolder *holder : {&shown, &reference})
            holder->setUnit(QStringLiteral("мм"), false);
        reference.rebuild(showRLine, straighten);

        int done = 0;
        shown.rebuildInBackground(showRLine, straighten, [&done] { ++done; });
        QVERIFY(shown.rebuildPending());
        QCOMPARE(shown.curve->data()->size(), 0);
        QTRY_VERIFY(!shown.rebuildPending());
        QCOMPARE(done, 1);
        QCOMPARE(curveKeys(shown.curve), curveKeys(reference.curve));
        QCOMPARE(curveValues(shown.curve), curveValues(reference.curve));
        QCOMPARE(shown.rLine(), reference.rLine());
        QCOMPARE(shown.rmsLevel(), reference.rmsLevel());
        QCOMPARE(shown.displayY(), reference.displayY());
        QCPRange keys;
        QCPRange values;
        QCPRange referenceKeys;
        QCPRange referenceValues;
        QVERIFY(shown.curveExtent(&keys, &values));
        QVERIFY(reference.curveExtent(&referenceKeys, &referenceValues));
        QCOMPARE(keys.lower, referenceKeys.lower);
        QCOMPARE(values.upper, referenceValues.upper);

        // A rebuild asked for meanwhile wins over the one being made.
        shown.rebuildInBackground(!showRLine, false, [&done] { ++done; });
        shown.rebuild(showRLine, straighten);
        QVERIFY(!shown.rebuildPending());
        shown.rebuildInBackground(showRLine, straighten, [&done] { ++done; });
        QTRY_COMPARE(done, 2);
        QCOMPARE(curveValues(shown.curve), curveValues(reference.curve));
        QCOMPARE(shown.showsRLine(), showRLine);
    }

    void holderLeavesThePlots()
    {
        TempSettings settings;
        Plots plots;
        auto trace = makeTrace(10, [](double x) { return x; });
        const int items = plots.main.itemCount();
        {
            TraceGraphsHolder holder(trace.get(), &plots.main, &plots.hist, &plots.rmr);
            holder.rebuild(true, false);
            QCOMPARE(plots.main.plottableCount(), 1);
            QCOMPARE(plots.hist.plottableCount(), 1);
            QCOMPARE(plots.rmr.plottableCount(), 1);
            QCOMPARE(holder.curve->property("gholder").value<TraceGraphsHolder *>(), &holder);
            QCOMPARE(holder.ratioGraph()->property("gholder").value<TraceGraphsHolder *>(),
                     &holder);
        }
        QCOMPARE(plots.main.plottableCount(), 0);
        QCOMPARE(plots.hist.plottableCount(), 0);
        QCOMPARE(plots.rmr.plottableCount(), 0);
        QCOMPARE(plots.main.itemCount(), items);
        QCOMPARE(plots.hist.itemCount(), 0);
    }
};

GUI_TEST_MAIN(TestTraceGraphsHolder)
#include "tst_TraceGraphsHolder.moc"
