#pragma once

#include "measurements/Geometry.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/ui/CurveGeometry.h"
#include "plot/Plot.h"

#include <QFont>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

class DxfDrawing;
class Plot;
class ReperPoint;
class QMouseEvent;

// One range of a trace curve that the operator selected: data indices [begin, end). An all-zero
// record is the empty placeholder that the next range fills.
struct MeasurementSelection
{
    quint64 begin = 0;
    quint64 end = 0;
    QCPCurve *curve = nullptr; // not owned; null while the record is a placeholder
};

// The base of every measurement drawn on a contour plot.
//
// A measurement lives on one plot and works in its coordinates (the display unit of the
// setting view/axis_unit); only the cursor position is kept in millimetres. It collects the
// ranges selected along trace curves, follows the cursor while it is being built (every mouse
// move recalculates it), owns its reper points and keeps the connections that `finish` cuts.
//
// A kind derives from this class (or from a family base), passes its kind, the plot and the
// number of its reper points to the constructor, connects its own mouse handlers through
// `addConnection`, and when complete calls `finish` and emits `measumentFinished`. The kind gets
// its row in the kinds table (measurements/MeasurementKinds.cpp) and its creator in the factory
// (measurements/ui/MeasurementFactory.cpp).
class Measurement : public QObject
{
    Q_OBJECT

public:
    Measurement(int type, Plot *plot, int reperPointCount);
    ~Measurement() override;

    int type() const { return m_type; }
    int selectionCount() const { return selections.size(); }
    Plot *plot() const { return m_plot; }
    int id() const { return m_id; }
    bool isFinished() const { return finished; }
    // False for construction geometry, which the intersections pair with other geometry.
    bool isPrimary() const { return primary; }

    // The last cursor position over the plot, in the display unit.
    QPointF cursorPosition() const;

    void setLabelText(const QString &text) { labelText = text; }
    void clearLabelText() { labelText.clear(); }

    // The record at index; null at or past the end.
    MeasurementSelection *selection(quint64 index);
    // Stores the range at the current record, or appends it when there is none there yet.
    void addSelection(int begin, int end, QCPCurve *curve);
    // Moves on to a new empty record that the next range fills. Nothing happens while the
    // current record holds no range (no curve or an empty one): a click without a drag must not
    // leave an empty record in front of the ranges that follow.
    void nextSelection();
    // True when there is at least one record and every record has a curve.
    bool allSelected() const;
    // The data points of the record at index, [begin, end) clamped to its curve's data; false
    // when there is no such record, it has no curve or it holds no point.
    bool selectionData(int index, QCPCurveDataContainer::const_iterator *begin,
                       QCPCurveDataContainer::const_iterator *end) const;

    void addConnection(const QMetaObject::Connection &connection);
    // Cuts every kept connection.
    void disconnectAll();
    // Completes the measurement: mouse input stops reaching it, its graphics are deselected and
    // the plot is redrawn. The kind emits `measumentFinished` itself afterwards.
    void finish();

    // Appends count reper points, hidden until placed.
    void createReperPoints(int count);
    // Moves reper point index to pos (plot coordinates) and shows it; a position that is not a
    // finite number leaves the marker hidden. The index must be below reperPointCount().
    void setReperPoint(int index, const QPointF &pos);
    // Hides, announces and deletes the last reper point; there must be one.
    void removeLastReperPoint();
    // Hides, announces and deletes the reper point, when it is one of this measurement's.
    void removeReperPoint(ReperPoint *point);
    int reperPointCount() const { return reperPoints.size(); }
    const QList<ReperPoint *> &reperPointList() const { return reperPoints; }
    // Whether the plot's selection marker may rest on the own reper points.
    void enableReperPointSnapping();
    void disableReperPointSnapping();
    void makeReperPointsSelectable() { enableReperPointSnapping(); }

