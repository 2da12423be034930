#pragma once

#include "data/ToleranceLimits.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

class Graph;
class GraphContainer;

// The session file's format: the object with "AppVersion", "FirmwareVersion", "Graphs" (one object per
// trace, in list order) and, when the session has tolerance limits, "ToleranceLimits" (a member older
// files lack and older readers ignore); its compact text built from the traces' cached texts, and the
// digest that tells two states apart. Knows the format, not where the traces live or what the file is
// called.
namespace SessionCodec {

// The "AppVersion" written into session files.
QString appVersion();

// The session object of these traces.
QJsonObject toJson(const QList<Graph*>& graphs, const QString& firmwareVersion,
                   const ToleranceLimits& limits = ToleranceLimits());
// The compact text of toJson() in pieces that share the traces' cached texts: joined, they equal the
// compact serialisation of toJson(). Cheap to take and safe to hand to another thread.
QList<QByteArray> toJsonPieces(const QList<Graph*>& graphs, const QString& firmwareVersion,
                               const ToleranceLimits& limits = ToleranceLimits());
// The pieces joined into one text.
QByteArray join(const QList<QByteArray>& pieces);
// A SHA-256 digest that is equal exactly when the compact text is (barring collisions), built from the
// traces' cached digests so that it costs one trace's hashing after a single edit.
QByteArray stateDigest(const QList<Graph*>& graphs, const QString& firmwareVersion,
                       const ToleranceLimits& limits = ToleranceLimits());

// The session object of a file's bytes; false (errorText saying why) when they are not one.
bool parse(const QByteArray& bytes, QJsonObject* object, QString* errorText);
// The traces of a session object, numbered 1, 2, ... where their own number is missing, as children of
// parent; elements that are not objects are skipped.
QList<Graph*> readGraphs(const QJsonObject& object, GraphContainer* parent);
// The tolerance limits of a session object: none when it has no "ToleranceLimits" member or one that does
// not make sense (a warning is logged then; the traces still open).
ToleranceLimits readLimits(const QJsonObject& object);

} // namespace SessionCodec
