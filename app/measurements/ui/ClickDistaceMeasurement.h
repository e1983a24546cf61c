#pragma once

#include "measurements/ui/Measurement.h"

#include <QVector2D>
#include <QVector>
#include <optional>

class QCPItemLine;
class QCPItemStraightLine;
class QMouseEvent;

// Construction geometry placed with clicks on trace points: each click takes the data point the
// plot's selection marker rests on at that moment. The objects carry no value; the measurements
// manager intersects them with the other construction geometry, and the three line kinds serve
// as sources of parallel lines.
//
// `coefficients` holds (a, b): the line y = a·x + b for the horizontal, two-point and thread
// lines, x = b for the vertical line.
class ClickDistaceMeasurement : public Measurement
{
public:
    ClickDistaceMeasurement(int type, Plot *plot, const QString &name);
    ~ClickDistaceMeasurement() override;

    QString name() const override { return displayName; }
    QString valueText() const override { return QString(); }
    double value() const override { return 0.0; }
    bool hasValue() const override { return false; }
    void calculate() override { }
    QString groupName() const override;
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;
    QVector<double> lineCoefficients() const override { return coefficients; }

    QVector<double> coefficients;
    QCPItemStraightLine *line = nullptr;
    QString displayName;

protected:
    // Places the infinite line through the two points and shows it.
    void setLinePoints(const QVector2D &first, const QVector2D &second);
    // The data point the plot's selection marker rests on; empty when it rests on none.
    std::optional<CurvePointRef> markerPoint() const;
    static bool isLeftRelease(const QMouseEvent *event);
    // On a left release with the marker on a point: stores that point and returns true.
    bool takeClick(const QMouseEvent *event, std::optional<CurvePointRef> *point) const;
    // Computes, finishes and announces the finish.
    void complete();
};

class ClickHorizontalLine : public ClickDistaceMeasurement
{
public:
    explicit ClickHorizontalLine(Plot *plot);
    // A finished line y = coefficients[1] (the parallel-line copy).
    ClickHorizontalLine(Plot *plot, const QVector<double> &coefficients);
    void calculate() override;
    QVector<CurvePointRef> pickedPoints() const override;
    // The parallel copy's line: y = coefficients[1].
    bool moveLine(const QVector<double> &coefficients) override;

private:
    void onPlotMouseRelease(QMouseEvent *event);
    std::optional<CurvePointRef> firstPoint;
};

class ClickVerticalLine : public ClickDistaceMeasurement
{
public:
    explicit ClickVerticalLine(Plot *plot);
    // A finished line x = coefficients[1].
    ClickVerticalLine(Plot *plot, const QVector<double> &coefficients);
    void calculate() override;
    QVector<CurvePointRef> pickedPoints() const override;
    // The parallel copy's line: x = coefficients[1].
    bool moveLine(const QVector<double> &coefficients) override;

private:
    void onPlotMouseRelease(QMouseEvent *event);
    std::optional<CurvePointRef> firstPoint;
};

class ClickDoubleLine : public ClickDistaceMeasurement
{
public:
    explicit ClickDoubleLine(Plot *plot);
    // A finished line y = coefficients[0]·x + coefficients[1].
    ClickDoubleLine(Plot *plot, const QVector<double> &coefficients);
    void calculate() override;
    QVector<CurvePointRef> pickedPoints() const override;
    // The parallel copy's line: y = coefficients[0]·x + coefficients[1].
    bool moveLine(const QVector<double> &coefficients) override;

    static QString differentXText();

private:
    void followMarker();
    void onPlotMouseRelease(QMouseEvent *event);
    // Places the line through both points; false (nothing placed) when their X is the same.
    bool fitLine();
    std::optional<CurvePointRef> firstPoint;
    std::optional<CurvePointRef> secondPoint;
    int clickCount = 0;
};

class ClickPoint : public ClickDistaceMeasurement
{
public:
    explicit ClickPoint(Plot *plot);
    void calculate() override;
    QVector<double> lineCoefficients() const override { return {}; }
    QVector<CurvePointRef> pickedPoints() const override;

private:
    void followMarker();
    void onPlotMouseRelease(QMouseEvent *event);
    std::optional<CurvePointRef> firstPoint;
};

class MiddlePoint : public ClickDistaceMeasurement
{
public:
    explicit MiddlePoint(Plot *plot);
    void calculate() override;
    QVector<double> lineCoefficients() const override { return {}; }
    QVector<CurvePointRef> pickedPoints() const override;

private:
    void onPlotMouseRelease(QMouseEvent *event);
    std::optional<CurvePointRef> firstPoint;
    std::optional<CurvePointRef> secondPoint;
    int clickCount = 0;
};

// The mean-diameter line of a thread: one click on the trace fits the line to the whole curve
// under the selection marker and draws it over the curve's X extent.
class Thread : public ClickDistaceMeasurement
{
public:
    explicit Thread(Plot *plot);
    ~Thread() override;

    // The line was fitted once: it moves with the plot (its drawn segment is a plot item, moved
    // already), and its coefficients are taken from the moved segment.
    void followTransform(const PlotTransform &transform) override;

    QCPItemLine *resultLine = nullptr;

    static QString noProfileText();
    static QString tooFewCrossingsText();

private:
    void fitMeanDiameter(QMouseEvent *event);
};
