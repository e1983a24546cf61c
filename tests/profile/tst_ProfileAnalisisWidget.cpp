#include "core/ProfileTrace.h"
#include "device/ui/DeviceControlWidget.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"
#include "plot/SuffixTicker.h"
#include "profile/AutoUnfocusSpinBox.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"
#include "profile/TraceList.h"
#include "support/StandInRecording.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTest.h"
#include "support/gui/WindowGrab.h"
#include "traceprocessing/TraceRoad.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using namespace testsupport;

namespace {

constexpr int kWaitMs = 15000;

template<class W>
W *child(QWidget &window, const QString &name)
{
    W *found = window.findChild<W *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

Plot *plot(QWidget &window, const char *name)
{
    return child<Plot>(window, QLatin1String(name));
}

std::unique_ptr<ProfileTrace> makeTrace(int n, double step,
                                        const std::function<double(double)> &height)
{
    auto trace = std::make_unique<ProfileTrace>();
    trace->setType(PROFILE);
    for (int i = 0; i < n; ++i) {
        QVector<double> sample {i * step, height(i * step)};
        trace->appendPoint(sample);
    }
    return trace;
}

// The window with traces drawn the way a finished read leaves them.
struct WindowWithTraces
{
    explicit WindowWithTraces(int count = 0)
    {
        for (int i = 0; i < count; ++i) {
            const double offset = 3.0 * i;
            traces.push_back(makeTrace(4000, 1.0, [offset, i](double x) {
                return offset + 0.002 * x + std::sin(x / (40.0 + 25 * i))
                    + 0.3 * std::sin(x / 3.0 + i);
            }));
            add(traces.back().get());
        }
    }
    TraceGraphsHolder *add(AbstractTrace *trace)
    {
        window.findChild<TraceList *>("traceList")->traces.insert(trace->id, trace);
        TraceGraphsHolder *holder = window.createHolder(trace);
        holder->rebuild(false, false);
        return holder;
    }
    std::vector<std::unique_ptr<ProfileTrace>> traces;
    ProfileAnalisisWidget window;
};

} // namespace

class TestProfileAnalisisWidget : public QObject
{
    Q_OBJECT

private slots:
    void toolBarActions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<QString>("icon");
        QTest::newRow("actionToMeasurement") << "actionToMeasurement"
                                             << "В ИЗМЕРЕНИЯ"
                                             << "Открыть трассу для измерений" << false << "";
        QTest::newRow("actionPAN") << "actionPAN"
                                   << "Перемещение"
                                   << "Перемещение" << true << "pan.png";
        QTest::newRow("actionPTS") << "actionPTS"
                                   << "PTS"
                                   << "Показать точки" << true << "pts.png";
        QTest::newRow("actionRLine") << "actionRLine"
                                     << "R-LN"
                                     << "R-линия" << true << "rline.png";
        QTest::newRow("actionRFit") << "actionRFit"
                                    << "R-FT"
                                    << "Спрямить по R-линии" << true << "rline_s.png";
        QTest::newRow("actionSelectionZoom") << "actionSelectionZoom"
                                             << "| + |"
                                             << "Приближение выделения" << true << "select_z.png";
        QTest::newRow("actionMarkers") << "actionMarkers"
                                       << "| S |"
                                       << "Выделение" << true << "select.png";
        QTest::newRow("actionCut") << "actionCut"
                                   << "| C |"
                                   << "Вырезать выделение" << false << "cutsel.png";
        QTest::newRow("actionReset") << "actionReset"
                                     << "RST"
                                     << "Сбросить" << false << "reset.png";
        QTest::newRow("actionReport") << "actionReport"
                                      << "Report"
                                      << "Отчёт по резьбе" << true << "text_placement.png";
    }
    void toolBarActions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QFETCH(bool, checkable);
        QFETCH(QString, icon);
        TempSettings settings;
        ProfileAnalisisWidget window;
        auto *action = window.findChild<QAction *>(name);
        QVERIFY(action);
        QCOMPARE(action->text(), text);
        QCOMPARE(action->toolTip(), toolTip);
        QCOMPARE(action->isCheckable(), checkable);
        QVERIFY(!action->isChecked());
        // The thread report is not offered.
        QCOMPARE(action->isVisible(), name != QStringLiteral("actionReport"));
        if (icon.isEmpty()) {
            QVERIFY(action->icon().isNull());
        } else {
            const QIcon expected(QStringLiteral(":/icons/icons/") + icon);
            QCOMPARE(action->icon().pixmap(32).toImage(), expected.pixmap(32).toImage());
        }
        QVERIFY(window.toolActions().contains(action));
    }

    void formLayout()
    {
        TempSettings settings;
        ProfileAnalisisWidget window;
        QCOMPARE(window.objectName(), QStringLiteral("ProfileAnalisisWidget"));
        QCOMPARE(window.name(), QStringLiteral("ПРОФИЛЬ"));
        auto *toolBar = child<QToolBar>(window, "toolBar");
        QStringList order;
        for (QAction *action : toolBar->actions()) {
            if (action->isSeparator())
                order << QStringLiteral("|");
            else if (!action->objectName().isEmpty())
                order << action->objectName();
        }
        QCOMPARE(order,
                 (QStringList {"actionReset", "actionPAN", "actionPTS", "actionRLine", "actionRFit",
                               "actionSelectionZoom", "actionMarkers", "actionCut", "|",
                               "actionReport", "|", "actionToMeasurement"}));
        QStringList walked;
        for (QAction *action : window.toolActions())
            walked << action->objectName();
        QCOMPARE(walked,
                 (QStringList {"actionReset", "actionPAN", "actionPTS", "actionRLine", "actionRFit",
                               "actionSelectionZoom", "actionMarkers", "actionCut",
                               "actionToMeasurement", "actionReport"}));
        QVERIFY(!toolBar->isMovable());
        QCOMPARE(toolBar->iconSize(), QSize(32, 32));
        QCOMPARE(toolBar->contextMenuPolicy(), Qt::PreventContextMenu);
        QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
        QCOMPARE(child<QGroupBox>(window, "groupBox")->title(), QStringLiteral("ТРАССЫ"));
        QCOMPARE(child<QGroupBox>(window, "groupBox_3")->title(),
                 QStringLiteral("БЫСТРЫЕ НАСТРОЙКИ"));
        QCOMPARE(child<QGroupBox>(window, "groupBox_2")->title(), QStringLiteral("УПРАВЛЕНИЕ"));
        QCOMPARE(child<QGroupBox>(window, "groupBox_2")->minimumWidth(), 400);
        QVERIFY(window.findChild<TraceList *>("traceList"));
        QVERIFY(window.deviceControlWidget());
        QVERIFY(window.keyReceiver);
        QVERIFY(window.findChild<QStatusBar *>("statusBar"));
        QCOMPARE(plot(window, "plotMain")->minimumHeight(), 250);
        QCOMPARE(plot(window, "plotHist")->minimumSize(), QSize(200, 250));
        QCOMPARE(plot(window, "plotRMR")->cursor().shape(), Qt::CrossCursor);
        QVERIFY(!plot(window, "plotMain")->yAxis2->visible());
        QVERIFY(!plot(window, "plotHist")->yAxis->visible());
        QVERIFY(!plot(window, "plotRMR")->yAxis->visible());
        QVERIFY(plot(window, "plotMain")->xAxis2->visible());
        QVERIFY(!plot(window, "plotMain")->xAxis2->tickLabels());
        QCOMPARE(plot(window, "plotMain")->yAxis->numberFormat(), QStringLiteral("f"));
        QCOMPARE(plot(window, "plotMain")->yAxis->numberPrecision(), 3);
        QCOMPARE(plot(window, "plotMain")->xAxis->numberPrecision(), 3);
        QCOMPARE(plot(window, "plotMain")->font().family(), QStringLiteral("Monospace"));
    }

    // The fast settings come from the settings record; the device kind decides which show.
    void fastSettings_data()
    {
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<bool>("contourograph");
        QTest::newRow("contour") << 0 << true;
        QTest::newRow("contour with roughness sensor") << 1 << true;
        QTest::newRow("profilometer") << 2 << false;
        QTest::newRow("additional trace") << 3 << false;
    }
    void fastSettings()
    {
        QFETCH(int, deviceType);
        QFETCH(bool, contourograph);
        TempSettings settings([deviceType](Settings &s) {
            s.device.device_type = deviceType;
            s.preferences.meadian_filter = false;
            s.preferences.meadian_filter_value = 3;
            s.preferences.thread_angle_compensation = true;
            s.preferences.thread_angle_compensation_value = 29.5;
            s.preferences.histogramm_density_value = 17;
            s.preferences.profile_filter_mode = 2;
        });
        ProfileAnalisisWidget window;
        auto *median = child<AutoUnfocusSpinBox>(window, "medianSpinBox");
        auto *histogram = child<AutoUnfocusSpinBox>(window, "histogramSpinBox");
        QCOMPARE(median->text(), QStringLiteral("3 точек"));
        QCOMPARE(median->minimum(), 3);
        QCOMPARE(median->maximum(), 50);
        QVERIFY(!median->isEnabled());
        QCOMPARE(histogram->value(), 17);
        QCOMPARE(histogram->minimum(), 1);
        QCOMPARE(histogram->maximum(), 50);
        auto *angle = child<QDoubleSpinBox>(window, "angleSpinBox");
        QCOMPARE(angle->value(), 29.5);
        QCOMPARE(angle->maximum(), 70.0);
        QCOMPARE(angle->suffix(), QStringLiteral(" °"));
        QCOMPARE(angle->decimals(), 2);
        QCOMPARE(angle->singleStep(), 0.01);
        QVERIFY(angle->isEnabled());
        auto *kind = child<QComboBox>(window, "profileKindComboBox");
        QCOMPARE(kind->count(), 3);
        QCOMPARE(kind->itemText(1), QStringLiteral("Профиль шероховатости"));
        QCOMPARE(kind->currentIndex(), 2);
        auto *compensation = child<QCheckBox>(window, "compensationCheckBox");
        QCOMPARE(compensation->text(), QStringLiteral("Компенсация угла резьбы"));
        QCOMPARE(child<QCheckBox>(window, "medianCheckBox")->text(),
                 QStringLiteral("Медианный фильтр"));
        QVERIFY(compensation->isChecked());
        QCOMPARE(!compensation->isHidden(), contourograph);
        QCOMPARE(!angle->isHidden(), contourograph);
        QCOMPARE(!kind->isHidden(), !contourograph);
        QVERIFY(!median->isHidden());

        // The instrument reports the other kind: the window follows and passes it on.
        QSignalSpy announced(&window, &ProfileAnalisisWidget::newDeviceType);
        const int other = contourograph ? PROFILE : CONTOUR;
        emit window.deviceControlWidget()->newDeviceType(other);
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.at(0).at(0).toInt(), other);
        QCOMPARE(!compensation->isHidden(), !contourograph);
        QCOMPARE(!angle->isHidden(), !contourograph);
        QCOMPARE(!kind->isHidden(), contourograph);
    }

    // A change typed into a fast-settings spin box gives the keyboard back to the window.
    void spinBoxGivesUpFocus()
    {
        TempSettings settings([](Settings &s) { s.preferences.meadian_filter = true; });
        ProfileAnalisisWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *median = child<AutoUnfocusSpinBox>(window, "medianSpinBox");
        QVERIFY(median);
        median->setFocus();
        QTRY_VERIFY(median->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(median->value(), 4);
        QTRY_VERIFY(!median->hasFocus());
        if (QWidget *focus = QApplication::focusWidget())
            QTest::keyClick(focus, Qt::Key_Up);
        QCOMPARE(median->value(), 4);
    }

    void unitLabels_data()
    {
        QTest::addColumn<int>("axisUnit");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<double>("factor");
        // A long trace's points in the new unit are made beside the GUI thread.
        QTest::addColumn<int>("samples");
        QTest::newRow("мм") << 0 << " мм" << 0.001 << 4000;
        QTest::newRow("мкм") << 1 << " мкм" << 1.0 << 4000;
        QTest::newRow("нм") << 2 << " нм" << 1000.0 << 4000;
        QTest::newRow("мм, long trace") << 0 << " мм" << 0.001 << 200000;
        QTest::newRow("нм, long trace") << 2 << " нм" << 1000.0 << 200000;
    }
    void unitLabels()
    {
        QFETCH(int, axisUnit);
        QFETCH(QString, suffix);
        QFETCH(double, factor);
        QFETCH(int, samples);
        TempSettings settings;
        WindowWithTraces w;
        w.traces.push_back(makeTrace(samples, 4000.0 / samples, [](double x) {
            return 0.002 * x + std::sin(x / 40.0) + 0.3 * std::sin(x / 3.0);
        }));
        TraceGraphsHolder *holder = w.add(w.traces.back().get());
        const bool beside = samples >= TraceGraphsHolder::kBackgroundRebuildPoints;
        QCOMPARE(holder->rebuildsInBackground(), beside);
        settings.change([axisUnit](Settings &s) { s.view.axis_unit = axisUnit; });
        w.window.updateUnitLabels();
        if (beside) {
            QVERIFY(holder->rebuildPending());
            QVERIFY(QTest::qWaitFor([holder] { return !holder->rebuildPending(); }, 20000));
        }
        QVERIFY(!holder->rebuildPending());
        Plot *plotMain = plot(w.window, "plotMain");
        QCOMPARE(tickLabelSuffix(plotMain->xAxis)->suffix(), suffix);
        QCOMPARE(tickLabelSuffix(plotMain->yAxis)->suffix(), suffix);
        QCOMPARE(tickLabelSuffix(plot(w.window, "plotHist")->xAxis)->suffix(), QStringLiteral("%"));
        QCOMPARE(tickLabelSuffix(plot(w.window, "plotRMR")->xAxis)->suffix(), QStringLiteral("%"));
        QCOMPARE(holder->micrometreToDisplayFactor(), factor);
        const TData &processed = *w.traces.front()->processedData;
        QCOMPARE(holder->curve->data()->size(), samples);
        for (int i : {100, samples - 1}) {
            QCOMPARE(holder->curve->data()->at(i)->key, processed.at(0).at(i) * factor);
            QCOMPARE(holder->curve->data()->at(i)->value, processed.at(1).at(i) * factor);
        }
        const double length = processed.at(0).last();
        // The view follows the new unit.
        COMPARE_REL(plotMain->xAxis->range().upper, length * factor * 1.05, 1e-9);
        // So does the trace's length in the list.
        TraceList *list = w.window.traceList();
        list->fillParameters(w.traces.front()->id);
        QCOMPARE(list->findChild<QLabel *>(QStringLiteral("traceLengthValuLabel"))->text(),
                 QString::number(length * factor, 'g', 6) + suffix);
    }

    void autoscale()
    {
        TempSettings settings([](Settings &s) { s.view.axis_unit = 1; });
        WindowWithTraces w;
        Plot *plotMain = plot(w.window, "plotMain");
        auto trace = makeTrace(101, 1.0, [](double x) { return 2.0 * std::cos(x * M_PI / 25.0); });
        TraceGraphsHolder *holder = w.add(trace.get());
        w.window.autoscale();
        COMPARE_TOL(plotMain->xAxis->range().lower, -5.0, 0, 1e-9);
        COMPARE_TOL(plotMain->xAxis->range().upper, 105.0, 0, 1e-9);
        COMPARE_TOL(plotMain->yAxis->range().lower, -2.2, 0, 1e-9);
        COMPARE_TOL(plotMain->yAxis->range().upper, 2.2, 0, 1e-9);
        // The side plots' heights follow.
        QCOMPARE(plot(w.window, "plotHist")->yAxis->range(), plotMain->yAxis->range());
        QCOMPARE(plot(w.window, "plotRMR")->yAxis->range(), plotMain->yAxis->range());

        // Every trace hidden: the view stays.
        plotMain->xAxis->setRange(10, 20);
        holder->setVisible(false);
        w.window.autoscale();
        QCOMPARE(plotMain->xAxis->range(), QCPRange(10, 20));
        QVERIFY(w.window.visibleTraces().isEmpty());
        QCOMPARE(w.window.allTraces(), QList<AbstractTrace *> {trace.get()});

        // A flat trace keeps the height span, centred on it.
        auto flat = makeTrace(11, 10.0, [](double) { return 7.0; });
        w.add(flat.get());
        const double span = plotMain->yAxis->range().size();
        w.window.autoscale();
        COMPARE_TOL(plotMain->yAxis->range().center(), 7.0, 0, 1e-9);
        COMPARE_TOL(plotMain->yAxis->range().size(), span, 1e-9, 0);
        QCOMPARE(w.window.visibleTraces(), QList<AbstractTrace *> {flat.get()});
    }

    // Zooming the profile plot redraws histogram and material-ratio curve for the new view.
    void sidePlotsFollowTheView()
    {
        TempSettings settings([](Settings &s) { s.view.axis_unit = 1; });
        WindowWithTraces w(1);
        w.window.resize(1200, 800);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        Plot *plotMain = plot(w.window, "plotMain");
        TraceGraphsHolder *holder = w.window.graphHolders().first();
        w.window.autoscale();
        plotMain->replot();
        const QVector<double> whole = holder->ratioValues();
        const int wholeBins = holder->histogramGraph()->data()->size();
        QCOMPARE(whole.size(), 100);
        QVERIFY(wholeBins > 0);
        const QCPRange histogramRange = plot(w.window, "plotHist")->xAxis->range();

        plotMain->xAxis->setRange(100, 300);
        plotMain->yAxis->setRange(-0.5, 0.5);
        plotMain->replot();
        QVERIFY(holder->ratioValues() != whole);
        QCOMPARE(holder->ratioLevels().first(), -0.5);
        QCOMPARE(plot(w.window, "plotHist")->yAxis->range(), QCPRange(-0.5, 0.5));
        QVERIFY(plot(w.window, "plotHist")->xAxis->range() != histogramRange);
        w.window.recalcParamPlots();
        QCOMPARE(holder->ratioLevels().first(), -0.5);

        // During a read the side plots stand still; its end brings them to the view. The
        // recording is held until the view has changed, then ends before its measurement (no
        // trace is kept); the levels are taken as the read's end reaches the window.
        auto *recording = new StandInRecording(0, false, true);
        QVERIFY(w.window.setDataProvider(recording));
        QVector<double> levelsAtTheEnd;
        QObject::connect(w.window.traceRoad(), &TraceRoad::readEnded, &w.window,
                         [&] { levelsAtTheEnd = holder->ratioLevels(); });
        QSignalSpy began(w.window.traceRoad(), &TraceRoad::readBegan);
        QVERIFY(w.window.startReading(PROFILE));
        QVERIFY(began.wait(kWaitMs));
        plotMain->yAxis->setRange(-1.0, 1.0);
        plotMain->replot();
        w.window.recalcParamPlots();
        QCOMPARE(holder->ratioLevels().first(), -0.5);
        recording->release = true;
        QTRY_VERIFY_WITH_TIMEOUT(!levelsAtTheEnd.isEmpty(), kWaitMs);
        QCOMPARE(levelsAtTheEnd.first(), -1.0);
    }

    // The main window connects to these by name.
    void signalsAndSlots()
    {
        TempSettings settings;
        ProfileAnalisisWidget window;
        const QMetaObject *meta = window.metaObject();
        QStringList signalList;
        QStringList slotList;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                signalList << QString::fromLatin1(method.methodSignature());
            else if (method.methodType() == QMetaMethod::Slot
                     && method.access() == QMetaMethod::Public)
                slotList << QString::fromLatin1(method.methodSignature());
        }
        QCOMPARE(signalList,
                 (QStringList {"readyForMeasurment(QVector<AbstractTrace*>)", "lockButtons()",
                               "unlockButtons()", "newDeviceType(int)"}));
        QCOMPARE(
            slotList,
            (QStringList {"saveData(DataSaveFormat)", "recalcParamPlots()", "settingsChanged()"}));

        // A changed display unit reaches the axes when the settings window closes.
        settings.change([](Settings &s) { s.view.axis_unit = 2; });
        window.settingsChanged();
        QCOMPARE(tickLabelSuffix(plot(window, "plotMain")->yAxis)->suffix(), QStringLiteral(" нм"));
    }

    void grabWithThreeTraces()
    {
        TempSettings settings([](Settings &s) {
            s.view.axis_unit = 1;
            s.device.device_type = 2;
        });
        WindowWithTraces w(3);
        const QList<TraceGraphsHolder *> holders = w.window.graphHolders().values();
        holders.at(0)->setSelectedPen();
        // The R-line option of the tool bar reaches every trace with the side plots' refresh.
        w.window.findChild<QAction *>("actionRLine")->setChecked(true);
        holders.at(2)->curve->setSelection(QCPDataSelection(QCPDataRange(1000, 3000)));
        w.window.resize(1400, 850);
        w.window.autoscale();
        w.window.updateParamPlots();
        holders.at(0)->setLevel(40.0, 2.0);
        for (TraceGraphsHolder *holder : holders)
            QVERIFY(holder->levelMode() && holder->levelLines().at(0)->visible());
        const GrabResult picture = grabWindow(&w.window, QStringLiteral("profile_window"));
        VERIFY_GRAB(picture);
        QVERIFY(inkRatio(picture.image) > 0.05);
    }
};

GUI_TEST_MAIN(TestProfileAnalisisWidget)
#include "tst_ProfileAnalisisWidget.moc"
