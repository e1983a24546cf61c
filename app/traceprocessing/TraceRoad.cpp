#include "traceprocessing/TraceRoad.h"

#include "core/CalibrationProcessors.h"
#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/TraceAutoSave.h"
#include "core/TraceFileReader.h"
#include "core/TraceFileWriter.h"
#include "core/TraceReadChains.h"
#include "dataproviders/DataProvider.h"
#include "dataproviders/FileDataProvider.h"
#include "processing/ProfileStatistics.h"
#include "traceprocessing/ParameterEvaluation.h"
#include "traceprocessing/ProcessingChain.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <cmath>

namespace {

bool isProfileTrace(const AbstractTrace *trace)
{
    return trace && isProfileKind(trace->type) && dynamic_cast<const ProfileTrace *>(trace);
}

} // namespace

// One evaluation of a family: a copy of the main trace with copies of its additional traces
// (their samples shared with the originals), evaluated on the thread pool.
struct TraceRoad::Job
{
    int rootId = -1;
    quint64 generation = 0;
    Scope scope = Scope::All;
    std::unique_ptr<ProfileTrace> copy;
    // The ids of the original additional traces, in the order of the copy's.
    QVector<int> childIds;
    std::atomic<bool> cancelled {false};
    QFuture<void> future;

    void run()
    {
        const auto stop = [this] {
            return cancelled.load();
        };
        ExtraArgs args;
        const auto evaluateOne = [&](ProfileTrace *trace) {
            switch (scope) {
            case Scope::All:
                evaluateEnabledParameters(args, trace, stop);
                break;
            case Scope::AllButHistogram:
                evaluateEnabledParameters(args, trace, stop, readsViewHistogram);
                break;
            case Scope::Section:
                reevaluateSectionParameters(args, trace);
                break;
            case Scope::Histogram:
                reevaluateHistogramParameters(args, trace);
                break;
            }
        };
        for (ProfileTrace *child : qAsConst(copy->additionalTraces)) {
            if (stop())
                return;
            evaluateOne(child);
        }
        if (!stop())
            evaluateOne(copy.get());
    }
};

TraceRoad::TraceRoad(QObject *parent)
    : QObject(parent)
{ }

TraceRoad::~TraceRoad()
{
    // The evaluations work on copies; they only have to end before the program does.
    for (const std::shared_ptr<Job> &job : qAsConst(m_jobs)) {
        job->cancelled = true;
        job->future.waitForFinished();
    }
    m_jobs.clear();
    // The additional traces of a file whose read never ended were not taken over yet.
    for (auto &entry : m_records) {
        auto *profile = dynamic_cast<ProfileTrace *>(entry.second.trace.get());
        if (!profile)
            continue;
        for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
            if (!record(child->id))
                delete child;
        }
    }
}

// Creation ----------------------------------------------------------------------------------

AbstractTrace *TraceRoad::makeTrace(int kind, const Settings &settings)
{
    AbstractTrace *trace = nullptr;
    if (isProfileKind(kind)) {
        auto *profile = new ProfileTrace;
        profile->speed = recordingSpeed ? recordingSpeed() : 0.0;
        profile->filterLength = filterLengthSetting(settings);
        profile->medianWindow = settings.preferences.meadian_filter_value;
        profile->medianEnabled = settings.preferences.meadian_filter;
        trace = profile;
    } else if (kind == CONTOUR || kind == CONTOURPROF) {
        auto *contour = new ContourTrace;
        contour->takeCalibration(settings.calibration, settings.device.measurement_mode);
        trace = contour;
    } else {
        return nullptr;
    }
    trace->setType(kind);
    trace->creationDate = QDateTime::currentDateTime();
    // A file being read replaces the path with its own; a recording keeps it.
    const QString folder = autoSaveFolder();
    trace->setFilePath(autoSavePath(folder.isEmpty() ? QStringLiteral(".") : folder,
                                    settings.service.default_trace_file_name, trace->creationDate));
    trace->controllerName = settings.current_controller_name;
    buildProcessingChain(*trace, settings);
    return trace;
}

AbstractTrace *TraceRoad::adopt(AbstractTrace *trace)
{
    Record entry;
    entry.trace.reset(trace);
    m_records[trace->id] = std::move(entry);
    return trace;
}

