#pragma once

#include "core/AbstractTrace.h"

#include <QMap>

#include <optional>

// A profilometer trace: two channels (X, Y in micrometres) with its additional traces.
//
// Additional traces: a trace does not own the additional traces added to it with
// `addAdditionalTrace`; the window that keeps the traces manages their lifetime. A copy of a
// trace, however, clones the source's additional traces, and those clones belong to the copy:
// the copy deletes them when it is destroyed, unless they were taken out of it with
// `removeAdditionalTrace` first (the caller then owns the removed clone).
class ProfileTrace : public AbstractTrace
{
public:
    ProfileTrace();
    ProfileTrace(const ProfileTrace &other);
    ~ProfileTrace() override;

    void finalizeAfterRead() override;
    AbstractTrace *clone() const override;
    QString headerText() const override;

    void addAdditionalTrace(ProfileTrace *child);
    void removeAdditionalTrace(int traceId);
    void clearProfileCaches();
    // Takes over the cached parameter profiles of a copy of this trace (made with the copy
    // constructor) when they were made from the data, median and cut-off this trace still has;
    // otherwise keeps its own.
    void adoptProfileCaches(const ProfileTrace &copy);

    // The profile of a kind (an E_PROFILE_TYPE value) on which parameters are computed, always
    // derived from the raw samples: the roughness and waviness profiles pass the trace's median
    // filter (when enabled) and a Gaussian band whose long edge is the trace's own filter
    // length; the short edge (Algos::roughnessParameterBand, Algos::wavinessParameterBand) and
    // the cache key come from the cut-off argument. Filtered profiles are cached per kind and
    // cut-off until clearProfileCaches, or until what they were made from changes: the data
    // (appendPoint, crop, clearData, reprocess), medianEnabled, medianWindow or filterLength;
    // the caches are then emptied at the next call. The primary profile is the raw data. Any
    // other kind gives an empty data set.
    TData profileForParameters(double cutOff, int kind);

    // Parameter name to value text.
    QMap<QString, QString> parameterResults;
    // Not owned (see the class comment), in the order they were added.
    QVector<ProfileTrace *> additionalTraces;
    // The main trace of an additional trace; null for a main trace. Not owned.
    ProfileTrace *parentTrace = nullptr;
    // Tracing speed in mm/s.
    double speed = 0.0;
    // Cut-off length in micrometres, one of kFilterLengths.
    double filterLength = 0.0;
    // Section height in micrometres picked on the profile plot.
    double sectionLevel = 0.0;
    int medianWindow = 1;
    bool medianEnabled = false;
    // Roughness and waviness profiles by cut-off.
    QMap<double, TData> roughnessProfileCache;
    QMap<double, TData> wavinessProfileCache;
    // Amplitude density curve of the histogram plot.
    TData amplitudeDensity;

private:
    // What the cached profiles were made from.
    struct ProfileSource
    {
        quint64 dataRevision;
        bool medianEnabled;
        int medianWindow;
        double filterLength;

        bool operator==(const ProfileSource &other) const;
    };
    ProfileSource currentProfileSource() const;

    // The caches are emptied when what they were made from has changed since the last call.
    // Profiles put into the caches from outside count as made from the trace as it is at the
    // first call after.
    void dropStaleProfiles();

    std::optional<ProfileSource> m_profileSource;
    // Additional traces cloned by the copy constructor, deleted with this trace.
    QVector<ProfileTrace *> m_ownedAdditionalTraces;
};
