#include "data/ChronographFile.h"

#include <QFile>
#include <QTest>

namespace {

// ASCII text as a device writes it in UTF-16 little-endian: a NUL after every character, and the byte
// order mark in front.
QByteArray utf16(const QByteArray& text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (const char c : text) {
        bytes.append(c);
        bytes.append('\0');
    }
    return bytes;
}

// The shots as "number:velocity" separated by blanks, to compare whole series at once.
QString shotText(const ChronographSeries& series) {
    QStringList shots;
    for (const ChronographShot& shot : series.shots)
        shots << QStringLiteral("%1:%2").arg(shot.number).arg(QString::number(shot.velocity, 'g', 10));
    return shots.join(QLatin1Char(' '));
}

QByteArray sample(const char* name) {
    QFile file(QStringLiteral(ZELPRESS_SOURCE_DIR "/docs/samples/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(file.fileName()));
    return file.readAll();
}

// A LabRadar shot row: number, V0, thirteen more figures, date, time and the trailing separator.
QByteArray labRadarShot(const char* number, const char* velocity, const char* date) {
    return QByteArray(number) + ';' + velocity + ";1;2;3;4;5;6;7;8;9;10;11;12;13;" + date + ";10:41:07;";
}

const QByteArray kLabRadarHead =
    "sep=;\r\n"
    "Device ID;LBR-000000;;\r\n"
    "Series No;0003;;\r\n"
    "Units velocity;fps;;\r\n"
    "Stats - Average;2801.10;fps;\r\n"
    "Shot ID;V0;V10;V20;V30;V40;V50;Ke0;Ke10;Ke20;Ke30;Ke40;Ke50;PF10;TOF;Date;Time;\r\n";

} // namespace

Q_DECLARE_METATYPE(ChronographFile::Layout)
Q_DECLARE_METATYPE(std::optional<ChronographFile::Layout>)

class tst_ChronographFile : public QObject {
    Q_OBJECT
private slots:
    void detect_data();
    void detect();
    void readsDeviceLayouts_data();
    void readsDeviceLayouts();
    void refusesBrokenDeviceFiles_data();
    void refusesBrokenDeviceFiles();
    void csvRows_data();
    void csvRows();
    void readsChosenColumns_data();
    void readsChosenColumns();
    void refusesBrokenColumns_data();
    void refusesBrokenColumns();
    void readsSampleFiles();
};

void tst_ChronographFile::detect_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<ChronographFile::Layout>>("layout");

    using L = std::optional<ChronographFile::Layout>;
    QTest::newRow("LabRadar as UTF-16") << utf16(kLabRadarHead) << L(ChronographFile::LabRadar);
    QTest::newRow("LabRadar, only the header row")
        << QByteArray("x\nShot ID;V0;V10\n") << L(ChronographFile::LabRadar);
    QTest::newRow("Shot ID without semicolons")
        << QByteArray("Shot ID,V0,V10\n1,2801.3,2780\n") << L(ChronographFile::GenericCsv);
    QTest::newRow("Xero, UTF-8 BOM and CRLF")
        << QByteArray("\xEF\xBB\xBF\"Ladder, 150 gr\"\r\n#,SPEED (FPS),KE (FT-LB)\r\n1,\"801,5\",2\r\n")
        << L(ChronographFile::XeroC1);
    QTest::newRow("Xero, blank cells after the name")
        << QByteArray("Ladder,,,\n#,speed (mps),x\n") << L(ChronographFile::XeroC1);
    QTest::newRow("two cells in the first row")
        << QByteArray("Ladder,2026\n#,SPEED (FPS)\n1,801\n") << L(ChronographFile::GenericCsv);
    QTest::newRow("spreadsheet export")
        << QByteArray("Shot,Velocity\n1,2801\n") << L(ChronographFile::GenericCsv);
    QTest::newRow("empty") << QByteArray() << L();
    QTest::newRow("blanks, BOM and NULs") << QByteArray("\xEF\xBB\xBF \r\n\0\t\n", 8) << L();
}

void tst_ChronographFile::detect() {
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<ChronographFile::Layout>, layout);
    QCOMPARE(ChronographFile::detect(bytes), layout);
}