TraceRoad::Record *TraceRoad::record(int id)
{
    const auto it = m_records.find(id);
    return it == m_records.end() ? nullptr : &it->second;
}

const TraceRoad::Record *TraceRoad::record(int id) const
{
    const auto it = m_records.find(id);
    return it == m_records.end() ? nullptr : &it->second;
}

AbstractTrace *TraceRoad::createTrace(int kind, DataProvider *provider)
{
    const Settings settings = Settings::snapshot();
    const bool live = provider && provider->isLive();
    if (kind == ADDITIONAL_TRACE && (!live || !lastMainProfileTrace())) {
        // An additional trace needs a main profile trace to hang on: a file that names itself
        // so, or a recording with no profile trace listed last, is a main trace of its own.
        kind = PROFILE;
    }
    if (kind == ADDITIONAL_TRACE
        && lastMainProfileTrace()->additionalTraces.size() >= kMaxAdditionalTraces) {
        // A family file with more additional traces than a file may hold could not be read
        // back: the recording starts a family of its own.
        logger.log(INFO,
                   "The last main trace holds the most additional traces a file takes; "
                   "the recording becomes a main trace");
        kind = PROFILE;
    }
    AbstractTrace *trace = makeTrace(kind, settings);
    if (!trace)
        return nullptr;
    if (kind == ADDITIONAL_TRACE) {
        // A family has one cut-off: its parameters are evaluated over all its members and its
        // file stores the main trace's alone. A new member takes it, whatever the instrument's.
        static_cast<ProfileTrace *>(trace)->filterLength = lastMainProfileTrace()->filterLength;
        buildProcessingChain(*trace, settings);
    }
    adopt(trace);
    m_startKind = kind;
    m_startName
        = QFileInfo(provider && !live ? provider->source() : trace->filePath()).completeBaseName();
    if (provider) {
        // The chain the read ends with: built on the worker once the samples are in, with the
        // cut-off a file's header gave the trace and its additional traces.
        provider->setBeforePostProcessing([settings](AbstractTrace &read) {
            buildProcessingChain(read, settings);
            if (auto *profile = dynamic_cast<ProfileTrace *>(&read)) {
                for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
                    buildProcessingChain(*child, settings);
                    child->applyPostProcessors();
                }
            }
        });
    }
    return trace;
}

AbstractTrace *TraceRoad::addJoinedTrace(const TData &points)
{
    if (points.size() < 2 || points.at(0).size() != points.at(1).size() || points.at(0).isEmpty())
        return nullptr;
    const Settings settings = Settings::snapshot();
    auto *trace = static_cast<ContourTrace *>(makeTrace(CONTOUR, settings));
    // The joined points are the contour itself: neutral probe values and no smoothing, so that
    // the finishing leaves them as they are whenever the trace is processed or read again.
    trace->toolHeadRadiusDown = 0.0;
    trace->toolHeadRadiusUp = 0.0;
    trace->doubleSidedProbeHigh = 0.0;
    trace->needleBias = 0.0;
    trace->measurementMode = 1;
    trace->needlePressing = MovementSettings::E_PRESSING_DOWN;
    // Stored samples are raw: they are the points taken back through the calibration's
    // conversion, which a reader (and a reprocessing) applies again.
    trace->addPointProcessor(new ContourConversionPointProcessor);
    const CalibrationSettings &c = settings.calibration;
    const double angle = c.rack_prpendicular * M_PI / 180.0;
    const bool invertible = std::cos(angle) != 0.0 && c.x_axis_compression_ratio != 0.0
        && c.y_axis_compression_ratio != 0.0;
    const int n = points.at(0).size();
    QVector<double> rawX(n);
    QVector<double> rawY(n);
    for (int i = 0; i < n; ++i) {
        const double x = points.at(0).at(i);
        const double y = points.at(1).at(i);
        if (invertible) {
            const double scaledY = y / std::cos(angle);
            rawY[i] = scaledY / c.y_axis_compression_ratio;
            rawX[i] = (x + std::sin(angle) * scaledY) / c.x_axis_compression_ratio;
        } else {
            rawX[i] = x;
            rawY[i] = y;
        }
    }
    *trace->rawData = {rawX, rawY, QVector<double>(n, 0.0)};
    *trace->convertedData = {points.at(0), points.at(1), QVector<double>(n, 0.0)};
    *trace->processedData = *trace->convertedData;
    trace->setName(QFileInfo(trace->filePath()).fileName());
    adopt(trace);
    Record *joined = record(trace->id);
    joined->whole = true;
    joined->listed = true;
    emit traceAdded(trace, MainEntry, QString(), true);
    return trace;
}

