#include "core/FileSystem.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "support/MemoryFileSystem.h"

#include <cmath>
#include <csignal>
#include <limits>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {
const QString kDirectory = QStringLiteral("/data");
const QString kPath = QStringLiteral("/data/Settings.json");

// While it lives, writes beyond `bytes` into any file fail with EFBIG instead of raising SIGXFSZ:
// a disk that fills up part-way through a write, for this process only and without root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_set = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = m_set && setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};
} // namespace

class tst_SettingsStore : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<MemoryFileSystem> m_files;

    Settings loaded(const QByteArray& json) {
        m_files->files.insert(kPath, json);
        Settings settings;
        settings.setDefaults();
        SettingsStore(m_files, kDirectory).load(settings);
        return settings;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { m_files = std::make_shared<MemoryFileSystem>(); }

    void defaults() {
        Settings settings;
        settings.setMaxPressure(150);
        settings.darkMode = true;
        settings.setDefaults();
        QCOMPARE(settings.maxPressure(), 80.0);
        QCOMPARE(settings.jamDetectionTime(), 200);
        QCOMPARE(settings.units, Imperial);
        QVERIFY(!settings.darkMode);
        QVERIFY(settings.highlightFlyers);
        QCOMPARE(settings.autorunFilterLength, 35);
        QCOMPARE(settings.userDirectory, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    }

    void clampsMaxPressure_data() {
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("expected");
        QTest::newRow("above") << 500.0 << 200.0;
        QTest::newRow("upper bound") << 200.0 << 200.0;
        QTest::newRow("inside") << 120.5 << 120.5;
        QTest::newRow("lower bound") << 25.0 << 25.0;
        QTest::newRow("below") << 10.0 << 25.0;
        QTest::newRow("negative") << -3.0 << 25.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 25.0;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 200.0;
    }
    void clampsMaxPressure() {
        QFETCH(double, input);
        QFETCH(double, expected);
        Settings settings;
        settings.setMaxPressure(input);
        QCOMPARE(settings.maxPressure(), expected);
    }

    void clampsJamDetectionTime_data() {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("expected");
        QTest::newRow("above") << 1000 << 500;
        QTest::newRow("inside") << 250 << 250;
        QTest::newRow("lower bound") << 10 << 10;
        QTest::newRow("below") << 5 << 10;
        QTest::newRow("most negative") << INT_MIN << 10;
    }
    void clampsJamDetectionTime() {
        QFETCH(int, input);
        QFETCH(int, expected);
        Settings settings;
        settings.setJamDetectionTime(input);
        QCOMPARE(settings.jamDetectionTime(), expected);
    }

    void loadClampsStoredLimits() {
        Settings settings = loaded(R"({"MaxPressure": 500, "JamDetectionTime": 5})");
        QCOMPARE(settings.maxPressure(), 200.0);
        QCOMPARE(settings.jamDetectionTime(), 10);
        settings = loaded(R"({"MaxPressure": 10, "JamDetectionTime": 1000})");
        QCOMPARE(settings.maxPressure(), 25.0);
        QCOMPARE(settings.jamDetectionTime(), 500);
    }

    // An absurd filter length allocated gigabytes the moment Autorun was ticked; an absurd time-out
    // left autorun waiting for weeks.
    void loadClampsAutorunLimits_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("filterLength");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("warned");
        QTest::newRow("written by the program")
            << QByteArray(R"({"AutorunFilterLength": 35, "AutorunTimeoutMs": 1000})") << 35 << 1000 << false;
        QTest::newRow("at the limits")
            << QByteArray(R"({"AutorunFilterLength": 1000, "AutorunTimeoutMs": 600000})") << 1000 << 600000
            << false;
        QTest::newRow("largest int")
            << QByteArray(R"({"AutorunFilterLength": 2147483647, "AutorunTimeoutMs": 2147483647})") << 1000
            << 600000 << true;
        QTest::newRow("beyond int") << QByteArray(
                                           R"({"AutorunFilterLength": 1e300, "AutorunTimeoutMs": 3e9})")
                                    << 1000 << 600000 << true;
        QTest::newRow("zero and negative")
            << QByteArray(R"({"AutorunFilterLength": 0, "AutorunTimeoutMs": -5})") << 1 << 1000 << true;
        QTest::newRow("fractions round")
            << QByteArray(R"({"AutorunFilterLength": 12.4, "AutorunTimeoutMs": 1500.6})") << 12 << 1501
            << true;
    }
    void loadClampsAutorunLimits() {
        QFETCH(QByteArray, json);
        QFETCH(int, filterLength);
        QFETCH(int, timeoutMs);
        QFETCH(bool, warned);
        const QRegularExpression warning(QStringLiteral("^Settings.json: .*outside"));
        if (warned)
            QTest::ignoreMessage(QtWarningMsg, warning);
        else
            QTest::failOnWarning(warning);
        const Settings settings = loaded(json);
        QCOMPARE(settings.autorunFilterLength, filterLength);
        QCOMPARE(settings.autorunTimeoutMs, timeoutMs);
    }

    void partialFileChangesOnlyItsKeys() {
        Settings settings = loaded(R"({"DarkMode": true})");
        Settings defaults;
        defaults.setDefaults();
        QVERIFY(settings.darkMode);
        QCOMPARE(settings.maxPressure(), defaults.maxPressure());
        QCOMPARE(settings.userDirectory, defaults.userDirectory);
        QCOMPARE(settings.units, Imperial);
        QCOMPARE(settings.legendColumnVisibleTerminalForce, true);
        QCOMPARE(settings.autorunThresholdRatio, 0.3);
    }

    void readsUnits_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("units");
        QTest::newRow("metric") << QByteArray(R"({"MM": true})") << int(Metric);
        QTest::newRow("imperial") << QByteArray(R"({"MM": false})") << int(Imperial);
        QTest::newRow("absent") << QByteArray("{}") << int(Imperial);
        QTest::newRow("wrong type") << QByteArray(R"({"MM": "yes"})") << int(Imperial);
    }
    void readsUnits() {
        QFETCH(QByteArray, json);
        QFETCH(int, units);
        QCOMPARE(int(loaded(json).units), units);
    }

    void wrongTypesTakeTheConversionDefaults() {
        const Settings settings = loaded(R"({"MaxPressure": "heavy", "JamDetectionTime": "slow",
            "UserDirectory": 12, "HighlightFlyers": "no", "AutorunMinDiffAdc": [1],
            "AutorunTimeoutMs": 2.5, "AutorunFilterLength": null, "LegendColumnVisibleTerminalForce": 1})");
        QCOMPARE(settings.maxPressure(), 25.0);
        QCOMPARE(settings.jamDetectionTime(), 10);
        QCOMPARE(settings.userDirectory, QString());
        QCOMPARE(settings.highlightFlyers, false);
        QCOMPARE(settings.autorunMinDiffAdc, 0.0);
        // Read as 0, then kept within autorun's limits.
        QCOMPARE(settings.autorunTimeoutMs, 1000);
        QCOMPARE(settings.autorunFilterLength, 1);
        QCOMPARE(settings.legendColumnVisibleTerminalForce, false);
    }

    void brokenOrMissingFileKeepsDefaults_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("not json") << QByteArray("{\"DarkMode\": tru");
        QTest::newRow("array") << QByteArray("[true]");
        QTest::newRow("empty") << QByteArray();
    }
    void brokenOrMissingFileKeepsDefaults() {
        QFETCH(QByteArray, json);
        const Settings settings = loaded(json);
        QVERIFY(!settings.darkMode);
        QCOMPARE(settings.maxPressure(), 80.0);

        Settings untouched;
        untouched.setDefaults();
        untouched.darkMode = true;
        SettingsStore(std::make_shared<MemoryFileSystem>(), kDirectory).load(untouched);
        QVERIFY(untouched.darkMode);
    }

    void savesEveryKeyAndReadsItBack() {
        Settings settings;
        settings.setDefaults();
        settings.setMaxPressure(123.5);
        settings.setJamDetectionTime(321);
        settings.userDirectory = QStringLiteral("/home/bench/loads");
        settings.units = Metric;
        settings.darkMode = true;
        settings.highlightFlyers = false;
        settings.showStatistics = false;
        settings.autorunMinDiffAdc = 2500.5;
        settings.autorunThresholdRatio = 0.45;
        settings.autorunTimeoutMs = 1500;
        settings.autorunFilterLength = 12;
        settings.legendColumnVisibleTitle = true;
        settings.legendColumnVisibleFlyer = true;
        settings.legendColumnVisibleTerminalForce = false;
        QVERIFY(SettingsStore(m_files, kDirectory).save(settings));

        const QJsonObject json = QJsonDocument::fromJson(m_files->files.value(kPath)).object();
        QCOMPARE(json.size(), 18);
        QVERIFY(json.value("LegendColumnVisibleTitle").toBool());
        QCOMPARE(json.value("MM").toBool(), true);
        QCOMPARE(json.value("JamDetectionTime").toVariant().typeId(), QMetaType::LongLong);
        QCOMPARE(json.value("AutorunFilterLength").toVariant().typeId(), QMetaType::LongLong);
        // Indented form, one key per line.
        QVERIFY(m_files->files.value(kPath).contains("\n    \"DarkMode\": true"));

        Settings back;
        back.setDefaults();
        SettingsStore(m_files, kDirectory).load(back);
        QCOMPARE(back.maxPressure(), 123.5);
        QCOMPARE(back.jamDetectionTime(), 321);
        QCOMPARE(back.userDirectory, settings.userDirectory);
        QCOMPARE(back.units, Metric);
        QCOMPARE(back.darkMode, true);
        QCOMPARE(back.highlightFlyers, false);
        QCOMPARE(back.showStatistics, false);
        QCOMPARE(back.autorunMinDiffAdc, 2500.5);
        QCOMPARE(back.autorunThresholdRatio, 0.45);
        QCOMPARE(back.autorunTimeoutMs, 1500);
        QCOMPARE(back.autorunFilterLength, 12);
        QCOMPARE(back.legendColumnVisibleTitle, true);
        QCOMPARE(back.legendColumnVisibleFlyer, true);
        QCOMPARE(back.legendColumnVisibleTerminalForce, false);
    }

    void failedSaveReportsAndKeepsTheOldFile() {
        m_files->files.insert(kPath, R"({"DarkMode": true})");
        m_files->failWritesTo(kPath);
        Settings settings;
        settings.setDefaults();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Failed to write .*Settings.json"));
        QVERIFY(!SettingsStore(m_files, kDirectory).save(settings));
        QCOMPARE(m_files->files.value(kPath), QByteArray(R"({"DarkMode": true})"));
    }

    void fileSystemWritesAtomically() {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        FileSystem files;
        const QString path = directory.filePath(QStringLiteral("Settings.json"));
        QVERIFY(files.writeFile(path, "first"));
        QVERIFY(files.writeFile(path, "second, longer"));
        QCOMPARE(files.readFile(path), QByteArray("second, longer"));
        QVERIFY(files.fileExists(path));
        QVERIFY(!files.dirExists(path));
        QVERIFY(files.dirExists(directory.path()));
        QCOMPARE(files.absoluteDirPath(path), directory.path());
        QVERIFY(files.lastWriteError().isEmpty());

        // A write that fails part-way over a good file leaves that file as it was: here the process
        // may not write files beyond 1 KiB, so the longer content cannot be written in full.
        {
            const QByteArray good = R"({"MaxPressure":80})";
            QVERIFY(files.writeFile(path, good));
            const FileSizeLimit limit(1024);
            QVERIFY(limit.isSet());
            QVERIFY(!files.writeFile(path, QByteArray(64 * 1024, 'x')));
            QVERIFY(!files.lastWriteError().isEmpty());
            QCOMPARE(files.readFile(path), good);
        }
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files), QStringList{"Settings.json"});

        // A write that cannot happen says so and leaves nothing behind.
        const QString missing = directory.filePath(QStringLiteral("no/such/dir/Settings.json"));
        QVERIFY(!files.writeFile(missing, "x"));
        QVERIFY(!files.lastWriteError().isEmpty());
        QVERIFY(!files.fileExists(missing));
        QCOMPARE(files.readFile(missing), QByteArray());
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files), QStringList{"Settings.json"});
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
