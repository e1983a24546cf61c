#pragma once

#include <QMap>
#include <QString>
#include <QVector>

#include <functional>

// Which profile of a profilometer trace a parameter is computed on. Numbered differently from
// E_PROFILE_FILTER_MODE; the two are not interchangeable.
enum E_PROFILE_TYPE { ROUGHNESS_PROFILE = 0, WAVINESS_PROFILE = 1, PRIMARY_PROFILE = 2 };

// The further inputs of every parameter calculator, filled from the evaluated trace.
struct ExtraArgs
{
    // Cut-off length of the evaluated trace in micrometres.
    double filterLength = 0.0;
    // Material-ratio curve of the trace's roughness profile.
    QVector<QVector<double>> materialRatioCurve;
    // Amplitude density curve of the trace's histogram.
    QVector<QVector<double>> amplitudeDensity;
    // Section height picked on the profile plot, micrometres.
    double sectionLevel = 0.0;
};

// Computes one parameter from a profile and the record; neither is changed for the caller.
using ParamCalculator = std::function<double(QVector<QVector<double>>, ExtraArgs)>;

// One row of the parameter catalogue.
struct ParamDef
{
    ParamCalculator calculator;
    // An E_PROFILE_TYPE value.
    int profileKind = ROUGHNESS_PROFILE;
    // Shown after the value: "мкм", "1/мкм", "%", "°" or empty.
    QString unit;
    // The value depends on ExtraArgs::sectionLevel: it is computed again after a level pick.
    bool usesSectionLevel = false;
};

// Parameter name to its row; 56 rows, never changed after start-up. An unknown name looks up
// the default row (no calculator, roughness profile, no unit).
extern const QMap<QString, ParamDef> kParameterCatalogue;

// The catalogue's names in the order the rows are declared (the settings' index order).
const QVector<QString> &parameterCatalogueOrder();
