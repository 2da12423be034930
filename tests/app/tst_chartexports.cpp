#include "WindowBench.h"

#include "app/StatisticsPanel.h"

#include "app/ChartImageExporter.h"
#include "app/PdfReport.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/ToleranceLimits.h"
#include "support/MemoryFileSystem.h"

#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kRenderDpi = 50;

// A seating stroke in inches and pounds: free travel, then the force rises to `peak` and eases off to
// `terminal` at the end.
QList<QPointF> stroke(double peak, double terminal) {
    QList<QPointF> points;
    for (int i = 0; i <= 60; ++i) {
        const double x = 0.35 - i * 0.005;
        double y = 0.5;
        if (i > 10)
            y = i < 50 ? peak * (i - 10) / 40.0 : peak + (terminal - peak) * (i - 50) / 10.0;
        points.append({x, y});
    }
    return points;
}

// The chart, its controller and a model with an active container, as the main window puts them together.
struct Rig {
    GraphModel model;
    GraphContainer* active = new GraphContainer(std::make_shared<MemoryFileSystem>(), true, &model);
    std::unique_ptr<GraphView> view;
    std::unique_ptr<GraphVisualization> visualization;

    Rig() {
        model.setActiveSessionContainer(active);
        view = std::make_unique<GraphView>();
        view->resize(900, 560);
        visualization = std::make_unique<GraphVisualization>(&model, view.get());
    }
    ~Rig() {
        visualization.reset();
        view.reset();
    }
    Graph* add(const QString& name, double peak, double terminal) {
        Graph* graph = active->addGraphFromPress(stroke(peak, terminal), true);
        graph->setName(name);
        return graph;
    }
    void show() {
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
};

// Runs a poppler tool; its standard output, or a failed check.
QByteArray runTool(const QString& program, const QStringList& arguments, bool* ok) {
    QProcess process;
    process.start(program, arguments);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    if (!*ok)
        qWarning() << program << arguments << "failed:" << process.readAllStandardError();
    return process.readAllStandardOutput();
}

struct Word {
    QString text;
    QRectF box; // points, origin top left
};

// The words of one page with their boxes, as poppler finds them.
QList<Word> pageWords(const QString& pdf, int page, bool* ok) {
    const QString html =
        QString::fromUtf8(runTool(QStringLiteral("pdftotext"),
                                  {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                   QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")},
                                  ok));
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<Word> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        words.append({match.captured(5).normalized(QString::NormalizationForm_KC),
                      QRectF(QPointF(match.captured(1).toDouble(), match.captured(2).toDouble()),
                             QPointF(match.captured(3).toDouble(), match.captured(4).toDouble()))});
    }
    return words;
}

// The page's text as laid out. Compatibility-normalised: the PDF's font draws "ff", "fi" and "fl" as
// ligatures, which poppler gives back as one character each (a temporary folder's random name has them).
QString pageText(const QString& pdf, int page, bool* ok) {
    return QString::fromUtf8(runTool(QStringLiteral("pdftotext"),
                                     {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                                      QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")},
                                     ok))
        .normalized(QString::NormalizationForm_KC);
}

// The share of the pixels across the page in a band of text lines (points) that have the colour.
double colourShare(const QImage& page, const QRectF& band, const QColor& colour) {
    const double scale = kRenderDpi / 72.0;
    const int top = int(std::ceil(band.top() * scale)) + 1;
    const int bottom = int(std::floor(band.bottom() * scale)) - 1;
    const int left = int(0.6 * kRenderDpi);
    const int right = page.width() - int(0.6 * kRenderDpi);
    int matching = 0;
    int all = 0;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const QColor pixel = page.pixelColor(x, y);
            ++all;
            if (std::abs(pixel.red() - colour.red()) <= 3 && std::abs(pixel.green() - colour.green()) <= 3 &&
                std::abs(pixel.blue() - colour.blue()) <= 3)
                ++matching;
        }
    }
    return all == 0 ? 0.0 : double(matching) / all;
}

