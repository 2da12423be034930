#include "app/CsvExporter.h"

#include "app/TraceVerdicts.h"
#include "core/IFileSystem.h"
#include "data/Graph.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QtDebug>
#include <QTextStream>

#include <cmath>
#include <limits>

namespace {

constexpr double kImperialGridStep = 0.001;
constexpr double kMetricGridStep = 0.025;

// A text (a trace name, the limits) as one CSV cell: between double quotes, inner quotes doubled.
QString quoted(QString text) {
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Streams numbers with three decimals into a buffer that uses the platform's line ends.
class CsvText {
public:
    CsvText() {
        m_buffer.open(QIODevice::WriteOnly | QIODevice::Text);
        m_stream.setDevice(&m_buffer);
        m_stream.setRealNumberNotation(QTextStream::FixedNotation);
        m_stream.setRealNumberPrecision(3);
    }

    QTextStream& stream() { return m_stream; }

    QByteArray bytes() {
        m_stream.flush();
        return m_buffer.data();
    }

private:
    QByteArray m_bytes;
    QBuffer m_buffer{&m_bytes};
    QTextStream m_stream;
};

void writeMeasurements(QTextStream& out, const QList<const Graph*>& traces, Units units) {
    out << "Flyer";
    for (const Graph* trace : traces)
        out << ',' << (trace->flyer() ? "true" : "false");
    out << '\n' << "Peak Force";
    for (const Graph* trace : traces)
        out << ',' << trace->data(units).peakForce();
    out << '\n' << "Starting Pos";
    for (const Graph* trace : traces)
        out << ',' << trace->data(units).startingPosition();
    out << '\n' << "Terminal Force";
    for (const Graph* trace : traces)
        out << ',' << trace->data(units).terminalForce();
    out << '\n' << "Velocity";
    for (const Graph* trace : traces)
        out << ',' << trace->velocity();
    out << '\n' << "Work Done";
    for (const Graph* trace : traces)
        out << ',' << trace->data(units).workDone();
    out << '\n';

    // Only with limits: a file without them stays as it always was, so readers of its rows by number
    // keep working.
    const TraceVerdicts verdicts(traces);
    if (!verdicts.hasLimits())
        return;
    out << "Verdict";
    for (const Graph* trace : traces)
        out << ',' << verdicts.text(trace);
    out << '\n' << "Limits," << quoted(verdicts.limits(units).text(3));
    // Every line has a cell for every trace.
    for (qsizetype i = 1; i < traces.size(); ++i)
        out << ',';
    out << '\n';
}

} // namespace

CsvExporter::CsvExporter(const QString& fileName, Units units)
    : m_fileName(fileName)
    , m_units(units)
    , m_positionUnit(units == Imperial ? QStringLiteral("inch") : QStringLiteral("mm"))
    , m_forceUnit(units == Imperial ? QStringLiteral("lbs") : QStringLiteral("kg")) {}

QByteArray CsvExporter::traceText(const Graph& trace) const {
    CsvText text;
    QTextStream& out = text.stream();
    out << ',' << quoted(trace.name()) << '\n';
    writeMeasurements(out, {&trace}, m_units);
    out << '\n';
    out << "Position (" << m_positionUnit << "),"
        << "Force (" << m_forceUnit << ")\n";
    for (const QPointF& point : trace.data(m_units).points())
        out << point.x() << ',' << point.y() << '\n';
    return text.bytes();
}

std::optional<QByteArray> CsvExporter::allText(const QList<Graph*>& traces) const {
    const double step = m_units == Imperial ? kImperialGridStep : kMetricGridStep;
    QList<const QList<QPointF>*> curves;
    double start = -std::numeric_limits<double>::infinity();
    double end = std::numeric_limits<double>::infinity();
    for (const Graph* trace : traces) {
        const QList<QPointF>& points = trace->data(m_units).points();
        curves.append(&points);
        if (points.isEmpty())
            continue;
        start = std::max(start, points.first().x());
        end = std::min(end, points.last().x());
    }

    // Each grid value is computed from its row number: subtracting the step again and again stops
    // moving a large value at all. Counting first keeps a huge or non-finite range from being written.
    const auto gridValue = [&](qint64 row) {
        return start - double(row) * step;
    };
    qint64 rows = 0;
    while (step > end - gridValue(rows)) {
        if (rows == kMaxDataLines)
            return std::nullopt;
        ++rows;
    }

    CsvText text;
    QTextStream& out = text.stream();
    for (const Graph* trace : traces)
        out << ',' << quoted(trace->name());
    out << '\n';
    writeMeasurements(out, QList<const Graph*>(traces.cbegin(), traces.cend()), m_units);
    out << '\n';
    out << "Position (" << m_positionUnit << ')';
    for (qsizetype i = 0; i < traces.size(); ++i)
        out << ",Force (" << m_forceUnit << ')';
    out << '\n';

    // Positions fall during a stroke, so every cursor only moves forward as the grid runs down.
    QList<qsizetype> cursors(curves.size(), 0);
    for (qint64 row = 0; row < rows; ++row) {
        const double b = gridValue(row);
        out << b;
        for (qsizetype t = 0; t < curves.size(); ++t) {
            const QList<QPointF>& points = *curves.at(t);
            qsizetype& cursor = cursors[t];
            while (cursor < points.size() && (cursor == 0 || points.at(cursor).x() > b))
                ++cursor;
            out << ',';
            if (cursor == points.size())
                continue;
            const QPointF& p0 = points.at(cursor - 1);
            const QPointF& p1 = points.at(cursor);
            const double force = p0.y() + (p1.y() - p0.y()) / (p1.x() - p0.x()) * (b - p0.x());
            if (std::isfinite(force))
                out << force;
        }
        out << '\n';
    }
    return text.bytes();
}

bool CsvExporter::exportTrace(const Graph& trace, IFileSystem& fileSystem, QString* errorText) const {
    return write(traceText(trace), fileSystem, errorText);
}

bool CsvExporter::exportAll(const QList<Graph*>& traces, IFileSystem& fileSystem, QString* errorText) const {
    const std::optional<QByteArray> text = allText(traces);
    if (!text) {
        qWarning() << "CSV export refused - filename:" << m_fileName << "- more than" << kMaxDataLines
                   << "data lines";
        if (errorText) {
            *errorText = QCoreApplication::translate("CsvExporter", "The traces span more than %1 lines.")
                             .arg(kMaxDataLines);
        }
        return false;
    }
    return write(*text, fileSystem, errorText);
}

bool CsvExporter::write(const QByteArray& bytes, IFileSystem& fileSystem, QString* errorText) const {
    if (fileSystem.writeFile(m_fileName, bytes))
        return true;
    const QString reason = fileSystem.lastWriteError();
    qWarning() << "Failed to open CSV file for writing - filename:" << m_fileName << "- error: [" << reason
               << "]";
    if (errorText)
        *errorText = reason;
    return false;
}
