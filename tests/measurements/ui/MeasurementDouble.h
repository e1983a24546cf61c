#pragma once

#include "measurements/MeasurementKinds.h"
#include "measurements/ui/Measurement.h"

#include <QMouseEvent>

#include <cmath>

// A measurement that stands in for the real kinds: it takes the kind's name, primary flag and
// reper points from the kinds table, can carry a construction circle or line, records its
// calculations and finishes on demand, or on a left release when asked to.
class MeasurementDouble : public Measurement
{
public:
    // What ends the measurement when it is driven by the mouse.
    enum class Finish {
        OnDemand, // only complete()
        OnRelease, // the first left release
        OnSecondRelease, // the second left release, after a nextSelection on the first
    };

    MeasurementDouble(int kind, Plot *plot, Finish finishing = Finish::OnDemand)
        : Measurement(measurementKindInfo(kind).storedType, plot,
                      measurementKindInfo(kind).reperPoints)
        , kind(kind)
    {
        primary = measurementKindInfo(kind).primary;
        if (finishing != Finish::OnDemand && plot) {
            addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                                  [this, finishing](QMouseEvent *event) {
                                      if (event->button() != Qt::LeftButton)
                                          return;
                                      ++releases;
                                      if (finishing == Finish::OnSecondRelease && releases == 1)
                                          nextSelection();
                                      else
                                          complete();
                                  }));
        }
    }

    // Finishes as a kind does: finish, then the signal.
    void complete()
    {
        finish();
        emit measumentFinished();
    }

    void setCircle(double cx, double cy, double r)
    {
        centre = QPointF(cx, cy);
        radius = r;
        hasCircle = true;
    }

    bool constructionCircle(QPointF *c, double *r) const override
    {
        if (!hasCircle)
            return false;
        *c = centre;
        *r = radius;
        return true;
    }
    QVector<double> lineCoefficients() const override { return coefficients; }
    const DxfDrawing *comparisonDrawing() const override { return drawing; }
    bool measuresAgainstDrawing() const override { return kind == ERROR_PLANE; }
    void announce() override
    {
        connectedWhenAnnounced.append(receivers(SIGNAL(statusText(QString))) > 0);
    }

    QString name() const override { return measurementKindName(kind); }
    QString valueText() const override { return QString::number(value(), 'f', 4); }
    double value() const override { return calculations; }
    bool hasValue() const override { return measured; }
    void calculate() override
    {
        ++calculations;
        if (calculationLog)
            calculationLog->append(id());
    }
    QString groupName() const override { return measurementKindGroupText(kind); }
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    void updateSelectionMarker() override { ++selectionMarkerUpdates; }
    void setSelected(bool on) override { selected = on; }

    // The protected state, for the tests' eyes.
    const QVector<MeasurementSelection> &selectionList() const { return selections; }
    QPointF cursorMillimetres() const { return cursorPos; }
    void makePrimary(bool on) { primary = on; }

    int kind;
    int calculations = 0;
    int selectionMarkerUpdates = 0;
    int releases = 0;
    bool selected = true;
    bool measured = true;
    QList<int> *calculationLog = nullptr;
    QVector<double> coefficients;
    const DxfDrawing *drawing = nullptr;
    // For every announce: whether the status line was connected by then.
    QList<bool> connectedWhenAnnounced;
    QPointF centre;
    double radius = std::nan("");
    bool hasCircle = false;
};
