#pragma once

#include "core/AbstractTrace.h"

#include <QMap>
#include <QWidget>

// The registry of the profile window's traces and the panel that lists them: trace id to
// trace, main and additional traces alike, in ascending id. The list does not delete traces.
class TraceList : public QWidget
{
    Q_OBJECT

public:
    explicit TraceList(QWidget *parent = nullptr);

    QMap<int, AbstractTrace *> traces;
    // The trace the profile window is reading right now; null otherwise.
    AbstractTrace *readingTrace = nullptr;
};
