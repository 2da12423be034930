#pragma once

#include "core/Units.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Graph;
class GraphView;
class IFileSystem;

// The PDF report: an ISO A2 landscape document with the chart on its first page and a table of the
// visible traces' measurements on the following pages; the file's path heads every page. When the traces'
// container has tolerance limits, the table is headed by the limits and ends in a column of verdicts.
class PdfReport {
public:
    // The traces in the legend's order: sorted stably by a legend column (SessionModel::Columns; work
    // done, peak force, terminal force, starting position and velocity by value, anything else by trace
    // number), then reversed for a descending order. Non-finite values come after every number.
    static QList<Graph*> tableOrder(QList<Graph*> traces, int sortColumn, Qt::SortOrder sortOrder);
    // The whole document for that path; empty when it cannot be produced. With three or more visible
    // rounds that have a velocity and are not flyers, a last page plots velocity (in velocityUnit, the unit
    // it was entered in) against peak force with the correlation's figures and sentence.
    static QByteArray pdfBytes(const QString& fileName, GraphView* view, const QList<Graph*>& traces,
                               Units units, int sortColumn, Qt::SortOrder sortOrder,
                               const QString& velocityUnit = QStringLiteral("ft/s"));
    // Writes pdfBytes to the file. False (errorText says why, the old file untouched) on failure.
    static bool exportPdf(const QString& fileName, GraphView* view, const QList<Graph*>& traces, Units units,
                          int sortColumn, Qt::SortOrder sortOrder, IFileSystem& fileSystem,
                          QString* errorText = nullptr, const QString& velocityUnit = QStringLiteral("ft/s"));
};
