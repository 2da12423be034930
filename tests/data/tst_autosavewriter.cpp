#include "data/AutosaveWriter.h"
#include "data/GraphContainer.h"
#include "support/GatedFileSystem.h"

#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray sessionFileText(const GraphContainer& container) {
    return QJsonDocument(container.toJson()).toJson(QJsonDocument::Indented);
}

} // namespace

class tst_AutosaveWriter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void writesOneStateAtATimeAndTheLatestLast();
};

// Strokes end faster than a large session reaches the disk: the writes never run over each other, the
// file always holds one complete state, and after the last stroke it holds the latest one, whatever the
// session went through since.
void tst_AutosaveWriter::writesOneStateAtATimeAndTheLatestLast() {
    auto files = std::make_shared<GatedFileSystem>(QStringLiteral("/autosaves/"));
    GraphContainer container(files, true, nullptr);
    container.addGraphFromPress({{0.5, 1.0}, {0.4, 2.0}}, true);
    const QDateTime start(QDate(2024, 6, 2), QTime(10, 0));
    const QString path = GraphContainer::autosavePath(start);
    QFile::remove(path);
    AutosaveWriter writer(&container);
    QSignalSpy finished(&writer, &AutosaveWriter::finished);

    writer.save(start);
    const QByteArray first = sessionFileText(container);
    QTRY_COMPARE_WITH_TIMEOUT(files->waiting(), 1, 10000);
    for (int stroke = 2; stroke <= 3; ++stroke) {
        container.addGraphFromPress({{0.5, 1.0 * stroke}}, true);
        writer.save(start);
    }
    const QByteArray latest = sessionFileText(container);
    container.clear();
    QVERIFY(writer.isWriting());
    QVERIFY(!QFile::exists(path));

    files->allow(1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(contents(path), first);
    // The states asked for meanwhile are written after it, as one write of the latest.
    QTRY_COMPARE_WITH_TIMEOUT(files->waiting(), 1, 10000);
    QCOMPARE(contents(path), first);
    files->allow(1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 10000);
    QCOMPARE(contents(path), latest);
    QVERIFY(!writer.isWriting());
    QCOMPARE(files->ended(), 2);
    QCOMPARE(files->mostAtOnce(), 1);
    QCOMPARE(files->onMainThread(), 0);
    for (const QList<QVariant>& report : std::as_const(finished))
        QCOMPARE(report, (QVariantList{path, true}));
}

QTEST_GUILESS_MAIN(tst_AutosaveWriter)
#include "tst_autosavewriter.moc"
