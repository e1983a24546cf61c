#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class DataProvider;
class ProfileTrace;

// The road of the profile window's traces, without widgets: it makes every trace the window
// shows (read from a file, recorded from the instrument, joined), owns it until it leaves the
// window, follows its read, builds and rebuilds its processing chain, reprocesses it, saves a
// recording, evaluates the displayed parameters and proposes the cut-off after a recording. The
// window and its plots only draw what it announces.
//
// Ownership. The road owns every trace it makes (main and additional traces alike) from its
// creation to `removeTrace`; a trace still being filled by a provider is freed when its read
// ends. Traces made elsewhere are never freed by the road.
//
// Reading. The road takes the notifications of the provider attached to it (attach) itself; the
// window only listens to what the road announces. The chain a read ends with is built on the
// provider's worker once the samples are in, so a file's own cut-off filters the trace and its
// additional traces there; the end of the read then runs in one order: a chain rebuilt on the GUI
// thread only when a fast setting changed during the read, the automatic save of a recording
// (once), the evaluation, and for a recording the cut-off proposal. A read whose provider reports
// failure (DataProvider::lastResult false, or a read error) leaves nothing behind: its trace
// and the additional traces read with it are removed, never saved, evaluated or offered.
//
// Changes. A trace's own cut-off goes to its whole family (the main trace and its additional
// traces), whose chains are rebuilt and reprocessed once; the fast settings and the view rebuild
// every chain. A trace that was not read whole is never written to a file.
//
// Evaluation runs on the thread pool on a copy of the trace's family (the samples are shared,
// not copied) and is applied on the GUI thread; it starts at the next pass of the event loop, so
// the requests of one change become one evaluation per family. A change or a read of the family
// meanwhile supersedes it, and its result is dropped. Until a result is applied the entries it
// renews are empty, so nothing shown is left over from an earlier state.
//
// Every member function runs on the GUI thread.
class TraceRoad : public QObject
{
    Q_OBJECT

public:
    // Where a trace is listed: a main trace, or an additional trace of the last main trace.
    enum Entry { MainEntry, AdditionalEntry };

    explicit TraceRoad(QObject *parent = nullptr);
    ~TraceRoad() override;

    // What the road asks of the window. The speed of the device panel (mm/s) for a new profile
    // trace; the operator's answer to a proposed cut-off (µm), with *remember set when the
    // answer is to be kept; the instrument's filter switched to an index of kFilterLengths.
    std::function<double()> recordingSpeed;
    std::function<bool(int cutOff, bool *remember)> cutOffQuestion;
    std::function<void(int filterIndex)> instrumentFilter;
    // Asked before the evaluation of a family starts: true while what it reads of the window
    // (the histogram of the trace in view, for Dp) is not drawn yet. The parameters that read it
    // (readsViewHistogram) are then held back: a whole evaluation runs the others at once and
    // leaves their entries empty; they follow after `releaseEvaluations` once it is applied, or
    // at once for `waitForEvaluations`.
    std::function<bool(const AbstractTrace *root)> evaluationHeld;

    // An empty trace of the kind (E_ANALISIS_TYPE) with its processing chain, for the provider
    // to fill; null for any other kind. An additional trace read from a file, or recorded with
    // no main profile trace to hang on, is made a main profile trace; a recorded additional
    // trace takes the cut-off of the family it joins. The road owns the trace.
    AbstractTrace *createTrace(int kind, DataProvider *provider);

    // The road follows the provider's reads from now on: its notifications reach the road queued
    // from the provider's worker, or directly when the provider emits on the GUI thread. The
    // provider attached before is let go; notifications it queued before are still taken (they
    // name their own provider). Null lets go alone. The road never owns a provider; a provider
    // that is destroyed is let go with it.
    void attach(DataProvider *provider);
    DataProvider *attachedProvider() const { return m_provider; }
    // The trace being read; null between reads.
    AbstractTrace *readingTrace() const { return m_reading; }

    // The fast settings or the view changed: every chain is rebuilt from the settings, every
    // trace reprocessed once and evaluated. A trace being read follows at the end of its read.
    void reprocessAll();
    // The median filter of the settings for the parameters of every profile trace; the chains
    // follow with reprocessAll.
    void setMedianFilter(bool on, int window);
    // The cut-off (µm) of the trace's family; a whole family's file is rewritten.
    void setCutOff(AbstractTrace *trace, double cutOff);
    // The console's five probe values for a contour trace, in memory; with writeFile also into
    // its file (the settings window's console).
    void setConsole(AbstractTrace *trace, const ConsoleParams &console, bool writeFile);
    // The trace keeps its raw samples [from, to).
    void cropTrace(AbstractTrace *trace, int from, int to);
    // The section level (µm) of every profile trace; the parameters that use it are renewed.
    void setSectionLevel(double micrometres);
    // The histogram (amplitude density) changed: the parameters that use it are renewed.
    void renewSectionParameters();
    // Every profile trace evaluated again (the displayed parameters changed).
    void evaluateAll();
    // Evaluates the displayed parameters of the trace's family.
    void evaluate(AbstractTrace *trace);

    // A contour trace of joined points (column 0 X, column 1 Y, micrometres), shown as they are
    // and saved so that reading the file back gives the same points.
    AbstractTrace *addJoinedTrace(const TData &points);

    // An additional trace leaves its main trace, whose file is rewritten without it.
    void detachAdditionalTrace(int id);
    // The trace leaves the window (and its main trace's list of additional traces): freed now,
    // or at the end of its read.
    void removeTrace(int id);

