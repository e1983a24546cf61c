#pragma once

#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"

#include <QPointF>
#include <QString>
#include <QVector2D>
#include <QVector>

#include <functional>

class DxfDrawing;
class ErrorGraph;
class QCPItemText;

// The base of the deviation measurements: how far a selected stretch of the contour departs
// from a reference shape (a line, a circle, the imported drawing). It gives one number, shows the
// deviations magnified in a band below the stretch and carries a value label.
//
// Mouse protocol: N ranges are dragged along one trace curve (a release that selected nothing
// is ignored); the release that completes the N-th range starts the placing of the label, which
// then follows the cursor; the next left release finishes the measurement.
//
// The band lies below the lowest point of the stretch: the cursor's height above that point is
// mirrored below it. The smallest deviation is drawn at the label's baseline, the largest at the
// height of the lowest point.
//
// A kind supplies the deviations (computeFit); the base caches them while only the label moves.
class ErrorMeasurement : public Measurement
{
    Q_OBJECT

public:
    ~ErrorMeasurement() override;

    QString name() const override { return displayName; }
    // "неизвестно" until a stretch has been measured, and whenever the deviations could not be
    // computed; otherwise the value with six decimals directly followed by the unit.
    QString valueText() const override;
    // 0 while the value is unknown.
    double value() const override;
    void calculate() override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;
    void updateUnits() override;
    double nominalValue() const override { return 0.0; }
    double tolerance() const override { return 5.0; }
    void announce() override;

    bool isPlacingLabel() const { return placingLabel; }
    bool hasValue() const override { return known; }
    ErrorGraph *deviationGraph() const { return graph; }
    QCPItemText *valueLabel() const { return label; }
    // The label's baseline and the chord between the first and last point of the stretch, as
    // the last calculation left them.
    QVector2D labelBaselineStart() const { return labelBaseline[0]; }
    QVector2D labelBaselineEnd() const { return labelBaseline[1]; }
    QVector2D chordStart() const { return chord[0]; }
    QVector2D chordEnd() const { return chord[1]; }
    double lowestPoint() const { return spanMinimum; }
    double baselineY() const { return labelY; }

protected:
    // What a kind computes from its selections; everything but the cursor.
    struct Fit
    {
        // The stretch: selection curve and its first and last included data index.
        QCPCurve *curve = nullptr;
        int first = 0;
        int last = 0;
        double spanMinimum = 0.0;
        // False when the deviations could not be computed (the value is unknown, nothing is
        // drawn); status then replaces the usual value prompt when it is not empty.
        bool ok = false;
        QString status;
        double result = 0.0;
        // The deviations and the keys they are drawn at, and the curve points they belong to
        // (the graph's reference), all of one length.
        QVector<double> xs;
        QVector<double> deviations;
        QVector<double> pointXs;
        QVector<double> pointYs;
        // The reference circle, for the circle kinds.
        bool hasCircle = false;
        QPointF centre;
        double radius = 0.0;
    };

    enum class FitOutcome {
        Incomplete, // the selections are not complete: nothing changes
        Computed,
    };

    // kind: the tool's kind (the kinds table row); the measurement stores the row's stored type.
    ErrorMeasurement(int kind, Plot *plot, const QString &name, int selectionsNeeded);

    // Fills fit from the selections (the stretch, the deviations, the result). Called only when
    // the cached fit cannot be reused.
    virtual FitOutcome computeFit(Fit &fit) = 0;
    // Draws the reference shape and the deviations for the placed label; the base draws the
    // band graph.
    virtual void drawFit(const Fit &fit);
    // Shows or hides the kind's own graphics (its marks) besides the label and the graph.
    void setShapeVisible(bool visible);

    // The unit text of view/axis_unit ("мм", "мкм", "нм"); another value leaves it unchanged.
    void updateUnitText();
    // The stretch of the given ranges of one curve: first and last included index and the
    // lowest value between them. False when a range is empty.
    static bool spanOf(const QVector<CurveRange> &ranges, Fit &fit);
    // The cursor-dependent geometry: labelY, labelBaseline and chord for the fit's stretch.
    void updateLabelGeometry(const Fit &fit);
    void setLabel(const QString &text, const QVector2D &position, double rotation, int alignment);
    // The label in the middle of its baseline, turned along it.
    void placeLabel();
    // The band graph of the fit's deviations between the label's baseline and the lowest point.
    void showDeviationGraph(const Fit &fit);
    void setGraphVisible(bool visible);
    // The points of a range as the graph's reference (x and y in two vectors).
    static void appendPoints(const CurveRange &range, QVector<double> &xs, QVector<double> &ys);
    // The ranges of all selections; false when one has no curve or no point, or when they lie on
    // different curves (status says which).
    bool selectedRanges(QVector<CurveRange> &ranges, QString *status) const;
    // Forgets the cached fit, when something it depends on changed.
    void invalidateFit() { cacheFilled = false; }
    // The fit of the last calculation.
    const Fit &lastFit() const { return cached; }

    double result = 0.0;
    bool known = false;
    QString displayName;
    // The label and the kind's marks (the reference circle of the circle kinds).
    KindItems items;
    QVector2D labelBaseline[2];
    QVector2D chord[2];
    ErrorGraph *graph = nullptr;
    QString unitText;
    QCPItemText *label = nullptr;
    bool placingLabel = false;
    int selectionsNeeded = 1;
    double spanMinimum = 0.0;
    double labelY = 0.0;

private:
    void onPlotMouseRelease(QMouseEvent *event);
    // Whether the cached fit belongs to the current selections and curve data.
    bool cacheMatches() const;
    void rememberFit(const Fit &fit);

    int kind;
    Fit cached;
    bool cacheFilled = false;
    QVector<MeasurementSelection> cachedSelections;
    QVector<const QCPCurveData *> cachedStorage;
    QVector<double> cachedFingerprint;
};

// Deviation from a line: the peak-to-valley of the perpendicular distances of the selected points
// from their total-least-squares line (kind 12).
class RMSEMeasurement : public ErrorMeasurement
{
    Q_OBJECT

public:
    explicit RMSEMeasurement(Plot *plot);

protected:
    FitOutcome computeFit(Fit &fit) override;
};

// Deviation from the imported drawing: the mean distance of the selected points from the nearest
// entity of the drawing (kind 34). Unknown while no drawing is imported.
class ErrorPlane : public ErrorMeasurement
{
    Q_OBJECT

public:
    // drawing: asked at every calculation for the drawing to measure against (null: none).
    ErrorPlane(Plot *plot, std::function<const DxfDrawing *()> drawing);

    // Measures anew when another drawing (or none) is placed.
    void calculate() override;
    bool measuresAgainstDrawing() const override { return true; }

protected:
    FitOutcome computeFit(Fit &fit) override;

private:
    std::function<const DxfDrawing *()> drawing;
    QVector<int> hints;
    const DxfDrawing *measuredAgainst = nullptr;
    int measuredEntities = 0;
};
