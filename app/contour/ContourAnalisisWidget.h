#pragma once

#include "measurements/Geometry.h"
#include "measurements/MeasurementKinds.h"
#include "profile/AnalisysWidget.h"

#include <qcustomplot.h>

#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class CalibrationToolsWidget;
class Measurement;
class MeasurementTreeWidget;
class MeasurementsManager;
class Plot;
class QAbstractButton;
class QAction;
class QCPCurve;
class QFrame;
class QPushButton;
class QShortcut;
class QTreeWidget;
class QTreeWidgetItem;
class QWheelEvent;

namespace Ui {
class ContourAnalisisWidget;
}

// The measuring window of the contour mode: a measurement tab of the main window, or, in
// calibration mode, the measuring part of the calibration dialog.
//
// The window works on its own copies of the traces it is given (the profile window may delete
// its traces while the tab stays open) and hands those copies to its measurements manager. Each
// copy is drawn as one curve in the display unit of view/axis_unit, the plot framed by the kind
// of the first trace (a contour keeps its true shape, a profile fills the plot). The tool bar
// opens frames of tool buttons, a button chooses the kind the next press on the plot measures,
// finished measurements are listed in the measurement tree, and the report writes the
// measurement protocol from the measurements themselves, in the tree's order (the tree only
// shows them).
//
// Levelling turns the drawn curves; the window keeps the composed turn so that a redraw (a
// change of unit or a calibration edit) draws the copies levelled again and the measurements
// are recalculated on levelled data. The levelling reset draws them unlevelled. A drawing
// fitted to the contour turns with it both ways.
class ContourAnalisisWidget : public AnalisysWidget
{
    Q_OBJECT

public:
    ContourAnalisisWidget(QWidget *parent, bool calibrationMode);
    ~ContourAnalisisWidget() override;

    // Copies the non-null traces, draws them and frames the plot. Called once, right after
    // construction.
    void setTraces(const QVector<AbstractTrace *> &traces);

    void beginReportSnapshot() override;
    void endReportSnapshot() override;
    // Asks for the file, writes the measurement protocol and opens it in the browser.
    void saveReport(QWidget *parent) override;

    // One listed measurement as the protocol records it, taken from the measurement itself.
    struct ProtocolRow
    {
        Measurement *measurement = nullptr;
        QTreeWidgetItem *item = nullptr; // its row in the tree
        MeasurementGroup group = MeasurementGroup::None; // the tree group it is listed in
        int number = 0; // the row's number within its group, from 1; 0 for construction geometry
        QString designation; // "L_1", "α_2", ...; empty for construction geometry
        QString name;
        QString value; // the value with its unit, or "неизвестно"
    };
    // Every listed measurement in the tree's order, numbered within its group.
    QVector<ProtocolRow> protocolRows() const;

    // The designations (L_1, α_2, ...) on the plot and in the tree, or back to the names.
    void setReportLabels(QTreeWidget *tree, MeasurementsManager *manager, bool on);
    // The plot as it is now, one picture.
    QVector<QPixmap> plotImages();
    // The report map of the measurement protocol.
    QMap<QString, QString> reportData() const;

    Plot *plot() const;
    MeasurementTreeWidget *measurementTree() const;
    MeasurementsManager *manager() const { return measurementsManager; }
    const QVector<AbstractTrace *> &traces() const { return traceCopies; }
    const QVector<QCPCurve *> &traceCurves() const { return curves; }
    double displayFactor() const { return unitFactor; }
    QString displayUnit() const { return unitText; }
    bool isCalibrationMode() const { return calibrationMode; }
    // The tree row of a listed measurement, or null.
    QTreeWidgetItem *treeItem(int id) const { return itemsById.value(id); }
    // The calibration tools panel; shown and working in calibration mode only.
    CalibrationToolsWidget *calibrationTools() const;
    // True while a listed measurement was made or changed after the last protocol written (or
    // since the window opened): closing the window would lose it.
    bool hasUnsavedMeasurements() const;

signals:
    void closeDialogCalibration();
    void setCurrentConsoleForAllTraces();

public slots:
    void saveData(DataSaveFormat format) override;
    void deleteMeasurement(int index);
    void addMeasurement(int index, E_MEASUREMENTS type, double distance);
    // Redraws in the current unit and recalculates every listed measurement (after a change of
    // the settings).
    void recalcAllMeasurements();
    void delButtonPress(MeasurementTreeWidget *tree);
    // The calibration tools edited the calibration values of their traces: the copies take the
    // new values, are processed again and redrawn.
    void calibrationDataValueChangedManually(QVector<AbstractTrace *> traces);

private slots:
    void processMeasurementSelection();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One turn of a levelling, its centre in trace units (the unit factor divided out), so that
    // it applies in any display unit.
    struct Turn
    {
        double angle;
        QPointF centre;
    };