    // Writes the trace to path (the native file with its additional traces, or the two-column
    // export); the native file becomes the trace's file. False, and nothing written, for a trace
    // that was not read whole.
    bool saveTrace(AbstractTrace *trace, const QString &path, DataSaveFormat format);
    // After a recording: proposes the cut-off the chosen standard prescribes for the trace's Ra
    // and switches the instrument's filter when the operator agrees; the trace takes the new
    // cut-off. True when its cut-off changed.
    bool proposeCutOff(AbstractTrace *trace);

    // Waits for every evaluation running and applies its result.
    void waitForEvaluations();
    // Starts the evaluations held back (at the next pass of the event loop).
    void releaseEvaluations();
    bool evaluationPending(const AbstractTrace *trace) const;

    // The traces the road made and has not removed, ascending id.
    QList<AbstractTrace *> traces() const;
    AbstractTrace *trace(int id) const;
    // True for a trace read whole, recorded or joined; false for one being read.
    bool isWhole(const AbstractTrace *trace) const;

    // The text of a read that failed, in Russian for the user: the file's name and the reason.
    static QString readFailureText(const DataProvider *provider, const QString &message);

signals:
    // A trace enters the window: listed as entry under name, its graphs shown or hidden.
    void traceAdded(AbstractTrace *trace, int entry, const QString &name, bool shown);
    void readBegan(AbstractTrace *trace);
    // Samples [from, from + count) of the trace being read are in.
    void samplesArrived(AbstractTrace *trace, int from, int count);
    void samplesDiscarded(AbstractTrace *trace);
    // The trace's processed data are new: draw them.
    void traceReprocessed(AbstractTrace *trace);
    // The family of the trace is about to be evaluated: what the evaluation reads of the view
    // (the histogram of the trace in view, for Dp) must be brought up to date now.
    void aboutToEvaluate(AbstractTrace *trace);
    // The trace's parameter results changed.
    void parametersChanged(AbstractTrace *trace);
    void traceRemoved(int id);
    // The read ended; trace is null when it was refused.
    void readEnded(AbstractTrace *trace);
    // A file was refused: the message for the user.
    void readRefused(const QString &text);
    // A recording ended before its measurement began: nothing was kept.
    void recordingInterrupted();
    // A recording could not be saved to path; it stays in the window.
    void recordingNotSaved(const QString &path);

private:
    // The provider's notifications. A read's end whose trace is not the one the road reads
    // (a provider started elsewhere) ends with readEnded(null), so nothing stays locked.
    void readStarted(DataProvider *provider);
    void batchReady(DataProvider *provider, int from, int count);
    void readReset(DataProvider *provider);
    void readError(DataProvider *provider, const QString &message);
    void readFinished(DataProvider *provider);

    // What one evaluation of a family renews.
    enum class Scope {
        // Every displayed parameter.
        All,
        // Every displayed parameter but those that read the histogram in view (left empty).
        AllButHistogram,
        // The parameters that use the section level.
        Section,
        // The parameters that read the histogram in view.
        Histogram,
    };
    struct Job;
    struct Record
    {
        std::unique_ptr<AbstractTrace> trace;
        bool whole = false;
        bool listed = false;
        bool savedOnce = false;
        // Removed while its read went on: freed when the read ends.
        bool doomed = false;
    };

    AbstractTrace *makeTrace(int kind, const Settings &settings);
    AbstractTrace *adopt(AbstractTrace *trace);
    Record *record(int id);
    const Record *record(int id) const;
    ProfileTrace *lastMainProfileTrace() const;
    ProfileTrace *familyRoot(AbstractTrace *trace) const;
    QList<AbstractTrace *> family(AbstractTrace *trace) const;
    void rebuildAndReprocess(AbstractTrace *trace);
    bool writeFamilyFile(AbstractTrace *trace);
    void saveRecording(AbstractTrace *trace);
    void dropRead(AbstractTrace *trace, DataProvider *provider);
    // A read that is not kept: the additional traces its reader made are freed, and a recorded
    // additional trace leaves its main trace.
    void releaseFamilyOfRead(AbstractTrace *trace);
    // Evaluation: the family of trace; sectionOnly renews the section parameters alone.
    void startEvaluation(AbstractTrace *trace, bool sectionOnly);
    void startQueuedEvaluations(bool heldToo = false);
    void runEvaluation(ProfileTrace *root, Scope scope);
    void applyEvaluation(const std::shared_ptr<Job> &job);
    void supersede(int rootId);

    std::map<int, Record> m_records;
    QPointer<DataProvider> m_provider;
    AbstractTrace *m_reading = nullptr;
    // The kind and name decided when the trace being read was made.
    int m_startKind = PROFILE;
    QString m_startName;
    // A read error was reported for the read in progress.
    bool m_readFailed = false;
    QString m_readError;
    // A fast setting changed during the read: the chain is rebuilt at its end.
    bool m_rebuildAfterRead = false;
    // Running evaluations by the id of the family's main trace; the generation tells a result
    // that a later change superseded.
    QMap<int, std::shared_ptr<Job>> m_jobs;
    QMap<int, quint64> m_generation;
    // Evaluations asked for and not started yet (id of the family's main trace, what they
    // renew), started together at the next pass of the event loop. The histogram parameters
    // held back from a whole evaluation start once that evaluation is applied.
    QMap<int, Scope> m_queued;
    bool m_startQueued = false;
};
