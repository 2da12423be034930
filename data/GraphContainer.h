#pragma once

#include "data/ToleranceLimits.h"

#include "core/IFileSystem.h"
#include "data/Measurement.h"
#include "data/MeasurementColouring.h"

#include <QColor>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include <memory>

class Graph;

// A group of traces: the active session (which receives new strokes and is saved) or a comparison
// container loaded from a session file. The container is the QObject parent of its traces and says when
// they come and go; the file format is SessionCodec's and the colouring MeasurementColouring's.
class GraphContainer : public QObject {
    Q_OBJECT
public:
    // The own colour of a container whose traces have none.
    static QColor initialDefaultGraphColor() { return QColor(0, 0, 255); }

    explicit GraphContainer(QObject* parent = nullptr);
    // A comparison container sharing the caller's file system.
    GraphContainer(std::shared_ptr<IFileSystem> fileSystem, QObject* parent);
    GraphContainer(bool isActiveSession, QObject* parent);
    // As above with every setting given; for tests and callers that bring their own file system.
    GraphContainer(std::shared_ptr<IFileSystem> fileSystem, bool isActiveSession, QObject* parent);
    ~GraphContainer() override;

    QList<Graph*> graphs() const { return m_graphs; }
    bool isEmpty() const { return m_graphs.isEmpty(); }
    QString fileName() const { return m_fileName; }
    QColor defaultGraphColor() const { return m_defaultGraphColor; }
    QString firmwareVersion() const { return m_firmwareVersion; }
    bool isActiveSession() const { return m_isActiveSession; }
    bool unsaved() const { return m_unsaved; }
    bool highlightFlyers() const { return m_highlightFlyers; }

    // Adds a new stroke as the next-numbered trace "Trace n" and marks the container unsaved.
    Graph* addGraphFromPress(const QList<QPointF>& points, bool imperial);
    // Removes the trace (deleted later; graphRemoved follows its destruction). Unknown traces: nothing.
    void removeGraph(Graph* graph);
    void removeLastGraph();
    // Numbers the traces 1, 2, ... in list order.
    void renumber();
    // Removes every trace and forgets the file name; the container counts as saved.
    void clear();

    void setFileName(const QString& fileName);
    void setDefaultGraphColor(const QColor& color);
    void setFirmwareVersion(const QString& firmwareVersion) { m_firmwareVersion = firmwareVersion; }
    // The session's tolerance limits (none by default). Setting different ones marks the container unsaved
    // and emits limitsChanged; clear() keeps them, loading or restoring a session replaces them with its own.
    const ToleranceLimits& limits() const { return m_limits; }
    void setLimits(const ToleranceLimits& limits);
    // The limits' verdict on one trace's measurement, in the limits' own units; NotJudged without limits.
    // Flyers and hidden traces are judged like any other.
    ToleranceLimits::Verdict verdictFor(const Graph* graph) const;
    // Stores the flag and always emits unsavedStatusChanged.
    void setUnsaved(bool unsaved);
    void setHighlightFlyers(bool highlightFlyers);

    // Tints every trace without an own colour by where the measurement of the visible traces lies
    // (dark green lowest, dark red highest); hidden traces become white. Non-finite values take no part.
    void applyMeasurementColors(Measurement measurement);
    void clearMeasurementColors();

    // Replaces the traces with those of a session file and names the container after it. False (and
    // the container unchanged) when the file is missing, unreadable or not a JSON object; errorText
    // then says why. Announces nothing: see emitGraphsAddedFromFile.
    bool loadFromFile(const QString& path, QString* errorText = nullptr);
    // Emits graphAddedFromFile for every trace in list order, then bulkGraphAddFinished.
    void emitGraphsAddedFromFile();
    // Replaces the traces with those of a session object at once, announces them and marks the
    // container unsaved. The file name is kept.
    void restoreFromJson(const QJsonObject& object);
    // The session object: "AppVersion", "FirmwareVersion" and "Graphs".
    QJsonObject toJson() const;
    // The compact text of toJson(), assembled from the traces' cached texts.
    QByteArray toJsonBytes() const;
    // The same text in pieces that share the traces' cached texts: joined, they equal toJsonBytes().
    // Cheap to take and safe to hand to another thread.
    QList<QByteArray> toJsonPieces() const;
    // A SHA-256 digest that is equal exactly when toJsonBytes() is (barring collisions), built from the
    // traces' cached digests so that it costs one trace's hashing after a single edit.
    QByteArray stateDigest() const;
    // Writes the indented session text; false when the write failed (fileSystem's lastWriteError says why).
    bool writeToFile(const QString& path);
    // Writes the automatic copy for the press session started at that time; the file name and the
    // unsaved flag are untouched. False (with a warning logged) when the folder or the file failed.
    bool autosave(const QDateTime& sessionStartTime);
    // "<application data>/autosaves/Autosave_dd-MMM-yyyy hh_mm.SDT" for that start time.
    static QString autosavePath(const QDateTime& sessionStartTime);
    // The "AppVersion" written into session files.
    static QString appVersion();

    std::shared_ptr<IFileSystem> fileSystem() const { return m_fileSystem; }

signals:
    void graphAddedFromPress(Graph* graph);
    void graphAddedFromFile(Graph* graph);
    void graphRemoved(Graph* graph);
    void bulkGraphAddFinished();
    void defaultGraphColorChanged();
    void fileNameChanged(const QString& fileName);
    void unsavedStatusChanged();
    void limitsChanged();

private:
    void wireGraph(Graph* graph);
    void markUnsaved();
    void readGraphs(const QJsonObject& object);
    // The session object's limits become the container's (announced when they differ), without marking it.
    void takeLimits(const QJsonObject& object);

    QString m_fileName;
    QColor m_defaultGraphColor = initialDefaultGraphColor();
    QString m_firmwareVersion;
    ToleranceLimits m_limits;
    QList<Graph*> m_graphs;
    std::shared_ptr<IFileSystem> m_fileSystem;
    bool m_isActiveSession = false;
    bool m_unsaved = false;
    bool m_highlightFlyers = false;
    MeasurementColouring m_colouring;
};