// Reading ------------------------------------------------------------------------------------

void TraceRoad::attach(DataProvider *provider)
{
    if (provider == m_provider)
        return;
    if (m_provider)
        disconnect(m_provider, nullptr, this, nullptr);
    m_provider = provider;
    if (!provider)
        return;
    // Each notification names its own provider: one queued by a provider replaced since still
    // belongs to the read it ended.
    const QPointer<DataProvider> source(provider);
    connect(provider, &DataProvider::dataReadStarted, this, [this, source] {
        if (source)
            readStarted(source);
    });
    connect(provider, &DataProvider::dataBatchReady, this, [this, source](int from, int count) {
        if (source)
            batchReady(source, from, count);
    });
    connect(provider, &DataProvider::dataReset, this, [this, source] {
        if (source)
            readReset(source);
    });
    connect(provider, &DataProvider::dataReadError, this, [this, source](const QString &message) {
        if (source)
            readError(source, message);
    });
    connect(provider, &DataProvider::dataReadFinished, this, [this, source] {
        if (source)
            readFinished(source);
        else
            emit readEnded(nullptr);
    });
}

void TraceRoad::readStarted(DataProvider *provider)
{
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    Record *read = trace ? record(trace->id) : nullptr;
    if (!read || read->trace.get() != trace)
        return;
    m_reading = trace;
    m_readFailed = false;
    m_readError.clear();
    m_rebuildAfterRead = false;
    // The window may let earlier traces go here (sensor-test mode).
    emit readBegan(trace);
    // The main trace a recorded additional trace hangs on: the last one listed before it.
    ProfileTrace *parent = m_startKind == ADDITIONAL_TRACE ? lastMainProfileTrace() : nullptr;
    read->listed = true;
    auto *profile = dynamic_cast<ProfileTrace *>(trace);
    if (parent && profile && parent != profile) {
        // A recorded additional trace hangs on the last main trace and shares its file. It was
        // made with that trace's cut-off; should the family it joins have another, it takes the
        // family's at the end of its read, when the worker no longer holds it.
        if (profile->filterLength != parent->filterLength)
            m_rebuildAfterRead = true;
        parent->addAdditionalTrace(profile);
        emit traceAdded(trace, AdditionalEntry, QString(), true);
        return;
    }
    if (m_startKind == ADDITIONAL_TRACE) {
        // The main trace it was to hang on left meanwhile: a main trace of its own (the
        // provider's worker has prepared the trace and no longer reads its kind).
        m_startKind = PROFILE;
        trace->setType(PROFILE);
    }
    emit traceAdded(trace, MainEntry, m_startName, true);
}

void TraceRoad::batchReady(DataProvider *provider, int from, int count)
{
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    if (trace && trace == m_reading && count > 0)
        emit samplesArrived(trace, from, count);
}

void TraceRoad::readReset(DataProvider *provider)
{
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    if (!trace || trace != m_reading)
        return;
    trace->clearData();
    emit samplesDiscarded(trace);
}

void TraceRoad::readError(DataProvider *provider, const QString &message)
{
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    if (!trace || trace != m_reading)
        return;
    m_readFailed = true;
    if (m_readError.isEmpty())
        m_readError = message;
}

QString TraceRoad::readFailureText(const DataProvider *provider, const QString &message)
{
    const QString source = provider ? provider->source() : QString();
    QString reason;
    if (const auto *file = dynamic_cast<const FileDataProvider *>(provider))
        reason = file->failureReason();
    if (reason.isEmpty())
        reason = message.isEmpty() ? QStringLiteral("чтение прервано") : message;
    return QStringLiteral("Не удалось прочитать трассу из файла «%1»: %2. Трасса не открыта.")
        .arg(QFileInfo(source).fileName(), reason);
}

