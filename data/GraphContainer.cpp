#include "data/GraphContainer.h"

#include "core/FileSystem.h"
#include "core/Logging.h"
#include "data/Graph.h"
#include "data/SessionCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QStandardPaths>
#include <QtDebug>

GraphContainer::GraphContainer(QObject* parent)
    : GraphContainer(std::make_shared<FileSystem>(), false, parent) {}

GraphContainer::GraphContainer(std::shared_ptr<IFileSystem> fileSystem, QObject* parent)
    : GraphContainer(std::move(fileSystem), false, parent) {}

GraphContainer::GraphContainer(bool isActiveSession, QObject* parent)
    : GraphContainer(std::make_shared<FileSystem>(), isActiveSession, parent) {}

GraphContainer::GraphContainer(std::shared_ptr<IFileSystem> fileSystem, bool isActiveSession, QObject* parent)
    : QObject(parent)
    , m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_shared<FileSystem>())
    , m_isActiveSession(isActiveSession) {
    qDebug() << "New Container";
}

GraphContainer::~GraphContainer() {
    qDebug() << "Deleted Container";
    for (Graph* graph : std::as_const(m_graphs))
        graph->deleteLater();
}

void GraphContainer::wireGraph(Graph* graph) {
    connect(graph, &Graph::nameChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::traceNumberChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::colorChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::velocityChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::flyerChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::commentChanged, this, &GraphContainer::markUnsaved);
    connect(graph, &Graph::visibilityChanged, this, &GraphContainer::markUnsaved);
    // The pointer is only compared and announced once the trace is gone, never dereferenced.
    connect(graph, &QObject::destroyed, this, [this, graph]() {
        m_graphs.removeOne(graph);
        emit graphRemoved(graph);
    });
    graph->setHighlighted(m_highlightFlyers);
}

void GraphContainer::markUnsaved() {
    setUnsaved(true);
}

void GraphContainer::setLimits(const ToleranceLimits& limits) {
    if (limits == m_limits)
        return;
    m_limits = limits;
    emit limitsChanged();
    setUnsaved(true);
}

ToleranceLimits::Verdict GraphContainer::verdictFor(const Graph* graph) const {
    if (!graph || !m_limits.hasLimits())
        return ToleranceLimits::NotJudged;
    return m_limits.verdictFor(graph->data(m_limits.units()).measurement(m_limits.measurement()));
}

void GraphContainer::takeLimits(const QJsonObject& object) {
    const ToleranceLimits limits = SessionCodec::readLimits(object);
    if (limits == m_limits)
        return;
    m_limits = limits;
    emit limitsChanged();
}

Graph* GraphContainer::addGraphFromPress(const QList<QPointF>& points, bool imperial) {
    auto* graph = new Graph(this);
    graph->setPoints(points, imperial);
    quint32 largest = 0;
    for (const Graph* existing : std::as_const(m_graphs))
        largest = std::max(largest, static_cast<quint32>(existing->traceNumber()));
    const auto number = static_cast<int>(m_graphs.isEmpty() ? 1u : largest + 1u);
    graph->setTraceNumber(number);
    graph->setName(tr("Trace %1").arg(number));
    wireGraph(graph);
    m_graphs.append(graph);
    emit graphAddedFromPress(graph);
    setUnsaved(true);
    return graph;
}

void GraphContainer::removeGraph(Graph* graph) {
    if (!graph || !m_graphs.contains(graph))
        return;
    setUnsaved(true);
    m_graphs.removeOne(graph);
    graph->deleteLater();
}

void GraphContainer::removeLastGraph() {
    if (!m_graphs.isEmpty())
        removeGraph(m_graphs.last());
}

void GraphContainer::renumber() {
    // A copy: a change handler may remove traces while we go.
    const QList<Graph*> graphs = m_graphs;
    for (qsizetype i = 0; i < graphs.size(); ++i)
        graphs.at(i)->setTraceNumber(static_cast<int>(i + 1));
}

void GraphContainer::clear() {
    for (Graph* graph : std::as_const(m_graphs))
        graph->deleteLater();
    m_graphs.clear();
    setFileName(QString());
    setUnsaved(false);
}

void GraphContainer::setFileName(const QString& fileName) {
    if (m_fileName == fileName)
        return;
    m_fileName = fileName;
    emit fileNameChanged(m_fileName);
}