void tst_ChronographFile::readsDeviceLayouts_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ChronographFile::Layout>("layout");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("shots");

    QTest::newRow("LabRadar, UTF-16 with NULs, CRLF, month first")
        << utf16(kLabRadarHead + labRadarShot("0001", "2801.3", "12-08-2026") + "\r\n" +
                 labRadarShot("0002", "2795.8", "12-09-2026") + "\r\n;\r\nStats - Highest;2801.3;fps;\r\n")
        << ChronographFile::LabRadar << "Series 0003"
        << "ft/s" << QDate(2026, 12, 8) << "1:2801.3 2:2795.8";
    QTest::newRow("LabRadar, m/s, LF, day first, no series row, blank rows between the shots")
        << QByteArray("Units velocity;m/s\nShot ID;V0\n\n" + labRadarShot("7", "853.9", "25-08-2026") +
                      "\n\n" + labRadarShot("0008", "852,25", "26-08-2026"))
        << ChronographFile::LabRadar << ""
        << "m/s" << QDate(2026, 8, 25) << "7:853.9 8:852.25";
    QTest::newRow("LabRadar, ISO date") << QByteArray(kLabRadarHead + labRadarShot("1", "2801", "2026-12-08"))
                                        << ChronographFile::LabRadar << "Series 0003"
                                        << "ft/s" << QDate(2026, 12, 8) << "1:2801";
    QTest::newRow("LabRadar, unreadable date")
        << QByteArray(kLabRadarHead + labRadarShot("1", "2801", "yesterday")) << ChronographFile::LabRadar
        << "Series 0003"
        << "ft/s" << QDate() << "1:2801";
    QTest::newRow("Xero, decimal commas, a deleted shot, summary rows, CRLF, BOM")
        << QByteArray("\xEF\xBB\xBF\"Ladder, 150 gr\"\r\n"
                      "#,SPEED (FPS),\xCE\x94 AVG (FPS),KE (FT-LB),TIME,SHOT NOTES\r\n"
                      "1,\"2801,3\",\"0,6\",\"2614,4\",10:41:07,\r\n"
                      "2,\"2795,8\",\"-4,9\",\"2604,1\",10:41:44,\"note, with \"\"quotes\"\"\"\r\n"
                      "4,2790.2,\"-10,5\",\"2593,7\",10:42:21,\r\n"
                      "-,,,,,\r\n"
                      "AVERAGE SPEED,\"2795,8\",,,,\r\n"
                      "STD DEV,\"5,6\",,,,\r\n"
                      "DATE,\"December 8, 2026 at 10:41\",,,,\r\n")
        << ChronographFile::XeroC1 << "Ladder, 150 gr"
        << "ft/s" << QDate(2026, 12, 8) << "1:2801.3 2:2795.8 4:2790.2";
    QTest::newRow("Xero, m/s, LF, ISO date")
        << QByteArray("Practice\n#,SPEED (MPS)\n1,853.9\n2,\"852,2\"\nDATE,2026-12-08\n")
        << ChronographFile::XeroC1 << "Practice"
        << "m/s" << QDate(2026, 12, 8) << "1:853.9 2:852.2";
    QTest::newRow("Xero, unreadable date")
        << QByteArray("Practice\n#,SPEED (FPS)\n3,2801\nDATE,soon\n") << ChronographFile::XeroC1 << "Practice"
        << "ft/s" << QDate() << "3:2801";
}

void tst_ChronographFile::readsDeviceLayouts() {
    QFETCH(QByteArray, bytes);
    QFETCH(ChronographFile::Layout, layout);
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QFETCH(QDate, date);
    QFETCH(QString, shots);

    QString errorText;
    const std::optional<ChronographSeries> series = ChronographFile::read(bytes, layout, &errorText);
    QVERIFY2(series, qPrintable(errorText));
    QCOMPARE(series->name, name);
    QCOMPARE(series->unit, unit);
    QCOMPARE(series->date, date);
    QCOMPARE(shotText(*series), shots);
}