void TraceRoad::dropRead(AbstractTrace *trace, DataProvider *provider)
{
    const bool live = provider && provider->isLive();
    // The additional traces a reader made before the failure were never shown.
    releaseFamilyOfRead(trace);
    const int id = trace->id;
    m_records.erase(id);
    emit traceRemoved(id);
    if (live) {
        logger.log(INFO, "Trace interrupted before the measurement began");
        emit recordingInterrupted();
    } else {
        logger.log(INFO,
                   "Trace not opened: "
                       + (provider ? provider->source().toStdString() : std::string()));
        emit readRefused(readFailureText(provider, m_readError));
    }
}

void TraceRoad::releaseFamilyOfRead(AbstractTrace *trace)
{
    auto *profile = dynamic_cast<ProfileTrace *>(trace);
    if (!profile)
        return;
    for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
        if (!record(child->id))
            delete child;
    }
    profile->additionalTraces.clear();
    if (ProfileTrace *parent = profile->parentTrace) {
        if (record(parent->id))
            parent->removeAdditionalTrace(profile->id);
        profile->parentTrace = nullptr;
    }
}

void TraceRoad::readFinished(DataProvider *provider)
{
    AbstractTrace *trace = provider ? provider->trace() : nullptr;
    if (!trace || trace != m_reading) {
        // A read that never started on the road: nothing to show, but nothing stays locked.
        emit readEnded(nullptr);
        return;
    }
    m_reading = nullptr;
    const int id = trace->id;
    const bool live = provider->isLive();
    auto *profile = dynamic_cast<ProfileTrace *>(trace);

    if (record(id)->doomed) {
        // Removed from the window while it was being read.
        releaseFamilyOfRead(trace);
        m_records.erase(id);
        emit readEnded(nullptr);
        return;
    }
    if (!provider->lastResult() || m_readFailed) {
        dropRead(trace, provider);
        emit readEnded(nullptr);
        return;
    }

    if (trace->type == ADDITIONAL_TRACE && m_startKind != ADDITIONAL_TRACE) {
        // A file that names itself an additional trace is listed, saved and reported as a main
        // trace.
        trace->setType(PROFILE);
    }
    QList<ProfileTrace *> fileChildren;
    if (profile && profile->type == PROFILE) {
        for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
            if (record(child->id))
                continue;
            adopt(child);
            fileChildren.append(child);
        }
    }
    if (m_rebuildAfterRead) {
        // A fast setting, the view or the family's cut-off changed while the worker held the
        // trace: its chain and its parameter settings follow now.
        m_rebuildAfterRead = false;
        const Settings &settings = *Settings::instance();
        QList<AbstractTrace *> rebuilt {trace};
        for (ProfileTrace *child : qAsConst(fileChildren))
            rebuilt.append(child);
        for (AbstractTrace *member : qAsConst(rebuilt)) {
            if (auto *p = dynamic_cast<ProfileTrace *>(member)) {
                p->medianEnabled = settings.preferences.meadian_filter;
                p->medianWindow = settings.preferences.meadian_filter_value;
                if (p->type == ADDITIONAL_TRACE && p->parentTrace)
                    p->filterLength = p->parentTrace->filterLength;
            }
            rebuildAndReprocess(member);
        }
    }
    record(id)->whole = true;
    for (ProfileTrace *child : qAsConst(fileChildren)) {
        Record *entry = record(child->id);
        entry->whole = true;
        entry->listed = true;
        emit traceAdded(child, AdditionalEntry, QString(), false);
    }
    emit traceReprocessed(trace);
    if (live)
        saveRecording(trace);
    startEvaluation(trace, false);
    if (live && proposeCutOff(trace))
        setCutOff(trace, static_cast<ProfileTrace *>(trace)->filterLength);
    emit readEnded(trace);
}

// Changes ------------------------------------------------------------------------------------

void TraceRoad::rebuildAndReprocess(AbstractTrace *trace)
{
    buildProcessingChain(*trace, *Settings::instance());
    trace->reprocess();
}