// The pixels inside a word's box (points) that are clearly red, at that resolution.
int redPixels(const QImage& page, const QRectF& box, int dpi) {
    const double scale = dpi / 72.0;
    int red = 0;
    for (int y = int(box.top() * scale); y <= int(box.bottom() * scale); ++y) {
        for (int x = int(box.left() * scale); x <= int(box.right() * scale); ++x) {
            const QColor pixel = page.pixelColor(x, y);
            red += pixel.red() > pixel.green() + 80 && pixel.red() > pixel.blue() + 80 ? 1 : 0;
        }
    }
    return red;
}

QStringList names(const QList<Graph*>& graphs) {
    QStringList list;
    for (const Graph* graph : graphs)
        list.append(graph->name());
    return list;
}

} // namespace

Q_DECLARE_METATYPE(ToleranceLimits)

class tst_ChartExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tableOrder_data();
    void tableOrder();
    void imageReadBack_data();
    void imageReadBack();
    void pdfReport();
    void pdfTableContinuesOnFurtherPages();
    void pdfVerdictColumn_data();
    void pdfVerdictColumn();
    void pdfVelocityPage();
    void failedWritesKeepOldFile();
    void windowExportsAtItsStartingSizeKeepAxisLabelsWhole();

private:
    QTemporaryDir m_dir;
};

void tst_ChartExports::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void tst_ChartExports::tableOrder_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expected");

    // Traces in list order: a (peak 40, terminal 30, number 2, velocity 3), b (60, 30, -1, NaN),
    // c (50, 30, 10, 1), d (45, 20, 1, 2).
    const int up = Qt::AscendingOrder;
    const int down = Qt::DescendingOrder;
    QTest::newRow("peak force, ascending")
        << int(SessionModel::PeakForce) << up << QStringList{"a", "d", "c", "b"};
    QTest::newRow("peak force, descending")
        << int(SessionModel::PeakForce) << down << QStringList{"b", "c", "d", "a"};
    QTest::newRow("work done follows the curve")
        << int(SessionModel::WorkDone) << up << QStringList{"a", "d", "c", "b"};
    QTest::newRow("equal terminal forces keep list order")
        << int(SessionModel::TerminalForce) << up << QStringList{"d", "a", "b", "c"};
    QTest::newRow("descending reverses the whole list")
        << int(SessionModel::TerminalForce) << down << QStringList{"c", "b", "a", "d"};
    QTest::newRow("velocity, NaN after every number")
        << int(SessionModel::Velocity) << up << QStringList{"c", "d", "a", "b"};
    QTest::newRow("starting position, all equal")
        << int(SessionModel::StartingPosition) << up << QStringList{"a", "b", "c", "d"};
    QTest::newRow("title sorts by trace number, unsigned")
        << int(SessionModel::Title) << up << QStringList{"d", "a", "c", "b"};
    QTest::newRow("flyer sorts by trace number, descending")
        << int(SessionModel::Flyer) << down << QStringList{"b", "c", "a", "d"};
}

void tst_ChartExports::tableOrder() {
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, expected);

    GraphContainer container(std::make_shared<MemoryFileSystem>(), true, nullptr);
    const struct {
        const char* name;
        double peak;
        double terminal;
        int number;
        double velocity;
    } rows[] = {{"a", 40, 30, 2, 3}, {"b", 60, 30, -1, kNaN}, {"c", 50, 30, 10, 1}, {"d", 45, 20, 1, 2}};
    for (const auto& row : rows) {
        Graph* graph = container.addGraphFromPress(stroke(row.peak, row.terminal), true);
        graph->setName(QString::fromLatin1(row.name));
        graph->setTraceNumber(row.number);
        graph->setVelocity(row.velocity);
    }
    QCOMPARE(names(PdfReport::tableOrder(container.graphs(), column, Qt::SortOrder(order))), expected);
}

