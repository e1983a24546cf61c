#include "core/ProfileTrace.h"

#include "core/TraceFileKeys.h"
#include "processing/CutOffs.h"
#include "processing/ParameterCatalogue.h"
#include "processing/ProfileFilters.h"

#include <cmath>
#include <memory>

ProfileTrace::ProfileTrace()
    : AbstractTrace(2)
{ }

ProfileTrace::ProfileTrace(const ProfileTrace &other)
    : AbstractTrace(other)
    , parameterResults(other.parameterResults)
    , parentTrace(other.parentTrace)
    , speed(other.speed)
    , filterLength(other.filterLength)
    , sectionLevel(other.sectionLevel)
    , medianWindow(other.medianWindow)
    , medianEnabled(other.medianEnabled)
    , roughnessProfileCache(other.roughnessProfileCache)
    , wavinessProfileCache(other.wavinessProfileCache)
    , amplitudeDensity(other.amplitudeDensity)
    , m_profileSource(other.m_profileSource)
{
    std::vector<std::unique_ptr<ProfileTrace>> clones;
    for (const ProfileTrace *child : other.additionalTraces)
        clones.emplace_back(new ProfileTrace(*child));
    additionalTraces.reserve(int(clones.size()));
    m_ownedAdditionalTraces.reserve(int(clones.size()));
    for (auto &child : clones) {
        child->parentTrace = this;
        additionalTraces.append(child.get());
        m_ownedAdditionalTraces.append(child.release());
    }
}

ProfileTrace::~ProfileTrace()
{
    for (ProfileTrace *child : qAsConst(m_ownedAdditionalTraces)) {
        // A child still pointing here would dangle; it goes with this trace.
        delete child;
    }
}

void ProfileTrace::finalizeAfterRead() { }

AbstractTrace *ProfileTrace::clone() const
{
    return new ProfileTrace(*this);
}

QString ProfileTrace::headerText() const
{
    return TraceFileKeys::kSpeed + QLatin1Char(':') + traceNumberText(speed) + QLatin1Char('\n')
        + TraceFileKeys::kFilter + QLatin1Char(':') + traceNumberText(filterLength)
        + QLatin1Char('\n');
}

void ProfileTrace::addAdditionalTrace(ProfileTrace *child)
{
    child->parentTrace = this;
    child->setFilePath(filePath());
    additionalTraces.append(child);
}

void ProfileTrace::removeAdditionalTrace(int traceId)
{
    for (int i = 0; i < additionalTraces.size(); ++i) {
        if (additionalTraces.at(i)->id == traceId) {
            // A removed clone is handed to the caller, who now owns it.
            m_ownedAdditionalTraces.removeAll(additionalTraces.at(i));
            additionalTraces.remove(i);
            return;
        }
    }
}

namespace {

// The profiles' room goes to the next filter (when nothing else holds it).
void recycleProfiles(QMap<double, TData> &cache)
{
    QMap<double, TData> dropped;
    dropped.swap(cache);
    for (auto it = dropped.begin(); it != dropped.end(); ++it) {
        for (QVector<double> &channel : it.value())
            Algos::recycleFilterRoom(std::move(channel));
    }
}

} // namespace

void ProfileTrace::clearProfileCaches()
{
    recycleProfiles(roughnessProfileCache);
    recycleProfiles(wavinessProfileCache);
    m_profileSource.reset();
}

ProfileTrace::ProfileSource ProfileTrace::currentProfileSource() const
{
    return ProfileSource {dataRevision(), medianEnabled, medianWindow, filterLength};
}

void ProfileTrace::adoptProfileCaches(const ProfileTrace &copy)
{
    const ProfileSource current = currentProfileSource();
    if (!copy.m_profileSource || !(*copy.m_profileSource == current))
        return;
    recycleProfiles(roughnessProfileCache);
    recycleProfiles(wavinessProfileCache);
    roughnessProfileCache = copy.roughnessProfileCache;
    wavinessProfileCache = copy.wavinessProfileCache;
    m_profileSource = current;
}

bool ProfileTrace::ProfileSource::operator==(const ProfileSource &other) const
{
    return dataRevision == other.dataRevision && medianEnabled == other.medianEnabled
        && medianWindow == other.medianWindow && filterLength == other.filterLength;
}

void ProfileTrace::dropStaleProfiles()
{
    const ProfileSource current = currentProfileSource();
    if (m_profileSource && !(*m_profileSource == current))
        clearProfileCaches();
    m_profileSource = current;
}

TData ProfileTrace::profileForParameters(double cutOff, int kind)
{
    if (kind == PRIMARY_PROFILE)
        return rawData ? *rawData : TData();
    if (kind != ROUGHNESS_PROFILE && kind != WAVINESS_PROFILE)
        return TData();

    dropStaleProfiles();
    QMap<double, TData> &cache
        = kind == ROUGHNESS_PROFILE ? roughnessProfileCache : wavinessProfileCache;
    // A cut-off that is not a number cannot be a map key: it is filtered every time.
    const bool cacheable = !std::isnan(cutOff);
    if (cacheable) {
        const auto cached = cache.constFind(cutOff);
        if (cached != cache.constEnd())
            return cached.value();
    }

    TData working = rawData ? *rawData : TData();
    if (medianEnabled)
        Algos::medianFilter(medianWindow, working);
    const Algos::CutOffBand band = kind == ROUGHNESS_PROFILE
        ? Algos::roughnessParameterBand(filterLength, cutOff)
        : Algos::wavinessParameterBand(filterLength, cutOff);
    TData filtered = Algos::gaussianFilter(working, band.longCut, band.shortCut);
    if (cacheable)
        cache.insert(cutOff, filtered);
    return filtered;
}
