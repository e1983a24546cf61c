#include "measurements/DrawingFit.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr double kPi = 3.14159265358979323846;

} // namespace

DrawingFit::DrawingFit(const DxfDrawing &drawing, const QVector<QPointF> &points,
                       const QPointF &pivot, double unitFactor)
    : m_drawing(drawing)
    , m_points(points)
    , m_moved(points.size())
    , m_pivot(pivot)
    , m_unitFactor(unitFactor > 0.0 && std::isfinite(unitFactor) ? unitFactor : 1.0)
{ }

double DrawingFit::error()
{
    return errorAt(m_angle, m_shift);
}

double DrawingFit::errorAt(double angle, const QPointF &shift, double above)
{
    if (m_stopped)
        return std::numeric_limits<double>::infinity();
    for (int k = 0; k < m_measuredCount; ++k) {
        const Measured &m = m_measured[k];
        // Exactly the same pose (QPointF's own comparison is fuzzy).
        if (m.angle == angle && m.shift.x() == shift.x() && m.shift.y() == shift.y())
            return m.error;
    }
    // A point p lies as far from the drawing turned by angle about the pivot and then shifted
    // as R(-angle)(p - shift) lies from the drawing in its place.
    const double c = std::cos(-angle * kPi / 180.0);
    const double s = std::sin(-angle * kPi / 180.0);
    for (int i = 0; i < m_points.size(); ++i) {
        const double dx = m_points.at(i).x() - shift.x() - m_pivot.x();
        const double dy = m_points.at(i).y() - shift.y() - m_pivot.y();
        m_moved[i] = QPointF(m_pivot.x() + dx * c - dy * s, m_pivot.y() + dx * s + dy * c);
    }
    if (!keepGoing())
        return std::numeric_limits<double>::infinity();
    const std::function<bool()> poll = [this] {
        return keepGoing();
    };
    const double error
        = m_drawing.distanceSum(m_moved, &m_hints, above, m_progress ? &poll : nullptr);
    if (m_stopped)
        return std::numeric_limits<double>::infinity();
    // A sum that stopped early is not the pose's error; one within the bound is.
    if (error <= above) {
        m_measured[m_measuredNext] = Measured {angle, shift, error};
        m_measuredNext = (m_measuredNext + 1) % kMeasured;
        m_measuredCount = std::min(m_measuredCount + 1, kMeasured);
    }
    return error;
}

double DrawingFit::fitRotation()
{
    // A half turn, then a whole one (back to the start); the better wins, the half turn on a tie.
    double best = 1e308;
    double turn = 0.0;
    const double half = errorAt(m_angle + 180.0, m_shift);
    if (best > half) {
        best = half;
        turn = 180.0;
    }
    const double none = errorAt(m_angle, m_shift, best);
    if (best > none) {
        best = none;
        turn = 0.0;
    }
    m_angle += turn;

    double step = 90.0;
    while (step >= kRotationResolutionDeg) {
        setPhaseDone(std::log(90.0 / step) / std::log(90.0 / kRotationResolutionDeg));
        // A trial that cannot be taken is not measured to its end: g only when below best, h
        // only when below both.
        const double g = errorAt(m_angle + step, m_shift, best);
        const double h = errorAt(m_angle - step, m_shift, std::min(best, g));
        if (best > g && g < h) {
            m_angle += step;
            best = g;
        } else if (g > h && best > h) {
            m_angle -= step;
            best = h;
        } else {
            step *= 0.5;
        }
    }
    qDebug() << "Error after rotation guess" << best;
    return best;
}

double DrawingFit::fitTranslation()
{
    double d = error();
    qDebug() << "Before calculating" << d;
    const double resolution = kTranslationResolutionMm * m_unitFactor;
    for (const QPointF direction : {QPointF(0, 1), QPointF(1, 0)}) {
        double step = m_unitFactor;
        while (step > resolution) {
            setPhaseDone(
                (direction.x()
                 + std::log(m_unitFactor / step) / std::log(1.0 / kTranslationResolutionMm))
                / 2.0);
            const double g = errorAt(m_angle, m_shift + direction * step, d);
            const double h = errorAt(m_angle, m_shift - direction * step, std::min(d, g));
            if (d > g && g < h) {
                m_shift += direction * step;
                d = g;
            } else if (g > h && d > h) {
                m_shift -= direction * step;
                d = h;
            } else {
                step *= 0.5;
            }
        }
        qDebug() << (direction.y() != 0.0 ? "Error after vertical guess"
                                          : "Error after horizontal guess")
                 << d;
    }
    return d;
}

double DrawingFit::refine()
{
    double best = error();
    // The searches before leave the pose within a fraction of a degree and some micrometres;
    // the refinement ends well below their resolutions so that its result is within them.
    double turn = 0.1;
    double shift = 0.01 * m_unitFactor;
    const double turnResolution = kRotationResolutionDeg / 8;
    const double resolution = kTranslationResolutionMm * m_unitFactor / 8;
    while (turn >= turnResolution || shift > resolution) {
        setPhaseDone(std::log(0.1 / turn) / std::log(0.1 / turnResolution));
        struct Move
        {
            double turn;
            QPointF shift;
        };
        const Move moves[] = {{turn, {}},       {-turn, {}},     {0, {shift, 0}},
                              {0, {-shift, 0}}, {0, {0, shift}}, {0, {0, -shift}}};
        double bestMove = best;
        const Move *chosen = nullptr;
        for (const Move &move : moves) {
            if (move.turn != 0.0 && turn < turnResolution)
                continue;
            if (move.turn == 0.0 && shift <= resolution)
                continue;
            const double e = errorAt(m_angle + move.turn, m_shift + move.shift, bestMove);
            if (e < bestMove) {
                bestMove = e;
                chosen = &move;
            }
        }
        if (chosen) {
            m_angle += chosen->turn;
            m_shift += chosen->shift;
            best = bestMove;
        } else {
            turn *= 0.5;
            shift *= 0.5;
        }
    }
    qDebug() << "Error after refinement" << best;
    return best;
}

void DrawingFit::fitAll()
{
    // Shares of the whole: the rotation search takes most trials, the refinement fewest.
    setPhase(0.0, 0.45);
    fitRotation();
    setPhase(0.45, 0.8);
    if (!m_stopped)
        fitTranslation();
    setPhase(0.8, 1.0);
    if (!m_stopped)
        refine();
}

void DrawingFit::apply(DxfDrawing *drawing) const
{
    applyPose(drawing, m_angle, m_pivot, m_shift);
}

void DrawingFit::applyPose(DxfDrawing *drawing, double angle, const QPointF &pivot,
                           const QPointF &shift)
{
    const double turn = std::fmod(angle, 360.0);
    if (turn != 0.0)
        drawing->rotate(turn, pivot);
    if (!shift.isNull())
        drawing->translate(shift.x(), shift.y());
}

void DrawingFit::setPhase(double from, double to)
{
    m_phaseFrom = from;
    m_phaseTo = to;
    m_phaseDone = 0.0;
}

void DrawingFit::setPhaseDone(double done)
{
    m_phaseDone = std::clamp(done, 0.0, 1.0);
}

bool DrawingFit::keepGoing()
{
    if (m_stopped)
        return false;
    if (!m_progress)
        return true;
    // Never back: a search that takes a step again does not undo its progress.
    m_reported = std::max(m_reported, m_phaseFrom + (m_phaseTo - m_phaseFrom) * m_phaseDone);
    if (!m_progress(m_reported))
        m_stopped = true;
    return !m_stopped;
}