void tst_ChartExports::imageReadBack_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("magic");

    QTest::newRow("png") << QStringLiteral("chart.png") << QByteArray("\x89PNG");
    QTest::newRow("jpg") << QStringLiteral("chart.jpg") << QByteArray("\xff\xd8\xff");
    QTest::newRow("jpeg, upper case") << QStringLiteral("chart.JPEG") << QByteArray("\xff\xd8\xff");
    QTest::newRow("bmp") << QStringLiteral("chart.bmp") << QByteArray("BM");
    QTest::newRow("no suffix: png") << QStringLiteral("chart") << QByteArray("\x89PNG");
    QTest::newRow("unknown suffix: png") << QStringLiteral("chart.session") << QByteArray("\x89PNG");
}

void tst_ChartExports::imageReadBack() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, magic);

    Rig rig;
    rig.add(QStringLiteral("red"), 50, 45)->setColor(QColor(255, 0, 0));
    rig.add(QStringLiteral("other"), 30, 28);
    rig.show();

    const QString path = m_dir.filePath(fileName);
    FileSystem fileSystem;
    QString error;
    QVERIFY2(ChartImageExporter::exportImage(path, rig.view.get(), fileSystem, &error), qPrintable(error));
    const QByteArray bytes = fileSystem.readFile(path);
    QVERIFY(bytes.startsWith(magic));

    const QImage image = QImage::fromData(bytes);
    QCOMPARE(image.size(), rig.view->viewport()->size());
    // The red trace is drawn: a line of red pixels (reddish after JPEG), a good share of the width long.
    int red = 0;
    int columnsWithRed = 0;
    for (int x = 0; x < image.width(); ++x) {
        bool found = false;
        for (int y = 0; y < image.height(); ++y) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() > 150 && pixel.red() > pixel.green() + 60 && pixel.red() > pixel.blue() + 60) {
                ++red;
                found = true;
            }
        }
        columnsWithRed += found ? 1 : 0;
    }
    QVERIFY2(columnsWithRed > image.width() / 3, qPrintable(QString::number(columnsWithRed)));
    QVERIFY2(red < image.width() * image.height() / 20, qPrintable(QString::number(red)));
}