void TraceRoad::reprocessAll()
{
    const QList<AbstractTrace *> all = traces();
    for (AbstractTrace *trace : all) {
        if (trace == m_reading || !isWhole(trace))
            continue;
        rebuildAndReprocess(trace);
        emit traceReprocessed(trace);
    }
    if (m_reading)
        m_rebuildAfterRead = true;
    evaluateAll();
}

void TraceRoad::setMedianFilter(bool on, int window)
{
    for (AbstractTrace *trace : traces()) {
        if (!isProfileTrace(trace))
            continue;
        if (trace == m_reading || !isWhole(trace)) {
            m_rebuildAfterRead = true;
            continue;
        }
        auto *profile = static_cast<ProfileTrace *>(trace);
        profile->medianEnabled = on;
        profile->medianWindow = window;
    }
}

void TraceRoad::setCutOff(AbstractTrace *trace, double cutOff)
{
    if (!isProfileTrace(trace))
        return;
    ProfileTrace *root = familyRoot(trace);
    const QList<AbstractTrace *> members = family(root);
    for (AbstractTrace *member : members) {
        if (member == m_reading || !isWhole(member)) {
            // A recording still going on takes its main trace's cut-off at its end.
            m_rebuildAfterRead = true;
            continue;
        }
        static_cast<ProfileTrace *>(member)->filterLength = cutOff;
        rebuildAndReprocess(member);
        emit traceReprocessed(member);
    }
    logger.log(INFO,
               "Cut-off " + std::to_string(int(cutOff)) + " um for trace "
                   + std::to_string(root->id + 1) + " and its additional traces");
    writeFamilyFile(root);
    startEvaluation(root, false);
}

void TraceRoad::setConsole(AbstractTrace *trace, const ConsoleParams &console, bool writeFile)
{
    auto *contour = dynamic_cast<ContourTrace *>(trace);
    if (!contour || trace == m_reading || !record(trace->id))
        return;
    contour->takeProbeValues(console);
    if (writeFile)
        writeFamilyFile(trace);
    rebuildAndReprocess(trace);
    emit traceReprocessed(trace);
}

void TraceRoad::cropTrace(AbstractTrace *trace, int from, int to)
{
    if (!trace || trace == m_reading || !isWhole(trace))
        return;
    trace->crop(from, to);
    emit traceReprocessed(trace);
    startEvaluation(trace, false);
}

void TraceRoad::setSectionLevel(double micrometres)
{
    for (AbstractTrace *trace : traces()) {
        if (isProfileTrace(trace) && trace != m_reading)
            static_cast<ProfileTrace *>(trace)->sectionLevel = micrometres;
    }
    renewSectionParameters();
}

void TraceRoad::renewSectionParameters()
{
    for (AbstractTrace *trace : traces()) {
        if (isProfileTrace(trace) && familyRoot(trace) == trace)
            startEvaluation(trace, true);
    }
}

void TraceRoad::evaluateAll()
{
    for (AbstractTrace *trace : traces()) {
        if (isProfileTrace(trace) && familyRoot(trace) == trace)
            startEvaluation(trace, false);
    }
}

void TraceRoad::evaluate(AbstractTrace *trace)
{
    startEvaluation(trace, false);
}

// Removal ------------------------------------------------------------------------------------

void TraceRoad::detachAdditionalTrace(int id)
{
    auto *child = dynamic_cast<ProfileTrace *>(trace(id));
    ProfileTrace *parent = child ? child->parentTrace : nullptr;
    if (!parent || !record(parent->id))
        return;
    parent->removeAdditionalTrace(id);
    child->parentTrace = nullptr;
    supersede(parent->id);
    writeFamilyFile(parent);
    startEvaluation(parent, false);
}

void TraceRoad::removeTrace(int id)
{
    Record *removedRecord = record(id);
    if (!removedRecord || removedRecord->doomed)
        return;
    AbstractTrace *removed = removedRecord->trace.get();
    supersede(id);
    if (auto *profile = dynamic_cast<ProfileTrace *>(removed)) {
        if (ProfileTrace *parent = profile->parentTrace) {
            if (record(parent->id)) {
                supersede(parent->id);
                parent->removeAdditionalTrace(id);
            }
            profile->parentTrace = nullptr;
        }
        for (ProfileTrace *child : qAsConst(profile->additionalTraces)) {
            if (record(child->id))
                child->parentTrace = nullptr;
        }
        if (removed != m_reading)
            profile->additionalTraces.clear();
    }
    if (removed == m_reading) {
        removedRecord->doomed = true;
        removedRecord->listed = false;
        return;
    }
    m_records.erase(id);
}