    void hideToolFrames();
    void createPlot();
    void setupCalibrationMode();
    void updateUnits();
    // Draws the traces anew from their copies, moves everything else on the plot by moved (see
    // MeasurementsManager::transformGeometry) and recalculates the measurements.
    void redrawCurves(const PlotTransform &moved = PlotTransform());
    void rescaleAxes();
    void rescaleContour();
    void rescaleProfile();
    void updateMeasurementInTree(Measurement *m);
    // Every listed measurement in the current unit, recalculated and its row updated.
    void recalculateListed();
    // The display-unit points of copy index, levelled by the kept turns.
    void fillCurve(int index);
    // The kept turns composed, in the display unit: the motion from the copies to the curves.
    RigidTransform levellingMotion() const;

    // Navigation.
    void onPanClicked(bool checked);
    void onScaleXClicked(bool checked);
    void onScaleYClicked(bool checked);
    void onResetScaleClicked();
    void onResetLayFlatClicked();
    void onPanWheel(QWheelEvent *event);
    void onScaleXWheel(QWheelEvent *event);
    void onScaleYWheel(QWheelEvent *event);
    // Scales every distinct axis of the trace curves once for one wheel event.
    void scaleAxesOfCurves(QWheelEvent *event, bool keyAxes);
    void forEachCurve(const std::function<void(QCPCurve *)> &function);
    void panBy(const QPoint &pos);
    void startNavigation(QPushButton *button, int cursor, QMetaObject::Connection *wheel,
                         void (ContourAnalisisWidget::*handler)(QWheelEvent *), int interactions,
                         const char *logLine);
    void stopNavigation(QMetaObject::Connection *wheel);

    // Tool panel.
    void onToolActionToggled(QAction *action, QFrame *frame, bool checked);
    void resetTools(QAction *keep);
    void onMeasurementButtonClicked(QPushButton *button, E_MEASUREMENTS kind, QAction *action,
                                    bool checked);
    void onAvgDiameterToggled(bool checked);
    void onStatusText(const QString &text);
    void onDeleteShortcut(int id);
    void selectOnlyItem(QTreeWidgetItem *item);
    // False when the operator cancelled the prompt.
    bool askCount(QString *parameter);
    bool askRadius(QString *parameter);

    Ui::ContourAnalisisWidget *ui = nullptr;
    QVector<AbstractTrace *> traceCopies;
    MeasurementsManager *measurementsManager = nullptr;
    double unitFactor = 1.0;
    QString unitText;
    bool calibrationMode = false;
    bool savedAnglesInDeg = false;
    QVector<QCPCurve *> curves;
    QList<QShortcut *> deleteShortcuts;
    double levellingAngle = 0.0;
    QPointF levellingCentre;
    QVector<Turn> levellingTurns;
    bool panning = false;
    QPoint panStart;
    QMap<int, QTreeWidgetItem *> itemsById;
    // Every listed measurement's name and value text when the last protocol was written, by id.
    QMap<int, QString> protocolled;
    // The axis ranges of the window's last framing.
    QCPRange framedX;
    QCPRange framedY;

    QMetaObject::Connection panWheel;
    QMetaObject::Connection scaleXWheel;
    QMetaObject::Connection scaleYWheel;
    QList<QAbstractButton *> toolButtons;
    QList<QAction *> toolActions;
};

// The name every contour window passes to the analysis-window base.
extern const QString kContourWindowName;