void tst_ChartExports::pdfReport() {
    Rig rig;
    rig.add(QStringLiteral("Alpha"), 40, 35);
    rig.add(QStringLiteral("Bravo"), 60, 52);
    rig.add(QStringLiteral("Hidden"), 70, 65)->setVisible(false);
    rig.add(QStringLiteral("Charlie"), 50, 41.25);
    // On screen the chart is narrower than the page is wide, as beside the legend and statistics.
    rig.view->resize(480, 560);
    rig.show();

    const QString path = m_dir.filePath(QStringLiteral("Seating report.pdf"));
    FileSystem fileSystem;
    QString error;
    QVERIFY2(PdfReport::exportPdf(path, rig.view.get(), rig.active->graphs(), Imperial,
                                  SessionModel::PeakForce, Qt::DescendingOrder, fileSystem, &error),
             qPrintable(error));

    bool ok = false;
    const QString info = QString::fromUtf8(runTool(
        QStringLiteral("pdfinfo"),
        {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("9"), path}, &ok));
    QVERIFY(ok);
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(info));
    // ISO A2 is 420 x 594 mm, 1190.55 x 1683.78 points; landscape puts the long side across.
    static const QRegularExpression pageSize(
        QStringLiteral("Page\\s+(\\d+) size:\\s+([\\d.]+) x ([\\d.]+) pts"));
    int pages = 0;
    for (auto it = pageSize.globalMatch(info); it.hasNext(); ++pages) {
        const QRegularExpressionMatch match = it.next();
        QVERIFY2(std::abs(match.captured(2).toDouble() - 1683.78) < 1.0, qPrintable(info));
        QVERIFY2(std::abs(match.captured(3).toDouble() - 1190.55) < 1.0, qPrintable(info));
    }
    QCOMPARE(pages, 2);

    for (int page = 1; page <= 2; ++page) {
        const QString text = pageText(path, page, &ok);
        QVERIFY(ok);
        QVERIFY2(text.contains(path), qPrintable(QStringLiteral("page %1: %2").arg(page).arg(text)));
        // The path heads the page: its first word half an inch from the left, a fifth of an inch down.
        const QList<Word> words = pageWords(path, page, &ok);
        QVERIFY(ok && !words.isEmpty());
        const auto first = std::find_if(words.cbegin(), words.cend(),
                                        [&](const Word& word) { return path.startsWith(word.text); });
        QVERIFY(first != words.cend());
        QVERIFY2(first->box.left() >= 36.0 - 1.0 && first->box.left() < 36.0 + 40.0,
                 qPrintable(QString::number(first->box.left())));
        QVERIFY2(first->box.bottom() > 14.4 - 4.0 && first->box.top() < 14.4 + 40.0,
                 qPrintable(QString::number(first->box.bottom())));
    }

    // The chart across the printable width of the first page (half an inch in from either edge of the
    // 1683.78-point page), its axis labels whole.
    const QList<Word> chartWords = pageWords(path, 1, &ok);
    QVERIFY(ok);
    double leftmost = 1e9;
    double rightmost = 0.0;
    for (const Word& word : chartWords) {
        if (word.text.contains(path) || path.contains(word.text))
            continue;
        QVERIFY2(!word.text.contains(QStringLiteral("...")) && !word.text.contains(QChar(0x2026)),
                 qPrintable(word.text));
        leftmost = std::min(leftmost, word.box.left());
        rightmost = std::max(rightmost, word.box.right());
    }
    QVERIFY2(leftmost < 36.0 + 60.0 && rightmost > 1683.78 - 36.0 - 60.0,
             qPrintable(QStringLiteral("%1 to %2").arg(leftmost).arg(rightmost)));

    // The table: a header and the visible traces by peak force, highest first, with their values.
    const QString table = pageText(path, 2, &ok);
    QVERIFY(ok);
    QVERIFY(!table.contains(QStringLiteral("Hidden")));
    QStringList lines = table.split(QLatin1Char('\n'));
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
                       [&](const QString& line) { return line.trimmed().isEmpty() || line.contains(path); }),
        lines.end());
    QCOMPARE(lines.size(), 4);
    const auto cells = [](const QString& line) {
        return line.trimmed().split(QRegularExpression(QStringLiteral("\\s{2,}")));
    };
    QCOMPARE(cells(lines.at(0)), (QStringList{"Name", "Work Done", "Peak Force (lbs)", "Terminal Force (lbs)",
                                              "Starting Pos (inch)"}));
    const QList<Graph*> graphs = rig.active->graphs();
    const QList<const Graph*> expected{graphs.at(1), graphs.at(3), graphs.at(0)};
    for (int row = 0; row < expected.size(); ++row) {
        const TraceData& data = expected.at(row)->data(Imperial);
        QCOMPARE(cells(lines.at(row + 1)),
                 (QStringList{expected.at(row)->name(), QString::number(data.workDone(), 'g', 6),
                              QString::number(data.peakForce(), 'f', 1),
                              QString::number(data.terminalForce(), 'f', 1),
                              QString::number(data.startingPosition(), 'f', 3)}));
    }
    QCOMPARE(cells(lines.at(2)).at(3), QStringLiteral("41.3")); // one decimal, rounded half up

    // The header row light grey, the second data row shaded, the others plain.
    const QString prefix = m_dir.filePath(QStringLiteral("report-page"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
             QStringLiteral("-r"), QString::number(kRenderDpi), QStringLiteral("-singlefile"),
             QStringLiteral("-png"), path, prefix},
            &ok);
    QVERIFY(ok);
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    const QList<Word> words = pageWords(path, 2, &ok);
    const auto band = [&](const QString& text) {
        for (const Word& word : words) {
            if (word.text == text)
                return word.box;
        }
        return QRectF();
    };
    const QColor grey(Qt::lightGray);
    const QColor shaded(0xea, 0xea, 0xea);
    QVERIFY2(colourShare(page, band(QStringLiteral("Name")), grey) > 0.6,
             qPrintable(QString::number(colourShare(page, band(QStringLiteral("Name")), grey))));
    QVERIFY(colourShare(page, band(QStringLiteral("Bravo")), shaded) < 0.02);
    QVERIFY2(colourShare(page, band(QStringLiteral("Charlie")), shaded) > 0.6,
             qPrintable(QString::number(colourShare(page, band(QStringLiteral("Charlie")), shaded))));
    QVERIFY(colourShare(page, band(QStringLiteral("Alpha")), shaded) < 0.02);
}

