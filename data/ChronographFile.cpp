#include "data/ChronographFile.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

const QString kFeetPerSecond = QStringLiteral("ft/s");
const QString kMetresPerSecond = QStringLiteral("m/s");

// A LabRadar shot row holds the shot number, V0 and the velocities further out, ..., then date and time.
constexpr int kLabRadarShotFields = 17;
constexpr int kLabRadarVelocityField = 1;
constexpr int kLabRadarDateField = 15;
// How many of the first non-blank rows decide a generic file's separator.
constexpr int kSeparatorSampleRows = 5;

// One row of cells and the line it starts on.
struct Row {
    int line;
    QStringList cells;
};

void setError(QString* errorText, const QString& text) {
    if (errorText)
        *errorText = text;
}

void setLineError(QString* errorText, int line, const QString& text) {
    setError(errorText, QStringLiteral("line %1: %2").arg(line).arg(text));
}

// The file's text. The NUL bytes go first: a device that writes ASCII as UTF-16 leaves one beside every
// character, and its byte order mark then comes out as FF FE or FE FF.
QString fileText(const QByteArray& bytes) {
    QByteArray text = bytes;
    text.removeIf([](char c) { return c == '\0'; });
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    else if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF"))
        text.remove(0, 2);
    return QString::fromUtf8(text);
}

bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

bool isBlankRow(const Row& row) {
    for (const QString& cell : row.cells) {
        if (!isBlank(cell))
            return false;
    }
    return true;
}

// Splits text into rows of cells. A cell that starts with a quote (after blanks) runs to the closing
// quote, "" standing for one quote; CRLF, LF and a lone CR end a row.
struct Split {
    QList<Row> rows;  // all rows up to a quote left open
    int openLine = 0; // the line of the quote left open; 0 when every quote is closed
};

Split splitRows(const QString& text, QChar separator) {
    Split split;
    int line = 1;
    Row row{line, {}};
    QString cell;
    bool quoted = false;     // inside a quoted cell
    bool cellQuoted = false; // the current cell had a quoted part
    bool pending = false;    // something of the current row has been read
    int quoteLine = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        const bool lineBreak = c == QLatin1Char('\n') || c == QLatin1Char('\r');
        const bool crlf = c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n');
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else if (lineBreak) {
                cell += QLatin1Char('\n');
                ++line;
                if (crlf)
                    ++i;
            } else {
                cell += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && !cellQuoted && isBlank(cell)) {
            quoted = true;
            cellQuoted = true;
            quoteLine = line;
            cell.clear();
            pending = true;
        } else if (c == separator) {
            row.cells << cell;
            cell.clear();
            cellQuoted = false;
            pending = true;
        } else if (lineBreak) {
            row.cells << cell;
            split.rows << row;
            cell.clear();
            cellQuoted = false;
            pending = false;
            ++line;
            row = Row{line, {}};
            if (crlf)
                ++i;
        } else {
            cell += c;
            pending = true;
        }
    }
    if (quoted) {
        split.openLine = quoteLine;
    } else if (pending) {
        row.cells << cell;
        split.rows << row;
    }
    return split;
}

// The rows of a device file with a fixed separator; nothing (errorText set) when the file has no text
// or a quote is left open.
std::optional<QList<Row>> deviceRows(const QByteArray& bytes, QChar separator, QString* errorText) {
    const QString text = fileText(bytes);
    if (isBlank(text)) {
        setLineError(errorText, 1, QStringLiteral("the file is empty"));
        return std::nullopt;
    }
    Split split = splitRows(text, separator);
    if (split.openLine > 0) {
        setLineError(errorText, split.openLine, QStringLiteral("a quoted cell is not closed"));
        return std::nullopt;
    }
    return std::move(split.rows);
}

// The separators between the cells of the first non-blank rows, and whether every one of those rows has
// the same number of them (and at least one).
struct SeparatorCount {
    int total = 0;
    bool even = false;
};

SeparatorCount countSeparators(const QList<Row>& rows) {
    SeparatorCount count;
    int sampled = 0;
    int first = -1;
    bool even = true;
    for (const Row& row : rows) {
        if (isBlankRow(row))
            continue;
        const int separators = int(row.cells.size()) - 1;
        if (first < 0)
            first = separators;
        even = even && separators == first;
        count.total += separators;
        if (++sampled == kSeparatorSampleRows)
            break;
    }
    count.even = even && first > 0;
    return count;
}

bool isWholeNumber(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A shot number: a whole number from 1 on, leading zeros allowed ("0007").
std::optional<int> readShotNumber(const QString& cell) {
    const QString text = cell.trimmed();
    if (!isWholeNumber(text))
        return std::nullopt;
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < 1)
        return std::nullopt;
    return number;
}