    // Construction geometry, read by the intersections and the parallel lines. The circle kinds
    // return their centre and radius; the construction lines their coefficients {k, b}: the
    // line y = k·x + b, or x = b for the vertical line. Other kinds have neither.
    virtual bool constructionCircle(QPointF *centre, double *radius) const;
    virtual QVector<double> lineCoefficients() const;
    // Whether value() is a measured value: false while the measurement lacks the input for one,
    // when its input gives none (collinear points for a radius, a stretch too short for any
    // cut-off) and for kinds that measure nothing (construction geometry, drawings, levelling).
    // Such a measurement shows "неизвестно" or no text, and is left out of the group means and
    // the protocol's numbers. Every kind answers for itself: there is no answer by default.
    virtual bool hasValue() const = 0;
    // The drawing a comparison kind has imported and fitted to the contour, which the deviation
    // from the drawing is measured against; null for every other kind.
    virtual const DxfDrawing *comparisonDrawing() const;
    // Whether the measurement is taken against the drawing placed on the contour (the manager's
    // comparisonDrawing): it is measured again when a placed drawing comes or goes, and has no
    // value without one. False by default.
    virtual bool measuresAgainstDrawing() const;

    // Every geometric item of the plot was moved by transform (a change of the display unit, a
    // levelling or its reset): the curves and the plot items have been moved already, and what
    // is derived from them follows at the next calculation. A kind moves here what it keeps of
    // its own besides (a fitted drawing, a line fitted once); it calls the base, which moves
    // the cursor position.
    virtual void followTransform(const PlotTransform &transform);

    // The curve points the measurement was built on (the points it picked with the selection
    // marker); empty for a kind that picks none. A point on another measurement's reper point
    // makes it depend on that measurement.
    virtual QVector<CurvePointRef> pickedPoints() const;

    // A construction line built as a parallel copy takes the coefficients {k, b} its source
    // gives now; false for a kind that is no such line.
    virtual bool moveLine(const QVector<double> &coefficients);

    // Called by the manager once the measurement's signals are connected: a kind greets the
    // operator here with its first prompt, which then reaches the status line. Does nothing in
    // the base.
    virtual void announce();

    // The text of the display unit of view/axis_unit ("мм", "мкм", "нм"); empty for another
    // setting.
    static QString displayUnitText();
    // The font of a value label: the large one of a report picture, or the normal one.
    static QFont valueLabelFont(bool large);

    // Number of measurements alive in the process.
    static int liveCount() { return liveCounter; }

public slots:
    // Display name of the kind.
    virtual QString name() const = 0;
    // The value with its unit, as the tree shows it.
    virtual QString valueText() const = 0;
    virtual double value() const = 0;
    // Recomputes the value and the graphics from the selections and the cursor.
    virtual void calculate() = 0;
    virtual QString groupName() const = 0;
    // The large label of a report picture, or back to the normal one.
    virtual void setLargeLabel(bool large) = 0;
    // Redraws the value label with labelText.
    virtual void updateLabel() = 0;
    // Shows or hides the plot's selection marker as the kind needs it.
    virtual void updateSelectionMarker();
    // Highlights the graphics (selection in the tree).
    virtual void setSelected(bool selected) = 0;
    // Redraws after a change of the display unit.
    virtual void updateUnits();
    virtual double nominalValue() const;
    virtual double tolerance() const;

    // A range reported by the segment selection; ignored without a curve.
    void onSegmentSelected(QCPDataRange range, QCPCurve *curve);

signals:
    void stopSelection();
    void measumentChanged();
    void graphDataChanged();
    void reperPointChanged(ReperPoint *pt);
    void reperPointRemoved(ReperPoint *pt);
    void statusText(QString string);
    void measumentFinished();
    void setNewAngleAndCenterRot(double angle, QPointF center_rot);

protected:
    // True while calculate() runs for a mouse move: only the cursor changed since the previous
    // calculation, apart from the selections a drag changes. Whatever a kind derives from the
    // selections alone may be kept from then while the selections are the same.
    bool isCursorRecalculation() const { return cursorRecalculation; }
    // What a kind derived from its selections alone is still good when this calculation is a
    // mouse move's and the selections are those of the last rememberSelections().
    bool selectionsUnchanged() const;
    void rememberSelections();
    void forgetSelections() { remembered = false; }

    bool primary = true;
    QVector<MeasurementSelection> selections;
    quint64 currentSelection = 0;
    QString labelText;
    QPointF cursorPos; // millimetres
    QList<QMetaObject::Connection> connections;
    bool finished = false;
    QList<ReperPoint *> reperPoints;

private:
    void onPlotMouseMove(QMouseEvent *event);

    QPointer<Plot> m_plot;
    int m_id = 0;
    int m_type = NO_MEASUREMENT;
    bool cursorRecalculation = false;
    bool remembered = false;
    QVector<MeasurementSelection> rememberedSelections;

    static int idCounter;
    static int liveCounter;
};