void tst_ChartExports::pdfTableContinuesOnFurtherPages() {
    constexpr int kTraces = 150;
    Rig rig;
    for (int i = 1; i <= kTraces; ++i)
        rig.add(QStringLiteral("Load-%1").arg(i, 3, 10, QLatin1Char('0')), 30 + i * 0.1, 25);
    rig.show();

    const QString path = m_dir.filePath(QStringLiteral("long.pdf"));
    FileSystem fileSystem;
    QVERIFY(PdfReport::exportPdf(path, rig.view.get(), rig.active->graphs(), Metric, SessionModel::Title,
                                 Qt::AscendingOrder, fileSystem));
    bool ok = false;
    const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {path}, &ok));
    QVERIFY(ok);
    const QRegularExpressionMatch pagesMatch =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const int pages = pagesMatch.captured(1).toInt();
    QVERIFY2(pages >= 3, qPrintable(info));

    // Every row once, in order, none lost or repeated where a page ends; the path heads every page.
    QStringList seen;
    static const QRegularExpression row(QStringLiteral("^\\s*(Load-\\d{3})\\s{2,}\\S+\\s{2,}\\S+"));
    for (int page = 1; page <= pages; ++page) {
        const QString text = pageText(path, page, &ok);
        QVERIFY(ok);
        QVERIFY2(text.contains(path), qPrintable(QString::number(page)));
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = row.match(line);
            if (match.hasMatch())
                seen.append(match.captured(1));
        }
        // A continued table repeats its header row.
        if (page > 1)
            QVERIFY(text.contains(QStringLiteral("Starting Pos (mm)")));
    }
    QStringList expected;
    for (int i = 1; i <= kTraces; ++i)
        expected.append(QStringLiteral("Load-%1").arg(i, 3, 10, QLatin1Char('0')));
    QCOMPARE(seen, expected);
}

void tst_ChartExports::pdfVerdictColumn_data() {
    QTest::addColumn<ToleranceLimits>("limits");
    QTest::addColumn<QString>("limitsLine");
    QTest::addColumn<QStringList>("verdicts");

    const ToleranceLimits pounds = *ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial);
    // The session's limits in pounds, the report in kilograms: stated in the report's units.
    QTest::newRow("limits") << pounds << QStringLiteral("Tolerance: Peak Force 18.14 to 19.96 kg")
                            << QStringList{"HIGH", "In tolerance", "LOW"};
    // Set and taken away again: the report is the one of a session that never had any.
    QTest::newRow("limits taken away") << ToleranceLimits() << QString() << QStringList();
}

