#pragma once

#include "measurements/Geometry.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/ui/MeasurementDependencies.h"
#include "measurements/ui/MeasurementFactory.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>
#include <list>

class AbstractTrace;
class DxfDrawing;
class Measurement;
class Plot;
class PlotSegmentSelection;
class QMouseEvent;
class QShortcut;
class QWidget;
class ReperPointController;

// Drives the measurements of one contour plot: creates a measurement of the active kind on a
// left press, wires it to the segment selection, the reper points and its own signals, keeps
// the list the measurement tree shows, drops an unfinished measurement on Escape or a change of
// tool, recalculates the list when the traces change, adds reper points where construction
// geometry crosses, and builds parallel copies of construction lines.
class MeasurementsManager : public QObject
{
    Q_OBJECT

public:
    // Builds a measurement of a kind; createMeasurementOfKind by default.
    using Factory = std::function<Measurement *(int kind, const MeasurementArgs &args)>;

    // The parent widget holds the Escape shortcut and is the parent of the kinds' dialogs.
    MeasurementsManager(Plot *plot, QWidget *parent);
    ~MeasurementsManager() override;

    // The contour window's own copies of its traces (not owned here), in the order of their
    // curves: the first traces.size() curves registered on the plot are the trace curves.
    void setTraces(const QVector<AbstractTrace *> &traces);
    // The tool: the kind the next press creates, whether its measurements are listed, whether
    // the reper points become snap targets, and the number typed for it (radius or count).
    void setMeasurementType(E_MEASUREMENTS type, bool listed, bool showReperPoints,
                            const QString &parameter);
    // Whether the active tool takes clicks (the segment selection is off) rather than ranges.
    bool isClickBased() const;
    // What the tool of the kind waits for before a measurement is made, for the status line:
    // empty for NO_MEASUREMENT, which waits for nothing.
    static QString toolPrompt(int type);

    void createMeasurement(QWidget *parent);
    void connectMeasurement();

    // The first listed measurement with that id, or null.
    Measurement *findMeasurement(int id) const;
    // Unlists and deletes the listed measurement with that id, and with it whatever is built on
    // it (MeasurementDependencies): the ids of all that went, the given one first; none when no
    // listed measurement has the id. The status line names what went, and what went along. What was
    // measured against what went without being built of it (a deviation from the placed drawing)
    // stays and is measured again.
    QList<int> removeMeasurement(int id);
    // A finished, listed copy of the listed construction line with that id, moved by distance
    // (perpendicular to an oblique line).
    void addEquidistant(int id, E_MEASUREMENTS type, double distance);

    // The current measurement is finished: it gets its crossings with the construction geometry,
    // and what is measured against it from now on (the deviations from a drawing just placed) is
    // measured again.
    void onMeasurementFinished();
    void addIntersectionPoints(Measurement *other, Measurement *current);

    // The listed measurements, in the order they were listed.
    const std::list<Measurement *> &measurementList() const { return measurements; }
    Measurement *currentMeasurement() const { return current; }
    int measurementType() const { return type; }
    bool isListing() const { return listed; }
    const QVector<AbstractTrace *> &traceList() const { return traces; }
    PlotSegmentSelection *plotSegmentSelection() const;
    ReperPointController *reperPoints() const { return reperPointController; }

    void setFactory(Factory factory) { this->factory = std::move(factory); }

    // Moves every geometric item of the plot by transform: the curves of the plot's registry
    // (the trace curves too when traceCurvesToo, else the caller has drawn them anew), every plot
    // item placed in plot coordinates, and what the measurements keep of their own
    // (Measurement::followTransform). A change of the display unit, a levelling and its reset
    // all come through here, so that no item of a new kind is left behind. What is derived from
    // the curves follows at the next recalculate().
    void transformGeometry(const PlotTransform &transform, bool traceCurvesToo);
    // Recalculates every listed measurement after everything it is built on, placing crossings
    // and parallels anew, and announces each with measurementChanged.
    void recalculate();
    const MeasurementDependencies &dependencies() const { return m_dependencies; }

    // The drawing of the most recently listed measurement that has placed one on the contour;
    // null when none has. The deviations from the drawing are measured against it.
    const DxfDrawing *comparisonDrawing() const;
    // Whether a drawing measurement is listed, placed or not: the deviation from the drawing can
    // be chosen.
    bool holdsDrawing() const;

    // The motion that the levellings since construction (or the last reset) have applied to the
    // curves of the plot, composed in their order: the curves of unlevelled trace data mapped by
    // it are the curves on the plot.
    const RigidTransform &levelling() const { return levellingMotion; }
    // Forgets the levellings, when the window draws its curves unlevelled again.
    void resetLevelling() { levellingMotion = RigidTransform(); }

signals:
    void enableButton(bool enable);
    void measurementChanged(Measurement *measurement);
    void deleteMeasurement(Measurement *measurement);
    void statusText(QString status);
    void setNewAngleAndCenterRot(double angle, QPointF center_rot);

private:
    void onPlotMousePress(QMouseEvent *event);
    void onEscape();
    void onGraphDataChanged();

    bool isListed(const Measurement *m) const;
    // Recalculates, as recalculate() does, only the listed measurements of which (each after
    // what it is built on) and announces each.
    void recalculateOnly(const QSet<Measurement *> &which);
    // Deletes a measurement that the manager holds no longer, forgetting what was built on it.
    void destroy(Measurement *m);
    // Forgets the unfinished current measurement: announces it with deleteMeasurement, and
    // deletes it unless the announcement already did.
    void dropCurrent();
    // Deletes the finished current measurement when it is not listed, and forgets it.
    void releaseCurrent();
    void connectCurrent(bool list);
    void replot();

    QVector<AbstractTrace *> traces;
    std::list<Measurement *> measurements;
    Measurement *current = nullptr;
    QPointer<Measurement> lastConnected;
    ReperPointController *reperPointController = nullptr;
    MeasurementDependencies m_dependencies;
    int type = NO_MEASUREMENT;
    bool listed = true;
    RigidTransform levellingMotion;
    double levelAngle = 0.0;
    QPointF levelCentre;
    QString parameter;
    int traceCount = 0;
    QPointer<Plot> plot;
    QPointer<PlotSegmentSelection> segmentSelection;
    QPointer<QWidget> parentWidget;
    QPointer<QShortcut> escapeShortcut;
    Factory factory;
};
