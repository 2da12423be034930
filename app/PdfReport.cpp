#include "app/PdfReport.h"

#include "app/TraceVerdicts.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/IFileSystem.h"
#include "data/Graph.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QtDebug>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPathPointSize = 10.0;
// The width, in screen pixels, the chart is laid out at for the page before it is scaled to fill it.
constexpr double kChartLayoutWidth = 1600.0;
constexpr double kTablePointSize = 12.0;
constexpr int kHeaderWeight = 600;
constexpr int kDataWeight = 400;
const QColor kShadedRowColor(0xea, 0xea, 0xea);
// LOW and HIGH in bold dark red: they stand out in colour, and printed in grey they stay nearly black, so
// they read on the shaded rows too.
constexpr int kOutOfToleranceWeight = QFont::Bold;
const QColor kOutOfToleranceColor(0xb0, 0x00, 0x00);

QString tr(const char* text) {
    return QCoreApplication::translate("PdfReport", text);
}

// The value a trace is sorted by for a value column; compared in the metric copy.
double sortValue(const Graph* graph, int column) {
    const TraceData& metric = graph->data(Metric);
    switch (column) {
    case SessionModel::WorkDone:
        return metric.workDone();
    case SessionModel::PeakForce:
        return metric.peakForce();
    case SessionModel::TerminalForce:
        return metric.terminalForce();
    case SessionModel::StartingPosition:
        return metric.startingPosition();
    default:
        return graph->velocity();
    }
}

// A strict weak order on doubles: numbers by value, then every non-finite value, NaN last.
bool valueLess(double a, double b) {
    const auto rank = [](double v) {
        return std::isnan(v) ? 2 : (std::isfinite(v) ? 0 : 1);
    };
    if (rank(a) != rank(b))
        return rank(a) < rank(b);
    return rank(a) != 2 && a < b;
}

void drawPath(QPainter& painter, const QString& path, int resolution) {
    QFont font = painter.font();
    font.setPointSizeF(kPathPointSize);
    painter.setFont(font);
    painter.drawText(QPointF(0.5 * resolution, 0.2 * resolution), path);
}

void insertCell(QTextTable* table, int row, int column, const QString& text, int pixelSize, int weight,
                const QBrush& background, const QColor& foreground = QColor()) {
    QTextTableCell cell = table->cellAt(row, column);
    if (background.style() != Qt::NoBrush) {
        QTextCharFormat cellFormat = cell.format();
        cellFormat.setBackground(background);
        cell.setFormat(cellFormat);
    }
    QTextCharFormat textFormat;
    QFont font = textFormat.font();
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    textFormat.setFont(font);
    if (foreground.isValid())
        textFormat.setForeground(foreground);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.insertText(text, textFormat);
}

// The limits line above the table, in the table's text size.
void insertLimits(QTextCursor& cursor, const ToleranceLimits& limits, int pixelSize) {
    QTextBlockFormat blockFormat;
    blockFormat.setBottomMargin(pixelSize);
    cursor.setBlockFormat(blockFormat);
    QTextCharFormat textFormat;
    QFont font = textFormat.font();
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(kHeaderWeight));
    textFormat.setFont(font);
    cursor.insertText(tr("Tolerance: %1").arg(limits.text()), textFormat);
    cursor.insertBlock(QTextBlockFormat());
}

void fillTable(QTextDocument& document, const QList<Graph*>& rows, const TraceVerdicts& verdicts, Units units,
               int resolution) {
    // The document is laid out in the writer's pixels, so its text is sized in them too.
    const int pixelSize = qRound(kTablePointSize * resolution / 72.0);
    const QString positionUnit = positionUnitLabel(units);
    const QString forceUnit = forceUnitLabel(units);
    const bool judged = verdicts.hasLimits();
    QTextTableFormat format;
    format.setBorder(0);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
    format.setHeaderRowCount(1);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    const auto percent = [](double share) {
        return QTextLength(QTextLength::PercentageLength, share);
    };
    if (judged) {
        format.setColumnWidthConstraints(
            {percent(28), percent(15), percent(15), percent(15), percent(15), percent(12)});
    } else {
        format.setColumnWidthConstraints({percent(32), percent(17), percent(17), percent(17), percent(17)});
    }
    QTextCursor cursor(&document);
    if (judged)
        insertLimits(cursor, verdicts.limits(units), pixelSize);

    QStringList header{tr("Name"), tr("Work Done"), tr("Peak Force (%1)").arg(forceUnit),
                       tr("Terminal Force (%1)").arg(forceUnit), tr("Starting Pos (%1)").arg(positionUnit)};
    if (judged)
        header.append(tr("Verdict"));
    QTextTable* table = cursor.insertTable(int(rows.size()) + 1, int(header.size()), format);
    for (int column = 0; column < header.size(); ++column)
        insertCell(table, 0, column, header.at(column), pixelSize, kHeaderWeight, QBrush(Qt::lightGray));

    for (int i = 0; i < rows.size(); ++i) {
        const Graph* graph = rows.at(i);
        const TraceData& data = graph->data(units);
        const QBrush background = i % 2 == 1 ? QBrush(kShadedRowColor) : QBrush();
        const QStringList cells{graph->name(), QString::number(data.workDone(), 'g', 6),
                                QString::number(data.peakForce(), 'f', 1),
                                QString::number(data.terminalForce(), 'f', 1),
                                QString::number(data.startingPosition(), 'f', 3)};
        for (int column = 0; column < cells.size(); ++column)
            insertCell(table, i + 1, column, cells.at(column), pixelSize, kDataWeight, background);
        if (!judged)
            continue;
        const ToleranceLimits::Verdict verdict = verdicts.verdictFor(graph);
        const bool outside = verdict == ToleranceLimits::Low || verdict == ToleranceLimits::High;
        insertCell(table, i + 1, int(cells.size()), ToleranceLimits::verdictText(verdict), pixelSize,
                   outside ? kOutOfToleranceWeight : kDataWeight, background,
                   outside ? kOutOfToleranceColor : QColor());
    }
}

} // namespace

