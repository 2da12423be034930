#pragma once

#include "core/Units.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class Graph;
class IFileSystem;

// Writes traces to a CSV file for spreadsheets: one trace with its points, or several traces with their
// forces on a common position grid. Numbers have three decimals; positions and forces are those of the
// exporter's unit system. When the traces' container has tolerance limits, the measurement rows are
// followed by "Verdict" (each trace's verdict, empty when not judged) and "Limits" (the limits in the
// exporter's units). A file is written whole or not at all.
class CsvExporter {
public:
    // One file holds at most this many grid lines; a wider range is refused.
    static constexpr qint64 kMaxDataLines = 1000000;

    CsvExporter(const QString& fileName, Units units);

    QString fileName() const { return m_fileName; }
    Units units() const { return m_units; }
    // "inch" or "mm".
    QString positionUnit() const { return m_positionUnit; }
    // "lbs" or "kg".
    QString forceUnit() const { return m_forceUnit; }

    // Writes the trace's measurements and points. False (with errorText saying why and the old file
    // untouched) when the file cannot be written.
    bool exportTrace(const Graph& trace, IFileSystem& fileSystem, QString* errorText = nullptr) const;
    // Writes the traces' measurements and their forces on the common grid, in list order. False (and
    // nothing written) when the file cannot be written or the grid would exceed kMaxDataLines.
    bool exportAll(const QList<Graph*>& traces, IFileSystem& fileSystem, QString* errorText = nullptr) const;

    // The text exportTrace writes.
    QByteArray traceText(const Graph& trace) const;
    // The text exportAll writes; none when the grid would exceed kMaxDataLines.
    std::optional<QByteArray> allText(const QList<Graph*>& traces) const;

private:
    bool write(const QByteArray& bytes, IFileSystem& fileSystem, QString* errorText) const;

    QString m_fileName;
    Units m_units;
    QString m_positionUnit;
    QString m_forceUnit;
};