void GraphContainer::setDefaultGraphColor(const QColor& color) {
    if (m_defaultGraphColor == color)
        return;
    m_defaultGraphColor = color;
    emit defaultGraphColorChanged();
}

void GraphContainer::setUnsaved(bool unsaved) {
    m_unsaved = unsaved;
    emit unsavedStatusChanged();
}

void GraphContainer::setHighlightFlyers(bool highlightFlyers) {
    m_highlightFlyers = highlightFlyers;
    for (Graph* graph : std::as_const(m_graphs))
        graph->setHighlighted(highlightFlyers);
}

void GraphContainer::applyMeasurementColors(Measurement measurement) {
    // A copy: a colour change handler may remove traces while we go.
    m_colouring.apply(QList<Graph*>(m_graphs), measurement);
}

void GraphContainer::clearMeasurementColors() {
    MeasurementColouring::clear(QList<Graph*>(m_graphs));
}

void GraphContainer::readGraphs(const QJsonObject& object) {
    const QList<Graph*> graphs = SessionCodec::readGraphs(object, this);
    for (Graph* graph : graphs) {
        wireGraph(graph);
        m_graphs.append(graph);
    }
}

bool GraphContainer::loadFromFile(const QString& path, QString* errorText) {
    // Read and check everything first: a file that cannot be used must leave the session as it was.
    auto fail = [errorText](const QString& reason) {
        if (errorText)
            *errorText = reason;
        return false;
    };
    if (!m_fileSystem->fileExists(path) || m_fileSystem->dirExists(path))
        return fail(tr("The file does not exist."));
    QJsonObject object;
    QString error;
    if (!SessionCodec::parse(m_fileSystem->readFile(path), &object, &error))
        return fail(error);

    for (Graph* graph : std::as_const(m_graphs))
        graph->deleteLater();
    m_graphs.clear();
    setFileName(QString());
    setUnsaved(false);
    readGraphs(object);
    takeLimits(object);
    setFileName(path);
    return true;
}

void GraphContainer::emitGraphsAddedFromFile() {
    const QList<Graph*> graphs = m_graphs;
    for (Graph* graph : graphs)
        emit graphAddedFromFile(graph);
    emit bulkGraphAddFinished();
}

void GraphContainer::restoreFromJson(const QJsonObject& object) {
    const QList<Graph*> graphs = m_graphs;
    for (Graph* graph : graphs)
        delete graph;
    m_graphs.clear();
    readGraphs(object);
    takeLimits(object);
    emitGraphsAddedFromFile();
    setUnsaved(true);
}

QString GraphContainer::appVersion() {
    return SessionCodec::appVersion();
}

QJsonObject GraphContainer::toJson() const {
    return SessionCodec::toJson(m_graphs, m_firmwareVersion, m_limits);
}

QList<QByteArray> GraphContainer::toJsonPieces() const {
    return SessionCodec::toJsonPieces(m_graphs, m_firmwareVersion, m_limits);
}

QByteArray GraphContainer::toJsonBytes() const {
    return SessionCodec::join(toJsonPieces());
}

QByteArray GraphContainer::stateDigest() const {
    return SessionCodec::stateDigest(m_graphs, m_firmwareVersion, m_limits);
}

bool GraphContainer::writeToFile(const QString& path) {
    return m_fileSystem->writeFile(path, QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
}

QString GraphContainer::autosavePath(const QDateTime& sessionStartTime) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                           QDir::separator() + QStringLiteral("autosaves");
    const QString name = QStringLiteral("Autosave_") +
                         QLocale::c().toString(sessionStartTime, QStringLiteral("dd-MMM-yyyy hh_mm"));
    return QDir::cleanPath(folder + QDir::separator() + name + QStringLiteral(".SDT"));
}

bool GraphContainer::autosave(const QDateTime& sessionStartTime) {
    const QString path = autosavePath(sessionStartTime);
    if (!Logging::ensureDirectory(QFileInfo(path).absolutePath())) {
        qWarning() << "Autosave failed: cannot create the folder of" << path;
        return false;
    }
    qDebug() << "Autosaving session to:" << path;
    if (!writeToFile(path)) {
        qWarning() << "Autosave to" << path << "failed:" << m_fileSystem->lastWriteError();
        return false;
    }
    return true;
}