void tst_ChronographFile::refusesBrokenDeviceFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ChronographFile::Layout>("layout");
    QTest::addColumn<QString>("error");

    // kLabRadarHead holds six lines: the shots start on line 7.
    const QByteArray good = labRadarShot("0001", "2801.3", "12-08-2026") + "\r\n";
    QTest::newRow("LabRadar, velocity not a number")
        << utf16(kLabRadarHead + good + labRadarShot("0002", "abc", "12-08-2026"))
        << ChronographFile::LabRadar << "line 8: the velocity \"abc\" is not a number";
    QTest::newRow("LabRadar, shot row with 16 fields")
        << QByteArray(kLabRadarHead + good + "0002;2795.8;1;2;3;4;5;6;7;8;9;10;11;12;13;12-08-2026")
        << ChronographFile::LabRadar << "line 8: a shot row needs 17 fields, this one has 16";
    QTest::newRow("LabRadar, no header row")
        << QByteArray("Series No;0003\nUnits velocity;fps\n" + good) << ChronographFile::LabRadar
        << "line 3: the file ends without a \"Shot ID\" header row";
    QTest::newRow("LabRadar, no unit")
        << QByteArray("Series No;0003\nShot ID;V0\n" + good) << ChronographFile::LabRadar
        << "line 2: no \"Units velocity\" row gives the unit of the shots";
    QTest::newRow("LabRadar, unknown unit")
        << QByteArray("Units velocity;km/h;\nShot ID;V0\n" + good) << ChronographFile::LabRadar
        << "line 1: the velocity unit \"km/h\" is neither fps nor m/s";
    QTest::newRow("LabRadar, the same shot twice")
        << QByteArray(kLabRadarHead + good + labRadarShot("1", "2795.8", "12-08-2026"))
        << ChronographFile::LabRadar << "line 8: shot 1 comes a second time";
    QTest::newRow("LabRadar, header and no shots")
        << QByteArray(kLabRadarHead + ";\r\n") << ChronographFile::LabRadar
        << "line 7: the file ends without a shot row";
    QTest::newRow("LabRadar, only NULs")
        << QByteArray(6, '\0') << ChronographFile::LabRadar << "line 1: the file is empty";
    QTest::newRow("Xero, empty") << QByteArray("\xEF\xBB\xBF\r\n") << ChronographFile::XeroC1
                                 << "line 1: the file is empty";
    QTest::newRow("Xero, velocity not a number, after a note of two lines")
        << QByteArray("Practice\r\n#,SPEED (FPS),NOTES\r\n1,2801,\"two\r\nlines\"\r\n2,\"28,01,5\"\r\n")
        << ChronographFile::XeroC1 << "line 5: the velocity \"28,01,5\" is not a number";
    QTest::newRow("Xero, velocity of zero")
        << QByteArray("Practice\n#,SPEED (FPS)\n1,0\n") << ChronographFile::XeroC1
        << "line 3: the velocity \"0\" is not above zero";
    QTest::newRow("Xero, no header row")
        << QByteArray("Practice\n1,2801\n2,2795\n") << ChronographFile::XeroC1
        << "line 2: the header row has no \"SPEED (FPS)\" or \"SPEED (MPS)\" in its second cell";
    QTest::newRow("Xero, only the name") << QByteArray("Practice\n") << ChronographFile::XeroC1
                                         << "line 1: the file ends without a header row";
    QTest::newRow("Xero, unknown unit")
        << QByteArray("Practice\n\n#,SPEED (KPH)\n1,2801\n") << ChronographFile::XeroC1
        << "line 3: the speed unit in \"SPEED (KPH)\" is neither FPS nor MPS";
    QTest::newRow("Xero, a quote left open")
        << QByteArray("Practice\r\n#,SPEED (FPS)\r\n1,2801\r\n2,\"2795\r\n3,2790\r\n")
        << ChronographFile::XeroC1 << "line 4: a quoted cell is not closed";
    QTest::newRow("generic CSV") << QByteArray("Shot,Velocity\n1,2801\n") << ChronographFile::GenericCsv
                                 << "a generic CSV file is read by the columns chosen from its rows";
}

void tst_ChronographFile::refusesBrokenDeviceFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(ChronographFile::Layout, layout);
    QFETCH(QString, error);

    QString errorText;
    QVERIFY(!ChronographFile::read(bytes, layout, &errorText));
    QCOMPARE(errorText, error);
}

