#pragma once

#include "core/DisplayUnits.h"
#include "plot/AdaptiveCurve.h"
#include "processing/ProfileStatistics.h"
#include "profile/XAxisMarker.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

#include <functional>
#include <memory>

class AbstractTrace;
using TData = QVector<QVector<double>>;
class Plot;

// Draws one trace of the profile window on its three plots: the profile curve on the main plot,
// the amplitude histogram and the material-ratio curve of the part in view on the side plots,
// the RMS level lines and the level picked on the material-ratio plot across all three, and two
// markers at the ends of a range selected on the curve. The holder owns everything it puts on
// the plots and removes it when it is deleted; the trace is borrowed.
//
// Heights and lengths are drawn in the display unit: the trace's micrometres times the unit's
// factor (core/DisplayUnits.h). Only what goes back into the trace is in micrometres.
//
// Long traces: the statistics of the side plots are computed in one pass over the points in view
// and kept until the data, the view or the histogram density change, so a plain replot costs
// nothing here; the extremes of the curve are kept up to date as points are appended, so
// scaling the plot to its curves never walks their data.
//
// Many traces: a holder made hidden puts nothing on the plots until it is first shown (the
// plotting library adds each plot object in time that grows with the objects already there), so
// a file with many additional traces, which come hidden, is shown in time linear in their
// number. Until then `curve` and the other plot objects are null and the holder only keeps what
// it will draw.
//
// The holder draws; it neither changes its trace's settings nor asks the operator anything.
class TraceGraphsHolder : public QObject
{
    Q_OBJECT

public:
    TraceGraphsHolder(AbstractTrace *trace, Plot *plotMain, Plot *plotHist, Plot *plotRMR,
                      bool shown = true);
    ~TraceGraphsHolder() override;

    // Draws the trace's processed data; with showRLine the quadratic form line is fitted and
    // the RMS level shown, with straighten as well the form is taken off the profile, which
    // then stays around its RMS level.
    void rebuild(bool showRLine, bool straighten);
    // The same for a long trace without holding up the GUI thread: the drawn points are
    // computed on the thread pool from a (shared, read-only) copy of the processed data and put
    // on the curve when they are ready, after which `done` runs. A trace of fewer than
    // kBackgroundRebuildPoints samples is rebuilt at once. A later rebuild, or the holder's
    // deletion, drops a result still being computed (`done` does not run then).
    void rebuildInBackground(bool showRLine, bool straighten, const std::function<void()> &done);
    bool rebuildPending() const { return m_pendingRebuild != nullptr; }
    // True when rebuildInBackground would make the drawing beside the GUI thread.
    bool rebuildsInBackground() const;
    // Waits for a rebuild being made beside the GUI thread and puts it on the curve now (its
    // `done` runs): for what must see the trace drawn at once (a report).
    void finishRebuild();
    static constexpr int kBackgroundRebuildPoints = 1 << 17;
    // Rebuilds only when the options differ from those of the last rebuild.
    void applyOptions(bool showRLine, bool straighten);
    // The name of a display unit ("мм", "мкм" or "нм"); any other name keeps the factor.
    void setUnit(const QString &name, bool rebuildNow);
    // Histogram and material-ratio curve of the part of the trace in the main plot's view.
    void updateStatistics();

    // The same in three steps, so that the statistics of several traces are computed side by
    // side and while the profile plot is drawn: statisticsJob() takes the current view (a job
    // that is not needed when the last result still holds), run() computes on any thread from
    // the job's own (shared, read-only) copy of the drawn points, so a rebuild or the holder's
    // deletion meanwhile does not touch it, and applyStatistics() puts the result on the plots.
    struct StatisticsJob
    {
        void run();

        bool needed = false;
        QVector<double> x;
        QVector<double> y;
        bool ascending = true;
        std::pair<double, double> heights;
        int density = 0;
        ProfileStatistics::ViewRect view;
        QVector<QVector<double>> histogram;
        ProfileStatistics::RatioCurve ratio;
    };
    StatisticsJob statisticsJob();
    void applyStatistics(const StatisticsJob &job);
    void setPointsVisible(bool points);
    void setSelectedPen();
    void setNormalPen();
    void setVisible(bool visible);
    bool isVisible() const;
    // The level of the material-ratio point picked by a click at (ratio, height).
    void setLevel(double ratioPercent, double height);
    // The trace keeps only the selected range of points.
    void cutSelection();
    // The range of raw samples [first, second) the selected points were drawn from; an empty
    // range without a selection.
    std::pair<int, int> selectedRawRange() const;
    // Forgets the selection and its markers.
    void clearSelection();
    // After a recording: the cut-off proposal of the window's trace road (cutOffProposal), for
    // callers that hold the holder. True when the trace's cut-off was changed.
    bool checkFilterMatch();
    std::function<bool(AbstractTrace *)> cutOffProposal;

    // Samples arriving during a read, in micrometres: drawn after the curve's last point.
    void appendPoints(const QVector<double> &x, const QVector<double> &y);
    void appendPoints(const double *x, const double *y, int n);
    // Empties the curve (a discarded preview).
    void clearCurve();
    // About this many points of a read are to come: the curve makes room for them. A read of
    // more than kMostPreviewChunks samples is drawn as a preview while it comes: every run of
    // `previewStride()` samples by its first, lowest, highest and last sample, so the curve
    // holds at most four points per chunk and drawing a batch costs no memory per sample. The
    // processed data drawn at the end of the read replace the preview.
    void expectPoints(int points);
    int previewStride() const { return m_previewStride; }
    static constexpr int kMostPreviewChunks = 1 << 18;
    // Key and value ranges of the curve's points (NaN left out); false without points.
    bool curveExtent(QCPRange *keys, QCPRange *values);

