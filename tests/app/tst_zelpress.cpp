#include "app/Logging.h"
#include "app/ZelPress.h"
#include "link/AutoConnection.h"
#include "link/Protocol.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

class tst_ZelPress : public QObject {
    Q_OBJECT

private:
    QString settingsPath() const { return Logging::logDirectory() + QStringLiteral("/Settings.json"); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(settingsPath());
    }

    void findsTheEmulatedPressAndShowsIt() {
        ZelPress window;
        QCOMPARE(window.statusMessage(), QStringLiteral("Searching for available port connection ..."));
        // The first scan comes after a short delay, so the list can still be replaced here.
        window.autoConnection()->setPortLister([] {
            return QList<PortCandidate>{{"ComEmulation", "Emulated press", "FTDI"}};
        });
        QTRY_COMPARE_WITH_TIMEOUT(window.statusMessage(),
                                  QStringLiteral("Connection established on port \"ComEmulation\""), 5000);

        // Losing the press starts the search again.
        window.protocol()->closePort();
        QCOMPARE(window.statusMessage(), QStringLiteral("Searching for available port connection ..."));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusMessage(),
                                  QStringLiteral("Connection established on port \"ComEmulation\""), 5000);
    }

    void keepsTheSettingsAcrossRuns() {
        {
            ZelPress window;
            QCOMPARE(window.settings()->darkMode, false);
            window.settings()->darkMode = true;
            window.settings()->setMaxPressure(150);
        }
        const QJsonObject json = QJsonDocument::fromJson([this] {
                                     QFile file(settingsPath());
                                     return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                                 }())
                                     .object();
        QCOMPARE(json.size(), 17);
        QCOMPARE(json.value("DarkMode").toBool(), true);

        ZelPress window;
        QCOMPARE(window.settings()->darkMode, true);
        QCOMPARE(window.settings()->maxPressure(), 150.0);
    }
};

QTEST_MAIN(tst_ZelPress)
#include "tst_zelpress.moc"
