#include "app/SessionFileActions.h"
#include "chart/GraphModel.h"
#include "core/IFileDialog.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/FakeMessageBoxes.h"
#include "support/MemoryFileSystem.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

// Answers each dialog with the next scripted path (empty = cancelled) and records what it was asked.
class ScriptedFileDialog : public IFileDialog {
public:
    struct Call {
        QString caption;
        QString start;
        QString filter;
    };

    QString getSaveFileName(const QString& caption, const QString& startPath, const QString& filter,
                            QString*) override {
        calls.append({caption, startPath, filter});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString getOpenFileName(const QString& caption, const QString& startDirectory,
                            const QString& filter) override {
        calls.append({caption, startDirectory, filter});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    QStringList answers;
    QList<Call> calls;
};

const QString kFilter = QStringLiteral("GraphFiles (*.SDT)");
const QByteArray kSession = R"({"Graphs": [{"Name": "old 1", "Show": true}, {"Name": "old 2"}]})";

} // namespace

class tst_SessionFileActions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void startDirectoryFallsBackToDocuments();
    void openLoadsAnnouncesAndRemembersFolder();
    void cancelledDialogsChangeNothing();
    void unreadableSessionChangesNothing_data();
    void unreadableSessionChangesNothing();
    void saveAsProposesDateInRememberedFolder();
    void saveAsProposesCurrentFileName();
    void saveAsAppendsMissingSuffix_data();
    void saveAsAppendsMissingSuffix();
    void saveAsAsksBeforeReplacingTheAppendedName_data();
    void saveAsAsksBeforeReplacingTheAppendedName();
    void saveWritesToKnownFileWithoutAsking();
    void saveWithoutFileNameAsks();
    void failedSaveKeepsSessionUnsaved_data();
    void failedSaveKeepsSessionUnsaved();
    void loadCompareAddsColouredContainer();
    void unreadableCompareAddsNothing();

private:
    QString m_lastDirectory;
    ScriptedFileDialog m_dialog;
    FakeMessageBoxes m_boxes;
    std::shared_ptr<MemoryFileSystem> m_fileSystem;
    std::unique_ptr<GraphContainer> m_container;
};

void tst_SessionFileActions::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_SessionFileActions::init() {
    m_lastDirectory = QStringLiteral("/remembered");
    m_dialog = ScriptedFileDialog();
    m_boxes.boxes.clear();
    m_boxes.questionAnswer = QMessageBox::Ok;
    m_fileSystem = std::make_shared<MemoryFileSystem>();
    m_fileSystem->addDirectory(QStringLiteral("/remembered"));
    m_fileSystem->files.insert(QStringLiteral("/other/old.SDT"), kSession);
    m_container = std::make_unique<GraphContainer>(m_fileSystem, true, nullptr);
}

