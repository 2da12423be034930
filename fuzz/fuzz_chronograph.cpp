// Feeds arbitrary bytes to the chronograph file readers: detection, both device layouts, the generic
// CSV rows and a choice of their columns taken from the first byte. Checks that what is read is a
// usable series, that errors name a line of the file, that the chosen columns are read as they stand,
// and that every series read comes back unchanged through a plain CSV file.
#include "data/ChronographFile.h"

#include <QSet>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Shot numbers from 1 on and unique, velocities finite and above zero, one of the two units.
void checkSeries(const ChronographSeries& series) {
    check(series.unit == QLatin1String("ft/s") || series.unit == QLatin1String("m/s"));
    check(!series.shots.isEmpty());
    QSet<int> numbers;
    for (const ChronographShot& shot : series.shots) {
        check(shot.number >= 1);
        check(!numbers.contains(shot.number));
        numbers.insert(shot.number);
        check(std::isfinite(shot.velocity) && shot.velocity > 0.0);
    }
}

// The lines of the file as the readers count them: CRLF, LF and a lone CR each end one.
int lineCount(QByteArray bytes) {
    bytes.removeIf([](char c) { return c == '\0'; });
    int lines = 1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\n' ||
            (bytes.at(i) == '\r' && (i + 1 == bytes.size() || bytes.at(i + 1) != '\n')))
            ++lines;
    }
    return lines;
}

// An error that starts "line N: " names a line of the file.
void checkErrorLine(const QString& errorText, int lines) {
    check(!errorText.isEmpty());
    if (!errorText.startsWith(QLatin1String("line ")))
        return;
    const int colon = int(errorText.indexOf(QLatin1Char(':')));
    bool ok = false;
    const int line = errorText.mid(5, colon - 5).toInt(&ok);
    check(colon > 5 && ok && line >= 1 && line <= lines);
}

// The series written as a plain CSV file and read back by its columns gives the same shots.
void checkRoundTrip(const ChronographSeries& series) {
    QByteArray csv = "Shot,Velocity\r\n";
    for (const ChronographShot& shot : series.shots)
        csv += QByteArray::number(shot.number) + ',' + QByteArray::number(shot.velocity, 'g', 17) + "\r\n";
    const std::optional<ChronographSeries> again =
        ChronographFile::readColumns(ChronographFile::rows(csv), 1, 0, true, series.unit);
    check(again.has_value() && again->shots.size() == series.shots.size());
    for (qsizetype i = 0; i < series.shots.size(); ++i) {
        check(again->shots.at(i).number == series.shots.at(i).number);
        check(again->shots.at(i).velocity == series.shots.at(i).velocity);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int lines = lineCount(bytes);

    const std::optional<ChronographFile::Layout> layout = ChronographFile::detect(bytes);
    for (const ChronographFile::Layout device : {ChronographFile::LabRadar, ChronographFile::XeroC1}) {
        QString errorText;
        const std::optional<ChronographSeries> series = ChronographFile::read(bytes, device, &errorText);
        if (series) {
            check(errorText.isEmpty());
            checkSeries(*series);
            checkRoundTrip(*series);
        } else {
            checkErrorLine(errorText, lines);
        }
        // A file of blanks is refused by every reader.
        check(layout || !series);
    }
    check(!ChronographFile::read(bytes, ChronographFile::GenericCsv));

    QString errorText;
    const QList<QStringList> rows = ChronographFile::rows(bytes, &errorText);
    check(rows.isEmpty() == !errorText.isEmpty());
    check(!layout == (errorText == QLatin1String("line 1: the file is empty")));
    if (rows.isEmpty()) {
        checkErrorLine(errorText, lines);
        return 0;
    }
    for (const QStringList& row : rows)
        check(!row.isEmpty());

    // The first byte chooses the columns: the velocity's 0-3, the number's -1 to 2, and a header row.
    const std::uint8_t choice = size > 0 ? data[0] : 0;
    const int velocityColumn = choice & 3;
    const int numberColumn = ((choice >> 2) & 3) - 1;
    const bool firstRowIsHeader = (choice & 0x10) != 0;
    const QString unit = (choice & 0x20) ? QStringLiteral("m/s") : QStringLiteral("ft/s");
    const std::optional<ChronographSeries> series =
        ChronographFile::readColumns(rows, velocityColumn, numberColumn, firstRowIsHeader, unit, &errorText);
    if (!series)
        return 0;
    checkSeries(*series);
    check(series->unit == unit && series->name.isEmpty() && !series->date.isValid());
    // Every row with a velocity gave a shot, in row order, with the numbers and velocities as written.
    qsizetype shot = 0;
    for (qsizetype i = firstRowIsHeader ? 1 : 0; i < rows.size(); ++i) {
        const QString velocity = rows.at(i).value(velocityColumn).trimmed();
        if (velocity.isEmpty())
            continue;
        check(shot < series->shots.size());
        const ChronographShot& read = series->shots.at(shot);
        check(read.number ==
              (numberColumn < 0 ? int(shot) + 1 : rows.at(i).value(numberColumn).trimmed().toInt()));
        if (!velocity.contains(QLatin1Char(',')))
            check(read.velocity == velocity.toDouble());
        ++shot;
    }
    check(shot == series->shots.size());
    checkRoundTrip(*series);
    return 0;
}