// The table of a session with limits is headed by them and ends in a Verdict column whose LOW and HIGH
// are drawn in red; without limits neither is there.
void tst_ChartExports::pdfVerdictColumn() {
    QFETCH(ToleranceLimits, limits);
    QFETCH(QString, limitsLine);
    QFETCH(QStringList, verdicts);

    Rig rig;
    rig.add(QStringLiteral("Alpha"), 42, 38);
    rig.add(QStringLiteral("Bravo"), 39, 37);
    rig.add(QStringLiteral("Charlie"), 46, 45)->setFlyer(true);
    rig.add(QStringLiteral("Hidden"), 50, 45)->setVisible(false);
    rig.active->setLimits(*ToleranceLimits::withLimits(PeakForce, 40.0, 44.0, Imperial));
    rig.active->setLimits(limits);
    rig.show();

    const QString path = m_dir.filePath(QStringLiteral("judged.pdf"));
    FileSystem fileSystem;
    QVERIFY(PdfReport::exportPdf(path, rig.view.get(), rig.active->graphs(), Metric, SessionModel::PeakForce,
                                 Qt::DescendingOrder, fileSystem));
    bool ok = false;
    QStringList lines = pageText(path, 2, &ok).split(QLatin1Char('\n'));
    QVERIFY(ok);
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
                       [&](const QString& line) { return line.trimmed().isEmpty() || line.contains(path); }),
        lines.end());
    if (!limitsLine.isEmpty()) {
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.takeFirst().simplified(), limitsLine);
    }
    QCOMPARE(lines.size(), 4);
    const auto cells = [](const QString& line) {
        return line.trimmed().split(QRegularExpression(QStringLiteral("\\s{2,}")));
    };
    QStringList header{"Name", "Work Done", "Peak Force (kg)", "Terminal Force (kg)", "Starting Pos (mm)"};
    if (!verdicts.isEmpty())
        header.append(QStringLiteral("Verdict"));
    QCOMPARE(cells(lines.at(0)), header);
    const QList<Graph*> graphs = rig.active->graphs();
    const QList<const Graph*> expected{graphs.at(2), graphs.at(0), graphs.at(1)};
    for (int row = 0; row < expected.size(); ++row) {
        const TraceData& data = expected.at(row)->data(Metric);
        QStringList expectedCells{expected.at(row)->name(), QString::number(data.workDone(), 'g', 6),
                                  QString::number(data.peakForce(), 'f', 1),
                                  QString::number(data.terminalForce(), 'f', 1),
                                  QString::number(data.startingPosition(), 'f', 3)};
        if (!verdicts.isEmpty())
            expectedCells.append(verdicts.at(row));
        QCOMPARE(cells(lines.at(row + 1)), expectedCells);
    }
    if (verdicts.isEmpty())
        return;

    // LOW and HIGH stand out in colour; the rest of the table is black on white or grey.
    constexpr int kDpi = 100;
    const QString prefix = m_dir.filePath(QStringLiteral("judged-page"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
             QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-singlefile"),
             QStringLiteral("-png"), path, prefix},
            &ok);
    QVERIFY(ok);
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    QHash<QString, int> red;
    for (const Word& word : pageWords(path, 2, &ok))
        red.insert(word.text, redPixels(page, word.box, kDpi));
    QVERIFY(ok);
    QVERIFY2(red.value(QStringLiteral("LOW")) > 10, qPrintable(QString::number(red.value("LOW"))));
    QVERIFY2(red.value(QStringLiteral("HIGH")) > 10, qPrintable(QString::number(red.value("HIGH"))));
    QCOMPARE(red.value(QStringLiteral("tolerance")), 0);
    QCOMPARE(red.value(QStringLiteral("Bravo")), 0);
}

void tst_ChartExports::pdfVelocityPage() {
    Rig rig;
    // Peak forces and velocities as in the velocity panel's test (SciPy 1.10.1: slope 5.5579, p 0.00081);
    // a flyer, a hidden round and one without a velocity take no part.
    const QList<QPointF> rounds = {{40.2, 2790}, {41.0, 2796}, {41.8, 2801},
                                   {42.5, 2805}, {43.1, 2804}, {44.0, 2813}};
    for (const QPointF& round : rounds)
        rig.add(QStringLiteral("Round"), round.x(), 30)->setVelocity(round.y());
    Graph* flyer = rig.add(QStringLiteral("Flyer"), 60, 30);
    flyer->setVelocity(2900);
    flyer->setFlyer(true);
    rig.add(QStringLiteral("Hidden"), 30, 30)->setVisible(false);
    rig.add(QStringLiteral("None"), 45, 30);
    rig.show();

    FileSystem fileSystem;
    const QString path = m_dir.filePath(QStringLiteral("velocity.pdf"));
    QVERIFY(PdfReport::exportPdf(path, rig.view.get(), rig.active->graphs(), Imperial, SessionModel::Title,
                                 Qt::AscendingOrder, fileSystem));
    bool ok = false;
    const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {path}, &ok));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))), qPrintable(info));
    const QString text = pageText(path, 3, &ok).simplified();
    QVERIFY(ok);
    QVERIFY2(text.contains(
                 QStringLiteral("Velocity against peak force: Seating force explains 95 % of the velocity "
                                "variance: +5.6 ft/s per lbs, p < 0.001, n = 6.")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("n = 6, slope 5.56 ft/s per lbs")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Velocity (ft/s)")));

    // Two rounds with a velocity say nothing: no such page.
    for (qsizetype i = 2; i < rounds.size(); ++i)
        rig.active->graphs().at(i)->setVelocity(0.0);
    QVERIFY(PdfReport::exportPdf(path, rig.view.get(), rig.active->graphs(), Imperial, SessionModel::Title,
                                 Qt::AscendingOrder, fileSystem));
    const QString fewer = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {path}, &ok));
    QVERIFY2(fewer.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(fewer));
}

