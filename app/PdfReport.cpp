#include "app/PdfReport.h"

#include "app/TraceVerdicts.h"
#include "chart/GraphView.h"
#include "chart/SessionModel.h"
#include "core/IFileSystem.h"
#include "data/Graph.h"
#include "data/GroupComparison.h"
#include "data/VelocityCorrelation.h"

#include <QBuffer>
#include <QChart>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScatterSeries>
#include <QtDebug>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QValueAxis>

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
// Below this many rounds with a velocity there is no velocity page.
constexpr int kVelocityPageMinimum = 3;

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

namespace {

// The rounds with a velocity (visible, not flyers, a velocity other than 0) as (peak force, velocity).
QList<QPointF> velocityPairs(const QList<Graph*>& traces, Units units) {
    QList<QPointF> pairs;
    for (const Graph* graph : traces) {
        const double velocity = graph->velocity();
        const double peak = graph->data(units).peakForce();
        if (graph->visible() && !graph->flyer() && velocity != 0.0 && std::isfinite(velocity) &&
            std::isfinite(peak))
            pairs.append(QPointF(peak, velocity));
    }
    return pairs;
}

// A page of velocity against peak force: the sentence and the figures above a scatter with its
// least-squares line. Velocities are in the unit they were entered in.
void drawVelocityPage(QPainter& painter, const QRectF& printable, const QList<QPointF>& pairs, Units units,
                      const QString& velocityUnit, int resolution) {
    const VelocityCorrelation correlation(pairs);
    const QString force = forceUnitLabel(units);
    QFont font = painter.font();
    font.setPixelSize(qRound(kTablePointSize / 72.0 * resolution));
    font.setBold(true);
    painter.save();
    painter.setFont(font);
    // Half an inch in from the sides, as the table's text.
    const double margin = 0.5 * resolution;
    const QRectF heading(margin, margin, printable.width() - 2 * margin, 0.5 * resolution);
    painter.drawText(heading, Qt::AlignLeft | Qt::AlignTop,
                     tr("Velocity against peak force: %1")
                         .arg(correlation.sentence(tr("seating force"), force, velocityUnit)));
    font.setBold(false);
    painter.setFont(font);
    QString figures = tr("n = %1").arg(correlation.count());
    if (std::isfinite(correlation.slope()))
        figures +=
            tr(", slope %1 %2 per %3").arg(QString::number(correlation.slope(), 'f', 2), velocityUnit, force);
    if (std::isfinite(correlation.slopeLow()))
        figures += tr(" (95 %: %1 to %2)")
                       .arg(QString::number(correlation.slopeLow(), 'f', 2),
                            QString::number(correlation.slopeHigh(), 'f', 2));
    if (std::isfinite(correlation.p()))
        figures +=
            tr(", Pearson r = %1 (%2)")
                .arg(QString::number(correlation.r(), 'f', 2), GroupComparison::pStatement(correlation.p()));
    if (std::isfinite(correlation.rhoP()))
        figures += tr(", Spearman rho = %1 (%2)")
                       .arg(QString::number(correlation.rho(), 'f', 2),
                            GroupComparison::pStatement(correlation.rhoP()));
    painter.drawText(heading.translated(0, 0.5 * resolution), Qt::AlignLeft | Qt::AlignTop, figures);
    painter.restore();

    // The chart laid out at a screen-like width, then scaled to the page as the main chart is.
    QGraphicsScene scene;
    auto* chart = new QChart;
    scene.addItem(chart);
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    x->setTitleText(tr("Peak Force (%1)").arg(force));
    y->setTitleText(tr("Velocity (%1)").arg(velocityUnit));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    auto* points = new QScatterSeries;
    points->setMarkerSize(9.0);
    points->setColor(QColor(31, 90, 160));
    points->setBorderColor(QColor(31, 90, 160));
    points->replace(pairs);
    double left = pairs.first().x();
    double right = left;
    double bottom = pairs.first().y();
    double top = bottom;
    for (const QPointF& pair : pairs) {
        left = std::min(left, pair.x());
        right = std::max(right, pair.x());
        bottom = std::min(bottom, pair.y());
        top = std::max(top, pair.y());
    }
    auto* line = new QLineSeries;
    line->setPen(QPen(QColor(200, 40, 40), 2.0));
    if (std::isfinite(correlation.slope()))
        line->replace({QPointF(left, correlation.intercept() + correlation.slope() * left),
                       QPointF(right, correlation.intercept() + correlation.slope() * right)});
    for (QXYSeries* series : {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(points)}) {
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    const double xMargin = right > left ? 0.05 * (right - left) : 1.0;
    const double yMargin = top > bottom ? 0.1 * (top - bottom) : 1.0;
    x->setRange(left - xMargin, right + xMargin);
    x->applyNiceNumbers();
    y->setRange(bottom - yMargin, top + yMargin);
    y->applyNiceNumbers();
    const QRectF area = printable.adjusted(margin, 1.6 * resolution, -margin, -margin);
    chart->resize(kChartLayoutWidth, kChartLayoutWidth * area.height() / area.width());
    scene.setSceneRect(chart->rect());
    scene.render(&painter, area, chart->rect());
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
                               Units units, int sortColumn, Qt::SortOrder sortOrder,
                               const QString& velocityUnit) {
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
    // With three rounds or more that have a velocity, whether seating force moves it.
    const QList<QPointF> pairs = velocityPairs(traces, units);
    if (pairs.size() >= kVelocityPageMinimum) {
        writer.newPage();
        drawPath(painter, fileName, resolution);
        drawVelocityPage(painter, printable, pairs, units, velocityUnit, resolution);
    }
    if (!painter.end())
        return {};
    return bytes;
}

bool PdfReport::exportPdf(const QString& fileName, GraphView* view, const QList<Graph*>& traces, Units units,
                          int sortColumn, Qt::SortOrder sortOrder, IFileSystem& fileSystem,
                          QString* errorText, const QString& velocityUnit) {
    const QByteArray bytes = pdfBytes(fileName, view, traces, units, sortColumn, sortOrder, velocityUnit);
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
