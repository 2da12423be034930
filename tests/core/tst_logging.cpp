#include "core/Logging.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_Logging : public QObject {
    Q_OBJECT

private:
    const QDateTime m_time{QDate(2026, 12, 7), QTime(10, 15, 30, 125)};

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void formatsOneLinePerLevel_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("line");
        QTest::newRow("debug") << int(QtDebugMsg) << "07/12/26 10:15:30.125 [Debug] : text\n";
        QTest::newRow("info") << int(QtInfoMsg) << "07/12/26 10:15:30.125 [Info] : text\n";
        QTest::newRow("warning") << int(QtWarningMsg) << "07/12/26 10:15:30.125 [Warning] : text\n";
        QTest::newRow("critical") << int(QtCriticalMsg) << "07/12/26 10:15:30.125 [Critical] : text\n";
        QTest::newRow("fatal") << int(QtFatalMsg) << "07/12/26 10:15:30.125 [Fatal] : text\n";
        QTest::newRow("other level") << 42 << "07/12/26 10:15:30.125  : text\n";
    }
    void formatsOneLinePerLevel() {
        QFETCH(int, type);
        QFETCH(QString, line);
        const QMessageLogContext context;
        QCOMPARE(Logging::formatLogLine(QtMsgType(type), context, QStringLiteral("text"), m_time), line);
    }

    void addsTheSourceWhenTheContextHasIt() {
        const QMessageLogContext both("/src/link/Protocol.cpp", 42, "f", "default");
        QCOMPARE(Logging::formatLogLine(QtWarningMsg, both, QStringLiteral("x"), m_time),
                 QStringLiteral("07/12/26 10:15:30.125 [Warning] : Protocol.cpp:42 : x\n"));
        const QMessageLogContext fileOnly("Protocol.cpp", 0, "f", "default");
        QCOMPARE(Logging::formatLogLine(QtDebugMsg, fileOnly, QStringLiteral("x"), m_time),
                 QStringLiteral("07/12/26 10:15:30.125 [Debug] : Protocol.cpp : x\n"));
    }

    void namesTheFileAfterTheStartTime() {
        QCOMPARE(Logging::logFileName(QDateTime(QDate(2026, 1, 2), QTime(23, 4, 5))),
                 QStringLiteral("260102_230405.log"));
    }

    void handlerWritesToTheRunLog() {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("run.log"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("left over from an earlier run in the same second\n");
        old.close();

        QVERIFY(Logging::openLogFile(path));
        const QtMessageHandler testHandler = qInstallMessageHandler(Logging::messageHandler);
        qDebug() << "Opening" << QStringLiteral("ComEmulation") << 3;
        qWarning() << "second";
        qInstallMessageHandler(testHandler);
        Logging::closeLogFile();

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines.at(0).contains(QRegularExpression(
                     R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d \[Debug\] .*: Opening "ComEmulation" 3$)")),
                 qPrintable(lines.at(0)));
        QVERIFY(lines.at(1).contains(QRegularExpression(R"(\[Warning\] .*: second$)")));
        QVERIFY(lines.at(2).isEmpty());
    }

    void createsMissingDirectories() {
        QTemporaryDir directory;
        const QString nested = directory.filePath(QStringLiteral("a/b/c"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("does not exist. Creating it."));
        QVERIFY(Logging::ensureDirectory(nested));
        QVERIFY(QDir(nested).exists());
        QVERIFY(Logging::ensureDirectory(nested));

        // Below a plain file nothing can be created.
        QFile blocker(directory.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString impossible = directory.filePath(QStringLiteral("file/sub"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("does not exist. Creating it."));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Failed to create .*file/sub"));
        QVERIFY(!Logging::ensureDirectory(impossible));
    }

    void logDirectoryIsTheApplicationDataDirectory() {
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        QCOMPARE(Logging::logDirectory(), expected);
        QVERIFY(QDir(expected).exists());
    }
};

QTEST_GUILESS_MAIN(tst_Logging)
#include "tst_logging.moc"