    QString unitName() const { return m_unitName; }
    // Display units per micrometre of the trace, those of the unit's name.
    double micrometreToDisplayFactor() const { return m_micrometreToDisplay; }
    double rmsLevel() const { return m_rmsLevel; }
    bool levelMode() const { return m_levelMode; }
    bool showsRLine() const { return m_showRLine; }
    bool straightens() const { return m_straighten; }
    const QVector<double> &displayX() const { return m_displayX; }
    const QVector<double> &displayY() const { return m_displayY; }
    const QVector<double> &rLine() const { return m_rLine; }
    const QVector<double> &ratioValues() const { return m_ratio.ratios; }
    const QVector<double> &ratioLevels() const { return m_ratio.levels; }
    QCPGraph *histogramGraph() const { return m_histogramGraph; }
    QCPGraph *ratioGraph() const { return m_ratioGraph; }
    QVector<QCPItemStraightLine *> levelLines() const;
    QVector<QCPItemStraightLine *> pickedLevelLines() const;
    XAxisMarker *leftMarker() const { return m_leftMarker; }
    XAxisMarker *rightMarker() const { return m_rightMarker; }

    AbstractTrace *trace;
    AdaptiveCurve *curve;
    // Band width of the histogram in percent of the height range.
    int histogramDensity;

signals:
    // A rebuild made beside the GUI thread is on the curve, or a later rebuild replaced it.
    void rebuildSettled();

public slots:
    void graphSelectionChanged(const QCPDataSelection &selection);

private:
    // What a rebuild draws, computed without touching the holder.
    struct Drawing
    {
        QVector<double> x;
        QVector<double> y;
        QVector<double> rLine;
        double rmsLevel = 0.0;
        bool ascending = true;
        std::pair<double, double> heights {0.0, 0.0};
        QVector<QCPCurveData> points;
        QCPRange keyExtent {qQNaN(), qQNaN()};
        QCPRange valueExtent {qQNaN(), qQNaN()};
        AdaptiveCurve::Summary summary;
    };
    // Fills the drawing (its x and y are written over where their room allows).
    static void computeDrawing(Drawing &d, const TData &processed, double factor, bool showRLine,
                               bool straighten, bool withPoints);
    void applyDrawing(Drawing &drawing);
    struct PendingRebuild;
    std::shared_ptr<PendingRebuild> m_pendingRebuild;

    // Puts the holder's objects on the plots (a hidden holder does so when first shown).
    void materialize();
    bool materialized() const { return curve != nullptr; }
    void applyPen();
    void setLevelMode(bool on);
    void setCurveData(const QVector<double> &x, const QVector<double> &y);
    void reserveCurve(int points);
    void updateExtent(const QVector<double> &x, const QVector<double> &y, bool reset);
    std::pair<int, int> rawRange(int begin, int end) const;

    QVector<QPointer<Plot>> m_plots;
    QVector<QPointer<QCPItemStraightLine>> m_levelLines;
    QVector<QPointer<QCPItemStraightLine>> m_pickedLevelLines;
    QPointer<XAxisMarker> m_leftMarker;
    QPointer<XAxisMarker> m_rightMarker;
    QPointer<QCPGraph> m_histogramGraph;
    QPointer<QCPGraph> m_ratioGraph;
    QVector<double> m_displayX;
    QVector<double> m_displayY;
    QVector<double> m_rLine;
    ProfileStatistics::RatioCurve m_ratio;
    double m_rmsLevel = 0.0;
    bool m_levelMode = false;
    bool m_pickedLevelShown = false;
    bool m_markersShown = false;
    QString m_unitName = unitSuffixOf(MillimetreUnit);
    double m_micrometreToDisplay = 1.0;
    bool m_straighten = false;
    bool m_showRLine = false;
    bool m_points = false;
    bool m_selectedPen = false;
    double m_pickedLevel = 0.0;
    int m_expectedPoints = 0;
    int m_previewStride = 1;
    // The samples of the preview's last chunk that is not complete yet.
    QVector<double> m_chunkX;
    QVector<double> m_chunkY;
    void appendCurvePoints(const QVector<double> &keys, const QVector<double> &values);

    // What the statistics were last computed from.
    struct StatisticsKey
    {
        double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
        int density = -1;
        quint64 revision = 0;
        bool operator==(const StatisticsKey &o) const
        {
            return xLow == o.xLow && xHigh == o.xHigh && yLow == o.yLow && yHigh == o.yHigh
                && density == o.density && revision == o.revision;
        }
    };
    StatisticsKey m_statisticsKey;
    bool m_statisticsValid = false;
    // Counts every change of the drawn data.
    quint64 m_revision = 1;
    bool m_displayAscending = true;
    std::pair<double, double> m_displayHeights {0.0, 0.0};
    // Extremes of the curve's points and the point count they cover.
    QCPRange m_keyExtent {qQNaN(), qQNaN()};
    QCPRange m_valueExtent {qQNaN(), qQNaN()};
    int m_extentCount = 0;
};
