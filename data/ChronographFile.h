#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One shot of a chronograph's series: its number as the device counted it and its velocity in the
// series' unit.
struct ChronographShot {
    int number;
    double velocity;
};

// The shots of one series as a chronograph exported them, in file order. Shot numbers are unique and at
// least 1; velocities are finite and above zero.
struct ChronographSeries {
    QString name; // "Series 0001", the series' own name, or empty when the file gives none
    QString unit; // "ft/s" or "m/s"
    QDate date;   // the day of the first shot; invalid when the file does not give it readably
    QList<ChronographShot> shots;
};

// Reads the velocities of a chronograph's export. Two device layouts are read as they are (a LabRadar
// series report, a Garmin Xero C1 CSV export); any other file is a generic CSV file whose columns the
// user picks from rows(). All functions take the file's bytes: UTF-8 with or without its byte order
// mark, or ASCII written as UTF-16 (the NUL bytes between the characters are dropped). Errors name the
// 1-based line, e.g. "line 7: the velocity \"abc\" is not a number"; on an error nothing is returned.
class ChronographFile {
public:
    enum Layout {
        LabRadar,   // LabRadar series report: ';'-separated, a "Shot ID" header row, V0 in field 1
        XeroC1,     // Garmin Xero C1 CSV: the series name, a "#","SPEED (FPS)" header, then the shots
        GenericCsv, // any other CSV: the user chooses the columns
    };

    // The layout of a file: LabRadar or XeroC1 when the file looks like one, else GenericCsv. Nothing for
    // a file holding no text but blanks.
    static std::optional<Layout> detect(const QByteArray& bytes);

    // The series of a LabRadar or XeroC1 file. Nothing (errorText saying which line and why, when given)
    // when a row that should hold a shot does not, the header row or the unit is missing, a shot number
    // comes twice, there are no shots, or layout is GenericCsv.
    static std::optional<ChronographSeries> read(const QByteArray& bytes, Layout layout,
                                                 QString* errorText = nullptr);

    // The cells of a CSV file, one list per line (a blank line gives one empty cell, so that row i is
    // line i + 1 unless a quoted cell spans lines). Cells are separated by ',' or ';', whichever the
    // first lines use; a quoted cell may hold separators, line breaks and "" for a quote. Empty (errorText
    // saying why) for a file without text or with a quote left open.
    static QList<QStringList> rows(const QByteArray& bytes, QString* errorText = nullptr);

    // The series in the columns (0-based) of such rows, in unit "ft/s" or "m/s". numberColumn -1 numbers
    // the shots 1, 2, ... in row order. Rows whose velocity cell is empty or missing are skipped, and so
    // is row 0 when firstRowIsHeader. Nothing (errorText naming the line, counted as rows) when a
    // velocity or a shot number cannot be read, a shot number comes twice, no row has a velocity, a
    // column is below -1 (velocityColumn below 0) or the unit is neither of the two.
    static std::optional<ChronographSeries> readColumns(const QList<QStringList>& rows, int velocityColumn,
                                                        int numberColumn, bool firstRowIsHeader,
                                                        const QString& unit, QString* errorText = nullptr);
};
