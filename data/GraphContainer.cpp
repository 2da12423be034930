#include "data/GraphContainer.h"

#include "app/FileSystem.h"
#include "app/Logging.h"
#include "data/Graph.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace {

const QString kAppVersionKey = QStringLiteral("AppVersion");
const QString kFirmwareVersionKey = QStringLiteral("FirmwareVersion");
const QString kGraphsKey = QStringLiteral("Graphs");
constexpr double kLowQuantile = 0.1;
constexpr double kMedianQuantile = 0.5;
constexpr double kHighQuantile = 0.9;

// The mean of the two neighbours of position (n - 1) * q in the sorted values.
double quantile(const QList<double>& sorted, double q) {
    const double position = static_cast<double>(sorted.size() - 1) * q;
    const auto below = static_cast<qsizetype>(std::floor(position));
    const auto above = static_cast<qsizetype>(std::ceil(position));
    return (sorted.at(below) + sorted.at(above)) * 0.5;
}

} // namespace

GraphContainer::GraphContainer(QObject* parent)
    : GraphContainer(std::make_shared<FileSystem>(), false, parent) {}

GraphContainer::GraphContainer(std::shared_ptr<IFileSystem> fileSystem, QObject* parent)
    : GraphContainer(std::move(fileSystem), false, parent) {}

GraphContainer::GraphContainer(bool isActiveSession, QObject* parent)
    : GraphContainer(std::make_shared<FileSystem>(), isActiveSession, parent) {}

GraphContainer::GraphContainer(std::shared_ptr<IFileSystem> fileSystem, bool isActiveSession, QObject* parent)
    : QObject(parent)
    , m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_shared<FileSystem>())
    , m_isActiveSession(isActiveSession)
    , m_stopColors{QColor(Qt::darkGreen), QColor(Qt::green), QColor(Qt::yellow), QColor(Qt::red),
                   QColor(Qt::darkRed)} {
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

double GraphContainer::colouringValue(const Graph* graph, Measurement measurement) const {
    if (measurement == Velocity)
        return graph->velocity();
    return graph->data(Imperial).measurement(measurement);
}

void GraphContainer::applyMeasurementColors(Measurement measurement) {
    QList<double> values;
    for (const Graph* graph : std::as_const(m_graphs)) {
        if (!graph->visible())
            continue;
        const double value = colouringValue(graph, measurement);
        // Non-finite values have no order; they must not reach the sort.
        if (std::isfinite(value))
            values.append(value);
    }
    if (!values.isEmpty()) {
        std::sort(values.begin(), values.end());
        m_stopValues = {values.first(), quantile(values, kLowQuantile), quantile(values, kMedianQuantile),
                        quantile(values, kHighQuantile), values.last()};
    }

    const QList<Graph*> graphs = m_graphs;
    for (Graph* graph : graphs) {
        if (!graph->hasDefaultColor())
            continue;
        if (!graph->visible()) {
            graph->setGradientColor(QColor(Qt::white));
            continue;
        }
        const double value = colouringValue(graph, measurement);
        if (std::isfinite(value))
            graph->setGradientColor(colorAt(value));
        else
            graph->clearGradientColor();
    }
}

QColor GraphContainer::colorAt(double value) const {
    const auto stop = std::find_if(m_stopValues.cbegin(), m_stopValues.cend(),
                                   [value](double stopValue) { return stopValue >= value; });
    if (stop == m_stopValues.cbegin())
        return m_stopColors.front();
    if (stop == m_stopValues.cend())
        return m_stopColors.back();
    const auto i = static_cast<std::size_t>(stop - m_stopValues.cbegin());
    const double a = m_stopValues.at(i - 1);
    const double b = m_stopValues.at(i);
    const double t = (value - a) / (b - a);
    const QColor& upper = m_stopColors.at(i);
    const QColor& lower = m_stopColors.at(i - 1);
    return QColor::fromRgbF(static_cast<float>(upper.redF() * t + lower.redF() * (1.0 - t)),
                            static_cast<float>(upper.greenF() * t + lower.greenF() * (1.0 - t)),
                            static_cast<float>(upper.blueF() * t + lower.blueF() * (1.0 - t)), 1.0f);
}

void GraphContainer::clearMeasurementColors() {
    const QList<Graph*> graphs = m_graphs;
    for (Graph* graph : graphs)
        graph->clearGradientColor();
}

void GraphContainer::readGraphs(const QJsonObject& object) {
    const QJsonArray graphs = object.value(kGraphsKey).toArray();
    for (qsizetype i = 0; i < graphs.size(); ++i) {
        const QJsonValue element = graphs.at(i);
        if (!element.isObject())
            continue;
        auto* graph = new Graph(this);
        graph->fromJson(element.toObject(), static_cast<int>(i + 1));
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
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(m_fileSystem->readFile(path), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(tr("The file is not a session file (%1).").arg(parseError.errorString()));
    if (!document.isObject())
        return fail(tr("The file is not a session file."));

    for (Graph* graph : std::as_const(m_graphs))
        graph->deleteLater();
    m_graphs.clear();
    setFileName(QString());
    setUnsaved(false);
    readGraphs(document.object());
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
    emitGraphsAddedFromFile();
    setUnsaved(true);
}

QString GraphContainer::appVersion() {
    return QStringLiteral(ZELPRESS_VERSION);
}

QJsonObject GraphContainer::toJson() const {
    QJsonArray graphs;
    for (const Graph* graph : m_graphs)
        graphs.append(graph->toJson());
    QJsonObject object;
    object.insert(kAppVersionKey, appVersion());
    object.insert(kFirmwareVersionKey, m_firmwareVersion);
    object.insert(kGraphsKey, graphs);
    return object;
}

QList<QByteArray> GraphContainer::toJsonPieces() const {
    // Members are written in key order and "Graphs" sorts last, so the pieces give the same text as
    // the compact serialisation of toJson().
    QJsonObject header;
    header.insert(kAppVersionKey, appVersion());
    header.insert(kFirmwareVersionKey, m_firmwareVersion);
    QByteArray opening = QJsonDocument(header).toJson(QJsonDocument::Compact);
    opening.chop(1);
    opening.append(",\"Graphs\":[");
    QList<QByteArray> pieces;
    pieces.reserve(2 * m_graphs.size() + 2);
    pieces.append(opening);
    for (qsizetype i = 0; i < m_graphs.size(); ++i) {
        if (i > 0)
            pieces.append(QByteArrayLiteral(","));
        // Shares the trace's cached text; nothing is copied here.
        pieces.append(m_graphs.at(i)->toJsonBytes());
    }
    pieces.append(QByteArrayLiteral("]}"));
    return pieces;
}

QByteArray GraphContainer::toJsonBytes() const {
    const QList<QByteArray> pieces = toJsonPieces();
    qsizetype size = 0;
    for (const QByteArray& piece : pieces)
        size += piece.size();
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& piece : pieces)
        text.append(piece);
    return text;
}

QByteArray GraphContainer::stateDigest() const {
    QJsonObject header;
    header.insert(kAppVersionKey, appVersion());
    header.insert(kFirmwareVersionKey, m_firmwareVersion);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QJsonDocument(header).toJson(QJsonDocument::Compact));
    for (Graph* graph : m_graphs)
        hash.addData(graph->jsonDigest());
    return hash.result();
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
