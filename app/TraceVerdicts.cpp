#include "app/TraceVerdicts.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"

TraceVerdicts::TraceVerdicts(const QList<const Graph*>& traces) {
    for (const Graph* trace : traces) {
        if (trace->container()) {
            m_container = trace->container();
            return;
        }
    }
}

bool TraceVerdicts::hasLimits() const {
    return m_container && m_container->limits().hasLimits();
}

ToleranceLimits TraceVerdicts::limits(Units units) const {
    return hasLimits() ? m_container->limits().inUnits(units) : ToleranceLimits();
}

ToleranceLimits::Verdict TraceVerdicts::verdictFor(const Graph* trace) const {
    if (!m_container || trace->container() != m_container)
        return ToleranceLimits::NotJudged;
    return m_container->verdictFor(trace);
}

QString TraceVerdicts::text(const Graph* trace) const {
    return ToleranceLimits::verdictText(verdictFor(trace));
}