// Saving -------------------------------------------------------------------------------------

bool TraceRoad::writeFamilyFile(AbstractTrace *trace)
{
    AbstractTrace *root = trace;
    if (ProfileTrace *parent = familyRoot(trace))
        root = parent;
    if (root->filePath().isEmpty())
        return false;
    for (AbstractTrace *member : family(root)) {
        if (!isWhole(member)) {
            logger.log(INFO,
                       "Trace file not rewritten, a trace of it is not complete: "
                           + root->filePath().toStdString());
            return false;
        }
    }
    return writeTraceFile(root->filePath(), root);
}

void TraceRoad::saveRecording(AbstractTrace *trace)
{
    AbstractTrace *target = familyRoot(trace) ? familyRoot(trace) : trace;
    Record *saved = record(trace->id);
    if (target == trace && !saved->savedOnce) {
        // Two recordings within one second must not share a file.
        trace->setFilePath(freeFilePath(trace->filePath()));
    }
    if (writeFamilyFile(target)) {
        saved->savedOnce = true;
        logger.log(INFO, "Trace saved to " + target->filePath().toStdString());
        return;
    }
    logger.log(ERROR, "Recorded trace not saved to " + target->filePath().toStdString());
    emit recordingNotSaved(target->filePath());
}

bool TraceRoad::saveTrace(AbstractTrace *trace, const QString &path, DataSaveFormat format)
{
    if (!trace || !isWhole(trace)) {
        logger.log(INFO, "Trace not saved, it is not complete: " + path.toStdString());
        return false;
    }
    if (format == POINT_FORMAT)
        return writeColumnsExport(path, trace);
    for (AbstractTrace *member : family(trace)) {
        if (!isWhole(member)) {
            logger.log(INFO,
                       "Trace not saved, a trace of it is not complete: " + path.toStdString());
            return false;
        }
    }
    if (!writeTraceFile(path, trace))
        return false;
    trace->setFilePath(path);
    if (auto *profile = dynamic_cast<ProfileTrace *>(trace)) {
        for (ProfileTrace *child : qAsConst(profile->additionalTraces))
            child->setFilePath(path);
    }
    return true;
}

// Cut-off proposal ---------------------------------------------------------------------------

bool TraceRoad::proposeCutOff(AbstractTrace *trace)
{
    if (!isProfileTrace(trace))
        return false;
    auto *profile = static_cast<ProfileTrace *>(trace);
    const int index = Settings::instance()->device.spinbox_filter_length_index;
    if (index < 0 || index >= kFilterLengths.size())
        return false;
    const int start = int(kFilterLengths.at(index));
    // Ra is measured on a copy: the trace's own results and caches are the evaluation's.
    ProfileTrace measured(*profile);

    ProfileStatistics::CutOffProposal steps;
    steps.measureRa = [&measured] {
        ExtraArgs args;
        bool ok = false;
        const double ra = evaluateParameter(args, &measured, QStringLiteral("Ra")).toDouble(&ok);
        return ok ? ra : 0.0;
    };
    steps.prescribe = [](double ra) {
        return Algos::standardCutOff(ra);
    };
    steps.accept = [this](int cutOff) {
        const PreferencesSettings p = Settings::instance()->preferences;
        if (!p.is_ask_before_change_filter)
            return p.is_accept_filter;
        bool remember = false;
        const bool yes = cutOffQuestion && cutOffQuestion(cutOff, &remember);
        if (remember) {
            Settings::modify([yes](Settings &s) {
                s.preferences.is_ask_before_change_filter = false;
                s.preferences.is_accept_filter = yes;
            });
        }
        return yes;
    };
    steps.apply = [this, profile, &measured](int filterIndex) {
        if (instrumentFilter)
            instrumentFilter(filterIndex);
        profile->filterLength = kFilterLengths.at(filterIndex);
        measured.filterLength = profile->filterLength;
    };
    return ProfileStatistics::proposeCutOff(kFilterLengths, trace->length(), start, steps) != start;
}

