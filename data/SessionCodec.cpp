#include "data/SessionCodec.h"

#include "data/Graph.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QtDebug>

namespace {

const QString kAppVersionKey = QStringLiteral("AppVersion");
const QString kFirmwareVersionKey = QStringLiteral("FirmwareVersion");
const QString kGraphsKey = QStringLiteral("Graphs");
const QString kLimitsKey = QStringLiteral("ToleranceLimits");

// The compact text of the limits member as it follows "Graphs" (keys are written in order), or nothing.
QByteArray limitsMember(const ToleranceLimits& limits) {
    if (!limits.hasLimits())
        return QByteArray();
    return ",\"" + kLimitsKey.toUtf8() +
           "\":" + QJsonDocument(limits.toJson()).toJson(QJsonDocument::Compact);
}

QJsonObject header(const QString& firmwareVersion) {
    QJsonObject object;
    object.insert(kAppVersionKey, SessionCodec::appVersion());
    object.insert(kFirmwareVersionKey, firmwareVersion);
    return object;
}

} // namespace

namespace SessionCodec {

QString appVersion() {
    return QStringLiteral(ZELPRESS_VERSION);
}

QJsonObject toJson(const QList<Graph*>& graphs, const QString& firmwareVersion,
                   const ToleranceLimits& limits) {
    QJsonArray array;
    for (const Graph* graph : graphs)
        array.append(graph->toJson());
    QJsonObject object = header(firmwareVersion);
    object.insert(kGraphsKey, array);
    if (limits.hasLimits())
        object.insert(kLimitsKey, limits.toJson());
    return object;
}

QList<QByteArray> toJsonPieces(const QList<Graph*>& graphs, const QString& firmwareVersion,
                               const ToleranceLimits& limits) {
    // Members are written in key order: "Graphs" after the header's and before "ToleranceLimits", so the
    // pieces give the same text as the compact serialisation of toJson().
    QByteArray opening = QJsonDocument(header(firmwareVersion)).toJson(QJsonDocument::Compact);
    opening.chop(1);
    opening.append(",\"Graphs\":[");
    QList<QByteArray> pieces;
    pieces.reserve(2 * graphs.size() + 2);
    pieces.append(opening);
    for (qsizetype i = 0; i < graphs.size(); ++i) {
        if (i > 0)
            pieces.append(QByteArrayLiteral(","));
        // Shares the trace's cached text; nothing is copied here.
        pieces.append(graphs.at(i)->toJsonBytes());
    }
    pieces.append("]" + limitsMember(limits) + "}");
    return pieces;
}

QByteArray join(const QList<QByteArray>& pieces) {
    qsizetype size = 0;
    for (const QByteArray& piece : pieces)
        size += piece.size();
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& piece : pieces)
        text.append(piece);
    return text;
}

QByteArray stateDigest(const QList<Graph*>& graphs, const QString& firmwareVersion,
                       const ToleranceLimits& limits) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QJsonDocument(header(firmwareVersion)).toJson(QJsonDocument::Compact));
    for (Graph* graph : graphs)
        hash.addData(graph->jsonDigest());
    // Nothing for a session without limits: its digest stays what it always was.
    hash.addData(limitsMember(limits));
    return hash.result();
}

bool parse(const QByteArray& bytes, QJsonObject* object, QString* errorText) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    QString error;
    if (parseError.error != QJsonParseError::NoError)
        error = QCoreApplication::translate("GraphContainer", "The file is not a session file (%1).")
                    .arg(parseError.errorString());
    else if (!document.isObject())
        error = QCoreApplication::translate("GraphContainer", "The file is not a session file.");
    if (!error.isEmpty()) {
        if (errorText)
            *errorText = error;
        return false;
    }
    if (object)
        *object = document.object();
    return true;
}

QList<Graph*> readGraphs(const QJsonObject& object, GraphContainer* parent) {
    const QJsonArray array = object.value(kGraphsKey).toArray();
    QList<Graph*> graphs;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        if (!element.isObject())
            continue;
        auto* graph = new Graph(parent);
        graph->fromJson(element.toObject(), static_cast<int>(i + 1));
        graphs.append(graph);
    }
    return graphs;
}

ToleranceLimits readLimits(const QJsonObject& object) {
    const QJsonValue member = object.value(kLimitsKey);
    if (member.isUndefined())
        return ToleranceLimits();
    QString error;
    const std::optional<ToleranceLimits> limits =
        member.isObject() ? ToleranceLimits::fromJson(member.toObject(), &error) : std::nullopt;
    if (!limits) {
        qWarning().noquote() << "Tolerance limits of the session file ignored:"
                             << (error.isEmpty() ? QStringLiteral("not an object") : error);
        return ToleranceLimits();
    }
    return *limits;
}

} // namespace SessionCodec