QList<Graph*> PdfReport::tableOrder(QList<Graph*> traces, int sortColumn, Qt::SortOrder sortOrder) {
    switch (sortColumn) {
    case SessionModel::WorkDone:
    case SessionModel::PeakForce:
    case SessionModel::TerminalForce:
    case SessionModel::StartingPosition:
    case SessionModel::Velocity:
        std::stable_sort(traces.begin(), traces.end(), [sortColumn](const Graph* a, const Graph* b) {
            return valueLess(sortValue(a, sortColumn), sortValue(b, sortColumn));
        });
        break;
    default:
        std::stable_sort(traces.begin(), traces.end(), [](const Graph* a, const Graph* b) {
            return quint32(a->traceNumber()) < quint32(b->traceNumber());
        });
        break;
    }
    if (sortOrder == Qt::DescendingOrder)
        std::reverse(traces.begin(), traces.end());
    return traces;
}

QByteArray PdfReport::pdfBytes(const QString& fileName, GraphView* view, const QList<Graph*>& traces,
                               Units units, int sortColumn, Qt::SortOrder sortOrder) {
    qInfo() << "Printing to PDF";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A2));
    writer.setPageOrientation(QPageLayout::Landscape);
    const int resolution = writer.resolution();
    const QPageLayout layout = writer.pageLayout();
    qDebug() << "Resolution:" << resolution << "Width:" << writer.width() << "Height:" << writer.height()
             << "Margins:" << layout.margins() << "Units:" << layout.units();

    QPainter painter;
    if (!painter.begin(&writer))
        return {};
    // The chart takes the printable width below the path, laid out for the page's shape at a screen-like
    // width so its labels and lines keep their on-screen proportions.
    const QRectF printable(QPointF(0, 0), layout.paintRectPixels(resolution).size());
    const QRectF chartArea = printable.adjusted(0, 0.4 * resolution, 0, 0);
    view->renderLaidOut(&painter, chartArea, kChartLayoutWidth);
    drawPath(painter, fileName, resolution);

    QList<Graph*> rows;
    for (Graph* graph : tableOrder(traces, sortColumn, sortOrder)) {
        if (graph->visible())
            rows.append(graph);
    }
    QTextDocument document;
    document.setDocumentMargin(0.5 * resolution);
    const QSizeF pageSize = layout.paintRectPixels(resolution).size();
    document.setPageSize(pageSize);
    // The container is found among all the traces, hidden ones included: the limits are stated even when
    // every trace is hidden.
    fillTable(document, rows, TraceVerdicts(QList<const Graph*>(traces.cbegin(), traces.cend())), units,
              resolution);

    for (int page = 0; page < document.pageCount(); ++page) {
        writer.newPage();
        drawPath(painter, fileName, resolution);
        painter.save();
        painter.translate(0, -page * pageSize.height());
        document.drawContents(&painter, QRectF(QPointF(0, page * pageSize.height()), pageSize));
        painter.restore();
    }
    if (!painter.end())
        return {};
    return bytes;
}

bool PdfReport::exportPdf(const QString& fileName, GraphView* view, const QList<Graph*>& traces, Units units,
                          int sortColumn, Qt::SortOrder sortOrder, IFileSystem& fileSystem,
                          QString* errorText) {
    const QByteArray bytes = pdfBytes(fileName, view, traces, units, sortColumn, sortOrder);
    QString reason;
    if (bytes.isEmpty())
        reason = tr("The report could not be produced.");
    else if (!fileSystem.writeFile(fileName, bytes))
        reason = fileSystem.lastWriteError();
    else
        return true;
    qWarning() << "Failed to write PDF file - filename:" << fileName << "- error:" << reason;
    if (errorText)
        *errorText = reason;
    return false;
}
