#pragma once

#include "core/Units.h"
#include "data/ToleranceLimits.h"

#include <QList>
#include <QString>

class Graph;
class GraphContainer;

// The tolerance verdicts an export shows beside its traces: those of the traces' container (the first
// trace's that has one) when it has limits. A trace without a container, or of another one, is not judged,
// so the verdicts always follow the limits the export states. Lives no longer than the traces it was given.
class TraceVerdicts {
public:
    explicit TraceVerdicts(const QList<const Graph*>& traces);

    // The container has limits: the export states them and a verdict for every trace.
    bool hasLimits() const;
    // The container's limits converted to those units; no limits when hasLimits() is false.
    ToleranceLimits limits(Units units) const;
    // The container's verdict on the trace; NotJudged for a trace that is not its own.
    ToleranceLimits::Verdict verdictFor(const Graph* trace) const;
    // "In tolerance", "LOW" or "HIGH"; empty when the trace is not judged.
    QString text(const Graph* trace) const;

private:
    const GraphContainer* m_container = nullptr;
};