void tst_ChartExports::failedWritesKeepOldFile() {
    Rig rig;
    rig.add(QStringLiteral("Alpha"), 40, 35);
    rig.show();
    MemoryFileSystem fileSystem;
    const QString image = QStringLiteral("/exports/chart.png");
    const QString pdf = QStringLiteral("/exports/report.pdf");
    fileSystem.files.insert(image, "old image");
    fileSystem.files.insert(pdf, "old report");
    fileSystem.failWritesTo(QString(), QStringLiteral("Read-only file system"));

    QString error;
    QVERIFY(!ChartImageExporter::exportImage(image, rig.view.get(), fileSystem, &error));
    QCOMPARE(error, QStringLiteral("Read-only file system"));
    error.clear();
    QVERIFY(!PdfReport::exportPdf(pdf, rig.view.get(), rig.active->graphs(), Imperial, SessionModel::Title,
                                  Qt::AscendingOrder, fileSystem, &error));
    QCOMPARE(error, QStringLiteral("Read-only file system"));
    QCOMPARE(fileSystem.files.value(image), QByteArray("old image"));
    QCOMPARE(fileSystem.files.value(pdf), QByteArray("old report"));
}

// Four strokes in the window at its starting size, its statistics in front: the chart the image and the
// report are made from has every axis label whole, and so has the report's page.
void tst_ChartExports::windowExportsAtItsStartingSizeKeepAxisLabelsWhole() {
    Bench bench;
    ZelPress& window = *bench.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (double peak : {10.2, 10.9, 10.5, 10.7}) {
        QList<QPointF> points;
        for (int i = 0; i <= 100; ++i)
            points.append({0.1 * (100 - i) / 100.0, peak * i / 100.0});
        window.activeContainer()->addGraphFromPress(points, true);
    }
    window.findChild<QTabWidget*>(QStringLiteral("sidePanelTabs"))
        ->setCurrentWidget(window.statisticsPanel());
    QApplication::processEvents();
    QCOMPARE(window.size(), QSize(947, 698));

    int labels = 0;
    const auto items = window.graphView()->scene()->items();
    for (QGraphicsItem* item : items) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (!text || !text->isVisible() || text->toPlainText().isEmpty())
            continue;
        QVERIFY2(!text->toPlainText().contains(QStringLiteral("...")), qPrintable(text->toPlainText()));
        ++labels;
    }
    QVERIFY2(labels >= 8, qPrintable(QString::number(labels)));

    const QString image = m_dir.filePath(QStringLiteral("window.png"));
    const QString pdf = m_dir.filePath(QStringLiteral("window.pdf"));
    bench.dialog->savePath = image;
    action(window, "exportToImageAction")->trigger();
    QVERIFY(!QImage(image).isNull());
    bench.dialog->savePath = pdf;
    action(window, "exportToPdfAction")->trigger();
    bool ok = false;
    const QList<Word> words = pageWords(pdf, 1, &ok);
    QVERIFY(ok);
    int numbers = 0;
    for (const Word& word : words) {
        QVERIFY2(!word.text.contains(QStringLiteral("...")) && !word.text.contains(QChar(0x2026)),
                 qPrintable(word.text));
        bool isNumber = false;
        word.text.toDouble(&isNumber);
        numbers += isNumber ? 1 : 0;
    }
    QVERIFY2(numbers >= 8, qPrintable(QString::number(numbers)));
}

QTEST_MAIN(tst_ChartExports)
#include "tst_chartexports.moc"