void tst_SessionFileActions::startDirectoryFallsBackToDocuments() {
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QCOMPARE(actions.startDirectory(), QStringLiteral("/remembered"));
    m_lastDirectory = QStringLiteral("/gone");
    QCOMPARE(actions.startDirectory(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void tst_SessionFileActions::openLoadsAnnouncesAndRemembersFolder() {
    m_container->addGraphFromPress({}, true);
    QSignalSpy fromFile(m_container.get(), &GraphContainer::graphAddedFromFile);
    QSignalSpy bulk(m_container.get(), &GraphContainer::bulkGraphAddFinished);
    m_dialog.answers = {QStringLiteral("/other/old.SDT")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);

    QVERIFY(actions.openSession(m_container.get()));
    QCOMPARE(m_dialog.calls.size(), 1);
    QCOMPARE(m_dialog.calls.first().caption, QStringLiteral("Open Session"));
    QCOMPARE(m_dialog.calls.first().start, QStringLiteral("/remembered"));
    QCOMPARE(m_dialog.calls.first().filter, kFilter);
    QCOMPARE(m_lastDirectory, QStringLiteral("/other"));
    QCOMPARE(m_container->fileName(), QStringLiteral("/other/old.SDT"));
    QVERIFY(!m_container->unsaved());
    QCOMPARE(m_container->graphs().size(), 2);
    QCOMPARE(fromFile.count(), 2);
    QCOMPARE(bulk.count(), 1);
    QVERIFY(m_boxes.boxes.isEmpty());
}

void tst_SessionFileActions::cancelledDialogsChangeNothing() {
    m_container->addGraphFromPress({}, true);
    GraphModel model;
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QVERIFY(!actions.openSession(m_container.get()));
    QVERIFY(!actions.saveAs(m_container.get()));
    QVERIFY(!actions.save(m_container.get()));
    QCOMPARE(actions.loadCompare(&model, nullptr), nullptr);
    QCOMPARE(m_dialog.calls.size(), 4);
    QCOMPARE(m_lastDirectory, QStringLiteral("/remembered"));
    QVERIFY(m_container->unsaved());
    QCOMPARE(m_container->graphs().size(), 1);
    QCOMPARE(m_fileSystem->writeCount, 0);
    QVERIFY(model.compareContainers().isEmpty());
    QVERIFY(m_boxes.boxes.isEmpty());
}

void tst_SessionFileActions::unreadableSessionChangesNothing_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QStringLiteral("/other/bad.SDT") << QByteArray("{\"Graphs\": [");
    QTest::newRow("not an object") << QStringLiteral("/other/bad.SDT") << QByteArray("[1, 2]");
    QTest::newRow("missing") << QStringLiteral("/other/missing.SDT") << QByteArray();
}

void tst_SessionFileActions::unreadableSessionChangesNothing() {
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    if (!content.isEmpty())
        m_fileSystem->files.insert(path, content);
    Graph* graph = m_container->addGraphFromPress({{1, 1}}, true);
    m_container->setFileName(QStringLiteral("/remembered/current.SDT"));
    m_dialog.answers = {path};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);

    QVERIFY(!actions.openSession(m_container.get()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_container->graphs(), QList<Graph*>{graph});
    QCOMPARE(m_container->fileName(), QStringLiteral("/remembered/current.SDT"));
    QVERIFY(m_container->unsaved());
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.first().kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(m_boxes.boxes.first().text, QStringLiteral("Could not open the session file."));
    QVERIFY(m_boxes.boxes.first().informativeText.contains(path));
    QCOMPARE(m_lastDirectory, QStringLiteral("/other")); // the folder still moves
}

void tst_SessionFileActions::saveAsProposesDateInRememberedFolder() {
    m_dialog.answers = {QStringLiteral("/remembered/mine.SDT")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    actions.setClock([] { return QDateTime(QDate(2024, 12, 1), QTime(9, 5, 30)); });
    QVERIFY(actions.saveAs(m_container.get()));
    QCOMPARE(m_dialog.calls.first().caption, QStringLiteral("Save Session"));
    QCOMPARE(m_dialog.calls.first().start, QStringLiteral("/remembered/01-Dec-2024 09_05"));
    QCOMPARE(m_dialog.calls.first().filter, kFilter);

    m_lastDirectory = QStringLiteral("/gone");
    auto other = std::make_unique<GraphContainer>(m_fileSystem, true, nullptr);
    m_dialog.answers = {QStringLiteral("/x/y.SDT")};
    QVERIFY(actions.saveAs(other.get()));
    QCOMPARE(m_dialog.calls.last().start,
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                 QStringLiteral("/01-Dec-2024 09_05"));
}

void tst_SessionFileActions::saveAsProposesCurrentFileName() {
    m_container->setFileName(QStringLiteral("/other/old.SDT"));
    m_dialog.answers = {QStringLiteral("/other/new.SDT")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QVERIFY(actions.saveAs(m_container.get()));
    QCOMPARE(m_dialog.calls.first().start, QStringLiteral("/other/old.SDT"));
    QCOMPARE(m_container->fileName(), QStringLiteral("/other/new.SDT"));
}

void tst_SessionFileActions::saveAsAsksBeforeReplacingTheAppendedName_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("replaced");
    // "/other/old.SDT" exists; the file dialog itself asks only about the name as typed.
    QTest::newRow("appended, replace")
        << QStringLiteral("/other/old") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("appended, keep") << QStringLiteral("/other/old") << int(QMessageBox::No) << true << false;
    QTest::newRow("typed whole") << QStringLiteral("/other/old.SDT") << int(QMessageBox::No) << false << true;
    QTest::newRow("appended, new name")
        << QStringLiteral("/other/new") << int(QMessageBox::No) << false << true;
}

void tst_SessionFileActions::saveAsAsksBeforeReplacingTheAppendedName() {
    QFETCH(QString, chosen);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, replaced);
    m_container->addGraphFromPress({{1, 2}}, true);
    m_dialog.answers = {chosen};
    m_boxes.questionAnswer = static_cast<QMessageBox::StandardButton>(answer);
    const QString written = chosen.endsWith(QLatin1String(".SDT")) ? chosen : chosen + QStringLiteral(".SDT");
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);

    QCOMPARE(actions.saveAs(m_container.get()), replaced);
    QCOMPARE(m_boxes.boxes.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(m_boxes.boxes.first().text, QStringLiteral("old.SDT already exists."));
    if (replaced) {
        QCOMPARE(m_container->fileName(), written);
        QCOMPARE(QJsonDocument::fromJson(m_fileSystem->files.value(written)).object(), m_container->toJson());
    } else {
        QCOMPARE(m_fileSystem->files.value(written), kSession);
        QCOMPARE(m_container->fileName(), QString());
        QVERIFY(m_container->unsaved());
    }
}

void tst_SessionFileActions::saveAsAppendsMissingSuffix_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix") << QStringLiteral("/d/session") << QStringLiteral("/d/session.SDT");
    QTest::newRow("dot in folder only")
        << QStringLiteral("/d.v2/session") << QStringLiteral("/d.v2/session.SDT");
    QTest::newRow("SDT") << QStringLiteral("/d/session.SDT") << QStringLiteral("/d/session.SDT");
    QTest::newRow("other suffix kept")
        << QStringLiteral("/d/session.json") << QStringLiteral("/d/session.json");
}

void tst_SessionFileActions::saveAsAppendsMissingSuffix() {
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    m_container->addGraphFromPress({{1, 2}}, true);
    m_dialog.answers = {chosen};
    QSignalSpy fileName(m_container.get(), &GraphContainer::fileNameChanged);
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QVERIFY(actions.saveAs(m_container.get()));
    QCOMPARE(m_fileSystem->files.keys().contains(written), true);
    QCOMPARE(QJsonDocument::fromJson(m_fileSystem->files.value(written)).object(), m_container->toJson());
    QCOMPARE(m_container->fileName(), written);
    QCOMPARE(fileName.count(), 1);
    QVERIFY(!m_container->unsaved());
    QCOMPARE(m_lastDirectory, m_fileSystem->absoluteDirPath(written));
}

void tst_SessionFileActions::saveWritesToKnownFileWithoutAsking() {
    m_container->setFileName(QStringLiteral("/remembered/s.SDT"));
    m_container->addGraphFromPress({{1, 2}}, true);
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QVERIFY(actions.save(m_container.get()));
    QVERIFY(m_dialog.calls.isEmpty());
    QVERIFY(m_fileSystem->files.contains(QStringLiteral("/remembered/s.SDT")));
    QVERIFY(!m_container->unsaved());
}

void tst_SessionFileActions::saveWithoutFileNameAsks() {
    m_dialog.answers = {QStringLiteral("/remembered/first")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QVERIFY(actions.save(m_container.get()));
    QCOMPARE(m_dialog.calls.size(), 1);
    QCOMPARE(m_container->fileName(), QStringLiteral("/remembered/first.SDT"));
}

void tst_SessionFileActions::failedSaveKeepsSessionUnsaved_data() {
    QTest::addColumn<bool>("saveAs");
    QTest::newRow("save") << false;
    QTest::newRow("save as") << true;
}

void tst_SessionFileActions::failedSaveKeepsSessionUnsaved() {
    QFETCH(bool, saveAs);
    const QString previous = QStringLiteral("/remembered/s.SDT");
    const QString target = saveAs ? QStringLiteral("/full/t.SDT") : previous;
    m_fileSystem->failWritesTo(target, QStringLiteral("No space left on device"));
    m_container->setFileName(previous);
    m_container->addGraphFromPress({{1, 2}}, true);
    m_dialog.answers = {target};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);

    QVERIFY(!(saveAs ? actions.saveAs(m_container.get()) : actions.save(m_container.get())));
    QVERIFY(m_container->unsaved());
    QCOMPARE(m_container->fileName(), previous);
    QVERIFY(!m_fileSystem->files.contains(target));
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.first().kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(m_boxes.boxes.first().text, QStringLiteral("Could not save the session."));
    QVERIFY(m_boxes.boxes.first().informativeText.contains(target));
    QVERIFY(m_boxes.boxes.first().informativeText.contains(QStringLiteral("No space left on device")));
}

void tst_SessionFileActions::loadCompareAddsColouredContainer() {
    QObject window;
    GraphModel model;
    model.setActiveSessionContainer(m_container.get());
    model.setCompareColors({QColor(245, 130, 49, 200), QColor(188, 246, 12, 200)});
    m_container->addGraphFromPress({}, true);
    m_container->setUnsaved(false);
    QSignalSpy activeUnsaved(m_container.get(), &GraphContainer::unsavedStatusChanged);
    QSignalSpy announced(&model, &IGraphModel::compareContainerAdded);
    m_dialog.answers = {QStringLiteral("/other/old.SDT"), QStringLiteral("/other/old.SDT")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);

    GraphContainer* first = actions.loadCompare(&model, &window);
    QVERIFY(first);
    QCOMPARE(m_dialog.calls.first().caption, QStringLiteral("Load Compare"));
    QCOMPARE(m_dialog.calls.first().filter, kFilter);
    QCOMPARE(first->parent(), &window);
    QVERIFY(!first->isActiveSession());
    QCOMPARE(first->fileSystem(), std::static_pointer_cast<IFileSystem>(m_fileSystem));
    QCOMPARE(first->graphs().size(), 2);
    QCOMPARE(first->defaultGraphColor(), QColor(245, 130, 49, 200));
    QCOMPARE(first->graphs().first()->effectiveColor(), QColor(245, 130, 49, 200));
    GraphContainer* second = actions.loadCompare(&model, &window);
    QCOMPARE(second->defaultGraphColor(), QColor(188, 246, 12, 200));
    QCOMPARE(announced.count(), 2);
    QCOMPARE(model.compareContainers(), (QList<GraphContainer*>{first, second}));
    QCOMPARE(m_lastDirectory, QStringLiteral("/other"));
    QVERIFY(!m_container->unsaved());
    QCOMPARE(activeUnsaved.count(), 0);
}

void tst_SessionFileActions::unreadableCompareAddsNothing() {
    QObject window;
    GraphModel model;
    m_fileSystem->files.insert(QStringLiteral("/other/bad.SDT"), "not json");
    m_dialog.answers = {QStringLiteral("/other/bad.SDT")};
    SessionFileActions actions(m_lastDirectory, m_dialog, m_boxes, m_fileSystem);
    QCOMPARE(actions.loadCompare(&model, &window), nullptr);
    QVERIFY(model.compareContainers().isEmpty());
    QVERIFY(window.children().isEmpty());
    QCOMPARE(m_boxes.boxes.size(), 1);
    QCOMPARE(m_boxes.boxes.first().text, QStringLiteral("Could not open the session file."));
    QVERIFY(m_boxes.boxes.first().informativeText.contains(QStringLiteral("/other/bad.SDT")));
}

QTEST_MAIN(tst_SessionFileActions)
#include "tst_sessionfileactions.moc"