// A finite number with a decimal point, or a decimal comma in its place ("801,5"). A cell with both
// would need a thousands separator, which no layout read here writes, so it is refused.
std::optional<double> readNumber(const QString& cell) {
    QString text = cell.trimmed();
    if (text.contains(QLatin1Char(','))) {
        if (text.contains(QLatin1Char('.')))
            return std::nullopt;
        text.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// The month 1-12 of an English month name or its abbreviation of three letters or more; 0 if none.
int monthOf(const QString& name) {
    static const char* const kMonths[] = {"january",   "february", "march",    "april",
                                          "may",       "june",     "july",     "august",
                                          "september", "october",  "november", "december"};
    const QString lower = name.toLower();
    if (lower.size() < 3)
        return 0;
    for (int month = 0; month < 12; ++month) {
        if (QLatin1String(kMonths[month]).startsWith(lower))
            return month + 1;
    }
    return 0;
}

// The date at the start of text: "2026-12-08", "12-08-2026" (month first, unless the first number cannot
// be a month), "December 8, 2026" or "8 Dec 2026", with '-', '/' or '.' between numbers and anything
// after (a time). Invalid when none of these is there or the day does not exist.
QDate readDate(const QString& text) {
    static const QRegularExpression yearFirst(QStringLiteral(R"(^\s*(\d{4})[-/.](\d{1,2})[-/.](\d{1,2})\b)"));
    static const QRegularExpression yearLast(QStringLiteral(R"(^\s*(\d{1,2})[-/.](\d{1,2})[-/.](\d{4})\b)"));
    static const QRegularExpression monthNamed(
        QStringLiteral(R"(^\s*([A-Za-z]+)\.?\s+(\d{1,2}),?\s+(\d{4})\b)"));
    static const QRegularExpression dayFirstNamed(
        QStringLiteral(R"(^\s*(\d{1,2})\.?\s+([A-Za-z]+)\.?,?\s+(\d{4})\b)"));
    QRegularExpressionMatch match = yearFirst.match(text);
    if (match.hasMatch())
        return QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    match = yearLast.match(text);
    if (match.hasMatch()) {
        const int first = match.captured(1).toInt();
        const int second = match.captured(2).toInt();
        const int year = match.captured(3).toInt();
        return first > 12 ? QDate(year, second, first) : QDate(year, first, second);
    }
    match = monthNamed.match(text);
    if (match.hasMatch())
        return QDate(match.captured(3).toInt(), monthOf(match.captured(1)), match.captured(2).toInt());
    match = dayFirstNamed.match(text);
    if (match.hasMatch())
        return QDate(match.captured(3).toInt(), monthOf(match.captured(2)), match.captured(1).toInt());
    return QDate();
}

// Adds one shot to series. False (errorText naming the line) when the velocity is not a number above
// zero or the number was already taken.
bool addShot(ChronographSeries* series, QSet<int>* numbers, int number, const QString& velocityCell, int line,
             QString* errorText) {
    const std::optional<double> velocity = readNumber(velocityCell);
    if (!velocity) {
        setLineError(errorText, line,
                     QStringLiteral("the velocity \"%1\" is not a number").arg(velocityCell.trimmed()));
        return false;
    }
    if (*velocity <= 0.0) {
        setLineError(errorText, line,
                     QStringLiteral("the velocity \"%1\" is not above zero").arg(velocityCell.trimmed()));
        return false;
    }
    if (numbers->contains(number)) {
        setLineError(errorText, line, QStringLiteral("shot %1 comes a second time").arg(number));
        return false;
    }
    numbers->insert(number);
    series->shots << ChronographShot{number, *velocity};
    return true;
}

// "ft/s" for "fps" or "ft/s", "m/s" for "mps" or "m/s", in any case; empty for anything else.
QString velocityUnit(const QString& name) {
    const QString unit = name.trimmed().toLower();
    if (unit == QLatin1String("fps") || unit == kFeetPerSecond)
        return kFeetPerSecond;
    if (unit == QLatin1String("mps") || unit == kMetresPerSecond)
        return kMetresPerSecond;
    return QString();
}

bool startsWith(const QString& text, const char* prefix) {
    return text.trimmed().startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

std::optional<ChronographSeries> readLabRadar(const QByteArray& bytes, QString* errorText) {
    const std::optional<QList<Row>> rows = deviceRows(bytes, QLatin1Char(';'), errorText);
    if (!rows)
        return std::nullopt;
    ChronographSeries series;
    QSet<int> numbers;
    int headerLine = 0;
    for (const Row& row : *rows) {
        const QString first = row.cells.value(0).trimmed();
        if (startsWith(first, "Series No")) {
            const QString number = row.cells.value(1).trimmed();
            if (!number.isEmpty())
                series.name = QStringLiteral("Series %1").arg(number);
        } else if (startsWith(first, "Units velocity")) {
            series.unit = velocityUnit(row.cells.value(1));
            if (series.unit.isEmpty()) {
                setLineError(errorText, row.line,
                             QStringLiteral("the velocity unit \"%1\" is neither fps nor m/s")
                                 .arg(row.cells.value(1).trimmed()));
                return std::nullopt;
            }
        } else if (headerLine == 0) {
            if (startsWith(first, "Shot ID"))
                headerLine = row.line;
        } else if (isWholeNumber(first)) {
            // Statistics and blank rows never start with a whole number.
            if (row.cells.size() < kLabRadarShotFields) {
                setLineError(errorText, row.line,
                             QStringLiteral("a shot row needs %1 fields, this one has %2")
                                 .arg(kLabRadarShotFields)
                                 .arg(row.cells.size()));
                return std::nullopt;
            }
            const std::optional<int> number = readShotNumber(first);
            if (!number) {
                setLineError(
                    errorText, row.line,
                    QStringLiteral("the shot number \"%1\" is not a whole number from 1 on").arg(first));
                return std::nullopt;
            }
            if (series.shots.isEmpty())
                series.date = readDate(row.cells.at(kLabRadarDateField));
            if (!addShot(&series, &numbers, *number, row.cells.at(kLabRadarVelocityField), row.line,
                         errorText))
                return std::nullopt;
        }
    }
    const int lastLine = rows->last().line;
    if (headerLine == 0) {
        setLineError(errorText, lastLine, QStringLiteral("the file ends without a \"Shot ID\" header row"));
        return std::nullopt;
    }
    if (series.shots.isEmpty()) {
        setLineError(errorText, lastLine, QStringLiteral("the file ends without a shot row"));
        return std::nullopt;
    }
    if (series.unit.isEmpty()) {
        setLineError(errorText, headerLine,
                     QStringLiteral("no \"Units velocity\" row gives the unit of the shots"));
        return std::nullopt;
    }
    return series;
}

// The first non-blank row from index *at on, *at then past it; nullptr when there is none.
const Row* nextRow(const QList<Row>& rows, qsizetype* at) {
    while (*at < rows.size()) {
        const Row& row = rows.at((*at)++);
        if (!isBlankRow(row))
            return &row;
    }
    return nullptr;
}

// The Xero C1 header's second cell, "SPEED (FPS)" or "SPEED (MPS)"; nothing for anything else.
bool isXeroHeader(const Row& row) {
    return startsWith(row.cells.value(1), "SPEED (");
}

std::optional<ChronographSeries> readXeroC1(const QByteArray& bytes, QString* errorText) {
    const std::optional<QList<Row>> rows = deviceRows(bytes, QLatin1Char(','), errorText);
    if (!rows)
        return std::nullopt;
    ChronographSeries series;
    qsizetype at = 0;
    // A text of nothing but empty quoted cells has no row to name the series.
    const Row* nameRow = nextRow(*rows, &at);
    if (!nameRow) {
        setLineError(errorText, 1, QStringLiteral("the file is empty"));
        return std::nullopt;
    }
    series.name = nameRow->cells.value(0).trimmed();
    const Row* header = nextRow(*rows, &at);
    if (!header) {
        setLineError(errorText, rows->last().line, QStringLiteral("the file ends without a header row"));
        return std::nullopt;
    }
    if (!isXeroHeader(*header)) {
        setLineError(
            errorText, header->line,
            QStringLiteral("the header row has no \"SPEED (FPS)\" or \"SPEED (MPS)\" in its second cell"));
        return std::nullopt;
    }
    static const QRegularExpression speedUnit(QStringLiteral(R"(^SPEED\s*\(\s*(.*?)\s*\)$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString speed = header->cells.value(1).trimmed();
    series.unit = velocityUnit(speedUnit.match(speed).captured(1));
    if (series.unit.isEmpty()) {
        setLineError(errorText, header->line,
                     QStringLiteral("the speed unit in \"%1\" is neither FPS nor MPS").arg(speed));
        return std::nullopt;
    }
    QSet<int> numbers;
    while (const Row* row = nextRow(*rows, &at)) {
        const QString first = row->cells.value(0).trimmed();
        if (isWholeNumber(first)) {
            const std::optional<int> number = readShotNumber(first);
            if (!number) {
                setLineError(
                    errorText, row->line,
                    QStringLiteral("the shot number \"%1\" is not a whole number from 1 on").arg(first));
                return std::nullopt;
            }
            if (!addShot(&series, &numbers, *number, row->cells.value(1), row->line, errorText))
                return std::nullopt;
        } else if (first.compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0) {
            const QDate date = readDate(row->cells.value(1));
            if (date.isValid())
                series.date = date;
        }
        // Any other row sums the series up (average, spread, projectile weight, ...).
    }
    if (series.shots.isEmpty()) {
        setLineError(errorText, rows->last().line, QStringLiteral("the file ends without a shot row"));
        return std::nullopt;
    }
    return series;
}

} // namespace

std::optional<ChronographFile::Layout> ChronographFile::detect(const QByteArray& bytes) {
    const QString text = fileText(bytes);
    if (isBlank(text))
        return std::nullopt;
    static const QRegularExpression lineBreak(QStringLiteral("[\r\n]"));
    for (const QString& line : text.split(lineBreak)) {
        if ((startsWith(line, "Series No") || startsWith(line, "Shot ID")) && line.contains(QLatin1Char(';')))
            return LabRadar;
    }
    // The first two rows decide, whatever a quote left open further down does to the rest.
    const QList<Row> rows = splitRows(text, QLatin1Char(',')).rows;
    qsizetype at = 0;
    const Row* nameRow = nextRow(rows, &at);
    const Row* header = nextRow(rows, &at);
    const bool oneCell =
        nameRow && !isBlank(nameRow->cells.first()) && isBlankRow(Row{0, nameRow->cells.mid(1)});
    return oneCell && header && isXeroHeader(*header) ? XeroC1 : GenericCsv;
}

std::optional<ChronographSeries> ChronographFile::read(const QByteArray& bytes, Layout layout,
                                                       QString* errorText) {
    switch (layout) {
    case LabRadar:
        return readLabRadar(bytes, errorText);
    case XeroC1:
        return readXeroC1(bytes, errorText);
    case GenericCsv:
        break;
    }
    setError(errorText, QStringLiteral("a generic CSV file is read by the columns chosen from its rows"));
    return std::nullopt;
}

QList<QStringList> ChronographFile::rows(const QByteArray& bytes, QString* errorText) {
    const QString text = fileText(bytes);
    if (isBlank(text)) {
        setLineError(errorText, 1, QStringLiteral("the file is empty"));
        return {};
    }
    // The separator is the one the first rows use evenly, or else the more frequent one. A quote left
    // open further down does not change that choice.
    const Split byComma = splitRows(text, QLatin1Char(','));
    const Split bySemicolon = splitRows(text, QLatin1Char(';'));
    const SeparatorCount commas = countSeparators(byComma.rows);
    const SeparatorCount semicolons = countSeparators(bySemicolon.rows);
    const bool semicolonSeparated =
        commas.even != semicolons.even ? semicolons.even : semicolons.total > commas.total;
    const Split& chosen = semicolonSeparated ? bySemicolon : byComma;
    if (chosen.openLine > 0) {
        setLineError(errorText, chosen.openLine, QStringLiteral("a quoted cell is not closed"));
        return {};
    }
    QList<QStringList> cells;
    cells.reserve(chosen.rows.size());
    for (const Row& row : chosen.rows)
        cells << row.cells;
    return cells;
}

std::optional<ChronographSeries> ChronographFile::readColumns(const QList<QStringList>& rows,
                                                              int velocityColumn, int numberColumn,
                                                              bool firstRowIsHeader, const QString& unit,
                                                              QString* errorText) {
    if (unit != kFeetPerSecond && unit != kMetresPerSecond) {
        setError(errorText, QStringLiteral("the unit \"%1\" is neither ft/s nor m/s").arg(unit));
        return std::nullopt;
    }
    if (velocityColumn < 0 || numberColumn < -1) {
        setError(errorText, QStringLiteral("no column chosen for the velocities"));
        return std::nullopt;
    }
    ChronographSeries series;
    series.unit = unit;
    QSet<int> numbers;
    for (qsizetype i = firstRowIsHeader ? 1 : 0; i < rows.size(); ++i) {
        const QStringList& cells = rows.at(i);
        const int line = int(i) + 1;
        const QString velocity = cells.value(velocityColumn);
        if (isBlank(velocity))
            continue;
        int number = int(series.shots.size()) + 1;
        if (numberColumn >= 0) {
            const std::optional<int> read = readShotNumber(cells.value(numberColumn));
            if (!read) {
                setLineError(errorText, line,
                             QStringLiteral("the shot number \"%1\" is not a whole number from 1 on")
                                 .arg(cells.value(numberColumn).trimmed()));
                return std::nullopt;
            }
            number = *read;
        }
        if (!addShot(&series, &numbers, number, velocity, line, errorText))
            return std::nullopt;
    }
    if (series.shots.isEmpty()) {
        setError(errorText, QStringLiteral("no row has a velocity in the chosen column"));
        return std::nullopt;
    }
    return series;
}