// Evaluation ---------------------------------------------------------------------------------

void TraceRoad::supersede(int rootId)
{
    ++m_generation[rootId];
    m_queued.remove(rootId);
    if (std::shared_ptr<Job> job = m_jobs.take(rootId))
        job->cancelled = true;
}

void TraceRoad::startEvaluation(AbstractTrace *trace, bool sectionOnly)
{
    ProfileTrace *root = isProfileTrace(trace) ? familyRoot(trace) : nullptr;
    if (!root || root == m_reading || !record(root->id))
        return;
    const int id = root->id;
    // A whole evaluation running or asked for stays whole. The histogram parameters held back
    // from one are among the section parameters, whose entries stay listed (empty).
    const std::shared_ptr<Job> running = m_jobs.value(id);
    if ((running && (running->scope == Scope::All || running->scope == Scope::AllButHistogram))
        || m_queued.value(id, Scope::Section) == Scope::All)
        sectionOnly = false;
    supersede(id);

    // Nothing shown may be left over from the earlier state while the new values are computed.
    const QList<AbstractTrace *> members = family(root);
    for (AbstractTrace *member : members) {
        auto *profile = static_cast<ProfileTrace *>(member);
        if (!sectionOnly) {
            profile->parameterResults.clear();
            continue;
        }
        for (auto it = profile->parameterResults.begin(); it != profile->parameterResults.end();
             ++it) {
            if (kParameterCatalogue.value(it.key()).usesSectionLevel)
                it.value().clear();
        }
    }
    for (AbstractTrace *member : members)
        emit parametersChanged(member);

    // The evaluation starts at the next pass of the event loop: the requests of one change
    // (every trace of a reprocessing, say) become one evaluation per family, and the window
    // draws the change first.
    m_queued.insert(id, sectionOnly ? Scope::Section : Scope::All);
    if (!m_startQueued) {
        m_startQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { startQueuedEvaluations(); }, Qt::QueuedConnection);
    }
}

void TraceRoad::startQueuedEvaluations(bool heldToo)
{
    m_startQueued = false;
    const QMap<int, Scope> queued = m_queued;
    m_queued.clear();
    for (auto it = queued.cbegin(); it != queued.cend(); ++it) {
        auto *root = dynamic_cast<ProfileTrace *>(trace(it.key()));
        if (!root || root == m_reading || familyRoot(root) != root)
            continue;
        const Scope scope = it.value();
        if (scope == Scope::Histogram && m_jobs.contains(it.key())) {
            // The evaluation that left these entries empty is not applied yet: they follow it,
            // with the profiles it made.
            m_queued.insert(it.key(), scope);
            continue;
        }
        if (!heldToo && evaluationHeld && evaluationHeld(root)) {
            if (scope == Scope::All) {
                // The parameters that need only the trace do not wait for the drawing.
                runEvaluation(root, Scope::AllButHistogram);
                m_queued.insert(it.key(), Scope::Histogram);
            } else {
                m_queued.insert(it.key(), scope);
            }
            continue;
        }
        runEvaluation(root, scope);
    }
}

void TraceRoad::releaseEvaluations()
{
    if (m_queued.isEmpty() || m_startQueued)
        return;
    m_startQueued = true;
    QMetaObject::invokeMethod(
        this, [this] { startQueuedEvaluations(); }, Qt::QueuedConnection);
}

void TraceRoad::runEvaluation(ProfileTrace *root, Scope scope)
{
    if (scope != Scope::AllButHistogram)
        emit aboutToEvaluate(root);
    auto job = std::make_shared<Job>();
    job->rootId = root->id;
    job->generation = m_generation.value(root->id);
    job->scope = scope;
    job->copy = std::make_unique<ProfileTrace>(*root);
    for (const ProfileTrace *child : qAsConst(root->additionalTraces))
        job->childIds.append(child->id);
    job->future = QtConcurrent::run(QThreadPool::globalInstance(), [job] { job->run(); });
    auto *watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, job] {
        watcher->deleteLater();
        applyEvaluation(job);
    });
    watcher->setFuture(job->future);
    m_jobs.insert(root->id, job);
}