void tst_ChronographFile::csvRows_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::newRow("quotes, CRLF, BOM, a blank line kept")
        << QByteArray("\xEF\xBB\xBFShot,Velocity,Notes\r\n1,2801.3,\"seated deep, "
                      "\"\"hot\"\"\"\r\n\r\n2,2795.8,\r\n")
        << QList<QStringList>{{"Shot", "Velocity", "Notes"},
                              {"1", "2801.3", "seated deep, \"hot\""},
                              {""},
                              {"2", "2795.8", ""}};
    QTest::newRow("a quoted line break, no line break at the end")
        << QByteArray("1,\"two\r\nlines\",x\r\n2,\"\",\"\"\"\"")
        << QList<QStringList>{{"1", "two\nlines", "x"}, {"2", "", "\""}};
    QTest::newRow("semicolons evenly, as many commas unevenly")
        << QByteArray("Shot;Speed;Notes\n1;801,5;a, b, c, d, e\n2;802,0;\n")
        << QList<QStringList>{
               {"Shot", "Speed", "Notes"}, {"1", "801,5", "a, b, c, d, e"}, {"2", "802,0", ""}};
    QTest::newRow("commas with a semicolon in a note")
        << QByteArray("Shot,Speed,Notes\n1,801.5,a; b; c; d\n")
        << QList<QStringList>{{"Shot", "Speed", "Notes"}, {"1", "801.5", "a; b; c; d"}};
    QTest::newRow("UTF-16 with NULs")
        << utf16("A;B\r\n1;2\r\n") << QList<QStringList>{{"A", "B"}, {"1", "2"}};
}

void tst_ChronographFile::csvRows() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, rows);
    QString errorText;
    QCOMPARE(ChronographFile::rows(bytes, &errorText), rows);
    QCOMPARE(errorText, QString());
}

void tst_ChronographFile::readsChosenColumns_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("velocityColumn");
    QTest::addColumn<int>("numberColumn");
    QTest::addColumn<bool>("firstRowIsHeader");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("shots");

    const QByteArray table = "Notes,Velocity,Shot\n"
                             "cold,2801.3,0003\n"
                             "no reading,,4\n"
                             "\n"
                             ",\"2795,8\",5\n";
    QTest::newRow("numbers from a column, empty velocities skipped") << table << 1 << 2 << true << "ft/s"
                                                                     << "3:2801.3 5:2795.8";
    QTest::newRow("numbered in row order") << table << 1 << -1 << true << "m/s"
                                           << "1:2801.3 2:2795.8";
    QTest::newRow("no header row") << QByteArray("801.5;1\n802;2\n") << 0 << -1 << false << "m/s"
                                   << "1:801.5 2:802";
}

void tst_ChronographFile::readsChosenColumns() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, velocityColumn);
    QFETCH(int, numberColumn);
    QFETCH(bool, firstRowIsHeader);
    QFETCH(QString, unit);
    QFETCH(QString, shots);

    QString errorText;
    const std::optional<ChronographSeries> series = ChronographFile::readColumns(
        ChronographFile::rows(bytes), velocityColumn, numberColumn, firstRowIsHeader, unit, &errorText);
    QVERIFY2(series, qPrintable(errorText));
    QCOMPARE(series->unit, unit);
    QCOMPARE(series->name, QString());
    QVERIFY(!series->date.isValid());
    QCOMPARE(shotText(*series), shots);
}

void tst_ChronographFile::refusesBrokenColumns_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("velocityColumn");
    QTest::addColumn<int>("numberColumn");
    QTest::addColumn<bool>("firstRowIsHeader");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("error");

    const QByteArray table = "Shot,Velocity\n1,2801.3\n\n2,2795.8\n";
    QTest::newRow("the header row read as a velocity") << table << 1 << -1 << false << "ft/s"
                                                       << "line 1: the velocity \"Velocity\" is not a number";
    QTest::newRow("a velocity not a number, after a blank line")
        << table + "3,fast\n"
        << 1 << 0 << true << "ft/s"
        << "line 5: the velocity \"fast\" is not a number";
    QTest::newRow("a shot number not whole")
        << table + "3.5,2790\n"
        << 1 << 0 << true << "ft/s"
        << "line 5: the shot number \"3.5\" is not a whole number from 1 on";
    QTest::newRow("a shot number twice") << table + "2,2790\n"
                                         << 1 << 0 << true << "ft/s"
                                         << "line 5: shot 2 comes a second time";
    QTest::newRow("no velocities in the column") << table << 2 << -1 << true << "ft/s"
                                                 << "no row has a velocity in the chosen column";
    QTest::newRow("a quote left open") << table + "3,\"2790\n4,2788\n"
                                       << 1 << 0 << true << "ft/s"
                                       << "line 5: a quoted cell is not closed";
    QTest::newRow("empty file") << QByteArray(" \r\n") << 1 << 0 << true << "ft/s"
                                << "line 1: the file is empty";
    QTest::newRow("unknown unit") << table << 1 << 0 << true << "km/h"
                                  << "the unit \"km/h\" is neither ft/s nor m/s";
}

