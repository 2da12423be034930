#pragma once

#include "data/ColorChangeSettings.h"
#include "data/GraphContainer.h"
#include "data/TraceData.h"

#include <QByteArray>
#include <QColor>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

// One stroke of the press: its curve and measurements in both unit systems and the user's annotations.
// Owned by its container (the QObject parent). Every setter of a saved field emits only on a real change.
class Graph : public QObject {
    Q_OBJECT
public:
    // The colour that means "no colour of its own".
    static QColor defaultColor() { return QColor(0, 0, 255); }

    explicit Graph(GraphContainer* container = nullptr);

    int traceNumber() const { return m_traceNumber; }
    // The container that created the trace; none when it was made without one or that container is gone.
    GraphContainer* container() const { return m_container; }
    QString name() const { return m_name; }
    QString comment() const { return m_comment; }
    // The trace's own colour; #0000ff means it has none.
    QColor color() const { return m_color; }
    double velocity() const { return m_velocity; }
    bool flyer() const { return m_flyer; }
    bool visible() const { return m_visible; }
    // The copy of the given unit system (Metric or Imperial).
    const TraceData& data(Units units) const { return units == Metric ? m_metric : m_imperial; }

    void setName(const QString& name);
    void setComment(const QString& comment);
    void setColor(const QColor& color);
    void setTraceNumber(int traceNumber);
    // Exact comparison, so a NaN velocity counts as a change every time.
    void setVelocity(double velocity);
    void setFlyer(bool flyer);
    void setVisible(bool visible);

    // Stores the points in the named unit system, derives the other copy and recomputes the measurements.
    void setPoints(const QList<QPointF>& points, bool imperial);

    // Colour decorations: never saved, never mark anything unsaved.
    void setGradientColor(const QColor& color);
    void clearGradientColor();
    void setHighlighted(bool highlighted);
    bool hasDefaultColor() const { return m_color == defaultColor(); }
    // The colour to draw with: own colour, else black for a highlighted flyer, else the gradient colour,
    // else the container's default trace colour.
    QColor effectiveColor() const;
    QColor gradientColor() const { return m_gradientColor; }
    QColor highlightColor() const { return m_highlightColor; }

    // Replaces every saved field from a session-file trace object; missing members take the read
    // defaults, and defaultTraceNumber is used when "TraceNumber" is absent. Emits nothing.
    void fromJson(const QJsonObject& object, int defaultTraceNumber);
    // The trace object of the session file (imperial points, "Units": "Imperial").
    QJsonObject toJson() const;
    // The compact JSON text of toJson(), serialised again only after a change of a saved field.
    QByteArray toJsonBytes();
    // SHA-256 of toJsonBytes(), kept as long as the cached text.
    QByteArray jsonDigest();

signals:
    void nameChanged(const QString& name);
    void traceNumberChanged();
    void colorChanged(ColorChangeSettings settings = Default);
    void colorChangedNoUnsavedFlag(ColorChangeSettings settings = Default);
    void velocityChanged();
    void flyerChanged();
    void commentChanged();
    void visibilityChanged(bool isVisible);

private:
    void invalidateJsonCache();

    int m_traceNumber = 0;
    QPointer<GraphContainer> m_container;
    QString m_name;
    QString m_comment;
    QColor m_color = defaultColor();
    TraceData m_metric{Metric};
    TraceData m_imperial{Imperial};
    double m_velocity = 0.0;
    bool m_flyer = false;
    bool m_visible = true;
    bool m_jsonCacheValid = false;
    QByteArray m_jsonCache;
    QByteArray m_jsonDigest;
    QColor m_gradientColor;
    QColor m_highlightColor;
};
