#include "data/Graph.h"

#include "data/GraphContainer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString kColorKey = QStringLiteral("Color");
const QString kCommentKey = QStringLiteral("Comment");
const QString kFlyerKey = QStringLiteral("Flyer");
const QString kNameKey = QStringLiteral("Name");
const QString kShowKey = QStringLiteral("Show");
const QString kTraceNumberKey = QStringLiteral("TraceNumber");
const QString kUnitsKey = QStringLiteral("Units");
const QString kVelocityKey = QStringLiteral("Velocity");
const QString kXValuesKey = QStringLiteral("X Values");
const QString kYValuesKey = QStringLiteral("Y Values");

QColor colorFromText(const QString& text) {
    // An unreadable text would become an invalid colour that a later save writes as black.
    if (text.isEmpty())
        return Graph::defaultColor();
    const QColor color = QColor::fromString(text);
    return color.isValid() ? color : Graph::defaultColor();
}

} // namespace

Graph::Graph(GraphContainer* container)
    : QObject(container)
    , m_container(container) {}

void Graph::setName(const QString& name) {
    if (m_name == name)
        return;
    m_name = name;
    invalidateJsonCache();
    emit nameChanged(m_name);
}

void Graph::setComment(const QString& comment) {
    if (m_comment == comment)
        return;
    m_comment = comment;
    invalidateJsonCache();
    emit commentChanged();
}

void Graph::setColor(const QColor& color) {
    if (m_color == color)
        return;
    m_color = color;
    invalidateJsonCache();
    emit colorChanged(Default);
}

void Graph::setTraceNumber(int traceNumber) {
    if (m_traceNumber == traceNumber)
        return;
    m_traceNumber = traceNumber;
    invalidateJsonCache();
    emit traceNumberChanged();
}

void Graph::setVelocity(double velocity) {
    if (m_velocity == velocity)
        return;
    m_velocity = velocity;
    invalidateJsonCache();
    emit velocityChanged();
}

void Graph::setFlyer(bool flyer) {
    if (m_flyer == flyer)
        return;
    m_flyer = flyer;
    invalidateJsonCache();
    emit flyerChanged();
    if (m_highlightColor.isValid())
        emit colorChangedNoUnsavedFlag(Default);
}

void Graph::setVisible(bool visible) {
    if (m_visible == visible)
        return;
    m_visible = visible;
    invalidateJsonCache();
    emit visibilityChanged(m_visible);
}

void Graph::setPoints(const QList<QPointF>& points, bool imperial) {
    QList<QPointF> converted;
    converted.reserve(points.size());
    if (imperial) {
        for (const QPointF& point : points)
            converted.append(QPointF(point.x() / kInchPerMm, point.y() / kLbsPerKg));
        m_imperial.setPoints(points);
        m_metric.setPoints(converted);
    } else {
        for (const QPointF& point : points)
            converted.append(QPointF(point.x() * kInchPerMm, point.y() * kLbsPerKg));
        m_metric.setPoints(points);
        m_imperial.setPoints(converted);
    }
    invalidateJsonCache();
}

void Graph::setGradientColor(const QColor& color) {
    if (m_gradientColor == color)
        return;
    m_gradientColor = color;
    emit colorChangedNoUnsavedFlag(Gradient);
}

void Graph::clearGradientColor() {
    if (!m_gradientColor.isValid())
        return;
    m_gradientColor = QColor();
    emit colorChangedNoUnsavedFlag(Default);
}

void Graph::setHighlighted(bool highlighted) {
    m_highlightColor = highlighted ? QColor(Qt::black) : QColor();
    emit colorChangedNoUnsavedFlag(Default);
}

QColor Graph::effectiveColor() const {
    if (!m_container || !hasDefaultColor())
        return m_color;
    if (m_highlightColor.isValid() && m_flyer)
        return m_highlightColor;
    if (m_gradientColor.isValid())
        return m_gradientColor;
    return m_container->defaultGraphColor();
}

void Graph::fromJson(const QJsonObject& object, int defaultTraceNumber) {
    m_color = colorFromText(object.value(kColorKey).toString());
    m_comment = object.value(kCommentKey).toString();
    m_flyer = object.value(kFlyerKey).toBool(false);
    m_name = object.value(kNameKey).toString();
    m_visible = object.value(kShowKey).toBool(false);
    const QJsonValue number = object.value(kTraceNumberKey);
    m_traceNumber = number.isUndefined() ? defaultTraceNumber : number.toInt(0);
    m_velocity = object.value(kVelocityKey).toDouble(0.0);

    const QJsonArray xValues = object.value(kXValuesKey).toArray();
    const QJsonArray yValues = object.value(kYValuesKey).toArray();
    const qsizetype count = std::min(xValues.size(), yValues.size());
    QList<QPointF> points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        points.append(QPointF(xValues.at(i).toDouble(0.0), yValues.at(i).toDouble(0.0)));
    const bool metric = object.value(kUnitsKey).toString() == QLatin1String("Metric");
    setPoints(points, !metric);
    invalidateJsonCache();
}

QJsonObject Graph::toJson() const {
    QJsonArray xValues;
    QJsonArray yValues;
    for (const QPointF& point : m_imperial.points()) {
        xValues.append(point.x());
        yValues.append(point.y());
    }
    QJsonObject object;
    object.insert(kColorKey, m_color.name(QColor::HexRgb));
    object.insert(kCommentKey, m_comment);
    object.insert(kFlyerKey, m_flyer);
    object.insert(kNameKey, m_name);
    object.insert(kShowKey, m_visible);
    object.insert(kTraceNumberKey, m_traceNumber);
    object.insert(kUnitsKey, QStringLiteral("Imperial"));
    object.insert(kVelocityKey, m_velocity);
    object.insert(kXValuesKey, xValues);
    object.insert(kYValuesKey, yValues);
    return object;
}

void Graph::invalidateJsonCache() {
    m_jsonCacheValid = false;
    m_jsonDigest.clear();
}

QByteArray Graph::jsonDigest() {
    if (!m_jsonCacheValid || m_jsonDigest.isEmpty())
        m_jsonDigest = QCryptographicHash::hash(toJsonBytes(), QCryptographicHash::Sha256);
    return m_jsonDigest;
}

QByteArray Graph::toJsonBytes() {
    if (!m_jsonCacheValid) {
        m_jsonCache = QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
        m_jsonCacheValid = true;
    }
    return m_jsonCache;
}