void TraceRoad::applyEvaluation(const std::shared_ptr<Job> &job)
{
    if (m_jobs.value(job->rootId) != job || m_generation.value(job->rootId) != job->generation)
        return;
    m_jobs.remove(job->rootId);
    auto *root = dynamic_cast<ProfileTrace *>(trace(job->rootId));
    if (!root)
        return;
    QList<ProfileTrace *> changed;
    const QVector<ProfileTrace *> &copies = job->copy->additionalTraces;
    for (int i = 0; i < root->additionalTraces.size() && i < copies.size(); ++i) {
        ProfileTrace *child = root->additionalTraces.at(i);
        if (child->id != job->childIds.value(i, -1))
            continue;
        child->parameterResults = copies.at(i)->parameterResults;
        child->adoptProfileCaches(*copies.at(i));
        changed.append(child);
    }
    root->parameterResults = job->copy->parameterResults;
    root->adoptProfileCaches(*job->copy);
    changed.append(root);
    for (ProfileTrace *trace : qAsConst(changed))
        emit parametersChanged(trace);
    // The histogram parameters held back from this evaluation may start now.
    if (m_queued.contains(job->rootId))
        releaseEvaluations();
}

void TraceRoad::waitForEvaluations()
{
    // The histogram parameters held back from an evaluation start once it is applied.
    while (!m_jobs.isEmpty() || !m_queued.isEmpty()) {
        startQueuedEvaluations(true);
        const QList<std::shared_ptr<Job>> jobs = m_jobs.values();
        if (jobs.isEmpty())
            break;
        for (const std::shared_ptr<Job> &job : jobs) {
            job->future.waitForFinished();
            applyEvaluation(job);
            // A job superseded meanwhile is not applied: it leaves the running ones.
            if (m_jobs.value(job->rootId) == job)
                m_jobs.remove(job->rootId);
        }
    }
}

bool TraceRoad::evaluationPending(const AbstractTrace *trace) const
{
    if (!trace)
        return !m_jobs.isEmpty() || !m_queued.isEmpty();
    const ProfileTrace *root = familyRoot(const_cast<AbstractTrace *>(trace));
    return root && (m_jobs.contains(root->id) || m_queued.contains(root->id));
}

// Registry -----------------------------------------------------------------------------------

QList<AbstractTrace *> TraceRoad::traces() const
{
    QList<AbstractTrace *> result;
    for (const auto &entry : m_records) {
        if (entry.second.listed && !entry.second.doomed)
            result.append(entry.second.trace.get());
    }
    return result;
}

AbstractTrace *TraceRoad::trace(int id) const
{
    const Record *entry = record(id);
    return !entry || entry->doomed ? nullptr : entry->trace.get();
}

bool TraceRoad::isWhole(const AbstractTrace *trace) const
{
    if (!trace)
        return false;
    const Record *entry = record(trace->id);
    return entry && entry->trace.get() == trace && entry->whole && !entry->doomed;
}

ProfileTrace *TraceRoad::lastMainProfileTrace() const
{
    for (auto it = m_records.crbegin(); it != m_records.crend(); ++it) {
        const Record &entry = it->second;
        if (!entry.listed || entry.doomed)
            continue;
        auto *profile = dynamic_cast<ProfileTrace *>(entry.trace.get());
        if (profile && profile->type == ADDITIONAL_TRACE && profile->parentTrace)
            continue;
        return profile && profile->type == PROFILE ? profile : nullptr;
    }
    return nullptr;
}

ProfileTrace *TraceRoad::familyRoot(AbstractTrace *trace) const
{
    auto *profile = dynamic_cast<ProfileTrace *>(trace);
    if (!profile)
        return nullptr;
    ProfileTrace *parent = profile->parentTrace;
    const Record *parentRecord = parent ? record(parent->id) : nullptr;
    if (parentRecord && parentRecord->trace.get() == parent
        && parent->additionalTraces.contains(profile))
        return parent;
    return profile;
}

QList<AbstractTrace *> TraceRoad::family(AbstractTrace *trace) const
{
    ProfileTrace *root = familyRoot(trace);
    if (!root)
        return {trace};
    QList<AbstractTrace *> members {root};
    for (ProfileTrace *child : qAsConst(root->additionalTraces))
        members.append(child);
    return members;
}