void tst_ChronographFile::refusesBrokenColumns() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, velocityColumn);
    QFETCH(int, numberColumn);
    QFETCH(bool, firstRowIsHeader);
    QFETCH(QString, unit);
    QFETCH(QString, error);

    // A file that fails as rows gives none; otherwise its columns fail.
    QString errorText;
    const QList<QStringList> rows = ChronographFile::rows(bytes, &errorText);
    if (errorText.isEmpty()) {
        QVERIFY(!rows.isEmpty());
        QVERIFY(!ChronographFile::readColumns(rows, velocityColumn, numberColumn, firstRowIsHeader, unit,
                                              &errorText));
    } else {
        QVERIFY(rows.isEmpty());
    }
    QCOMPARE(errorText, error);
}

void tst_ChronographFile::readsSampleFiles() {
    const QByteArray labRadar = sample("labradar-series.csv");
    QVERIFY(labRadar.contains('\0'));
    QCOMPARE(ChronographFile::detect(labRadar), ChronographFile::LabRadar);
    QString errorText;
    std::optional<ChronographSeries> series =
        ChronographFile::read(labRadar, ChronographFile::LabRadar, &errorText);
    QVERIFY2(series, qPrintable(errorText));
    QCOMPARE(series->name, QStringLiteral("Series 0007"));
    QCOMPARE(series->unit, QStringLiteral("ft/s"));
    QCOMPARE(series->date, QDate(2026, 8, 14));
    QCOMPARE(shotText(*series),
             QStringLiteral("1:2801.3 2:2795.8 3:2809.4 4:2790.2 5:2798.7 6:2812.4 7:2803.1 "
                            "8:2796.5 9:2805.9 10:2794"));

    const QByteArray xero = sample("xero-c1.csv");
    QCOMPARE(ChronographFile::detect(xero), ChronographFile::XeroC1);
    series = ChronographFile::read(xero, ChronographFile::XeroC1, &errorText);
    QVERIFY2(series, qPrintable(errorText));
    QCOMPARE(series->name, QStringLiteral("Evening ladder, 150 gr"));
    QCOMPARE(series->unit, QStringLiteral("ft/s"));
    QCOMPARE(series->date, QDate(2026, 8, 14));
    QCOMPARE(shotText(*series),
             QStringLiteral("1:2801.3 2:2795.8 3:2809.4 4:2790.2 5:2798.7 7:2812.4 8:2803.1 "
                            "9:2796.5 10:2805.9 11:2794"));

    const QByteArray spreadsheet = sample("velocities.csv");
    QCOMPARE(ChronographFile::detect(spreadsheet), ChronographFile::GenericCsv);
    const QList<QStringList> rows = ChronographFile::rows(spreadsheet, &errorText);
    QCOMPARE(rows.first(), (QStringList{"Shot", "Velocity (ft/s)", "Notes"}));
    series = ChronographFile::readColumns(rows, 1, 0, true, QStringLiteral("ft/s"), &errorText);
    QVERIFY2(series, qPrintable(errorText));
    QCOMPARE(shotText(*series), QStringLiteral("1:2794.6 2:2801 3:2788.9 4:2806.2 5:2797.4 6:2799.8 8:2791.3 "
                                               "9:2803.7 10:2795.5"));
}

QTEST_GUILESS_MAIN(tst_ChronographFile)
#include "tst_chronographfile.moc"
