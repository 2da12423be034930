#include "support/FakeMessageBoxes.h"
#include "support/MemoryFileSystem.h"

#include "WindowBench.h"

#include "app/StatisticsPanel.h"
#include "app/VelocityImport.h"
#include "app/VelocityPanel.h"
#include "app/ZelPress.h"
#include "core/FileSystem.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/ImportVelocitiesDlg.h"
#include "link/AutoConnection.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString kSamples = QStringLiteral(ZELPRESS_SOURCE_DIR "/docs/samples/");

// A session of ten strokes without velocities, the undo history and the command over them.
struct Rig {
    std::shared_ptr<IFileSystem> files;
    GraphContainer session{true, nullptr};
    UndoHistory undo{&session};
    QAction action{QStringLiteral("Import Velocities ...")};
    FakeMessageBoxes boxes;
    QString directory;
    VelocityImport import;
    int previews = 0;

    explicit Rig(std::shared_ptr<IFileSystem> fileSystem = std::make_shared<FileSystem>(), int traces = 10)
        : files(std::move(fileSystem))
        , import(&session, &undo, &action, nullptr, &boxes, files, &directory, nullptr) {
        for (int i = 0; i < traces; ++i)
            session.addGraphFromPress({{0.3, 0.0}, {0.1, 40.0 + i}}, true);
        undo.reset();
        session.setUnsaved(false);
    }
    // Answers the preview: adjusts it, then applies.
    void answer(const std::function<void(ImportVelocitiesDlg&)>& adjust) {
        import.setPreviewDialog([this, adjust](ImportVelocitiesDlg& dialog) {
            ++previews;
        adjust(dialog);
        return dialog.applyButton()->isEnabled();
    });
} QList<double> velocities() const {
    QList<double> result;
    for (const Graph* graph : session.graphs())
        result.append(graph->velocity());
    return result;
}
}; // namespace

} // namespace

class tst_VelocityImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void xeroFileWithAMissedShotShiftedInThePreviewIsOneUndoableEdit();
    void labRadarSeriesWrittenInMetresPerSecond();
    void anyCsvByTheColumnsPicked();
    void badFilesAreNamedWithTheirLineAndChangeNothing();
    void fromTheFileMenuIntoTheVelocityTabAndBackWithUndo();
};

void tst_VelocityImport::xeroFileWithAMissedShotShiftedInThePreviewIsOneUndoableEdit() {
    Rig rig;
    QVERIFY(rig.action.isEnabled());
    // The device dropped shot 6: by default trace 6 would get shot 7. The preview shows the jump; the user
    // leaves trace 6 out, and traces 7 to 10 get shots 7 to 10.
    rig.answer([](ImportVelocitiesDlg& dialog) {
        QTableWidget* table = dialog.traceTable();
        QCOMPARE(table->item(5, 4)->text(), QStringLiteral("7"));
        QVERIFY(table->item(5, 4)->toolTip().contains(QStringLiteral("jump from 5 to 7")));
        QCOMPARE(dialog.series().unit, QStringLiteral("ft/s"));
        table->item(5, 0)->setCheckState(Qt::Unchecked);
        QCOMPARE(table->item(5, 4)->text(), QString());
        QCOMPARE(table->item(6, 4)->text(), QStringLiteral("7"));
        // The jump is accounted for now.
        QVERIFY(table->item(6, 4)->toolTip().isEmpty());
    });
    QVERIFY(rig.import.importFile(kSamples + QStringLiteral("xero-c1.csv")));
    QCOMPARE(rig.previews, 1);
    // Decimal commas read as points.
    QCOMPARE(rig.velocities(),
             (QList<double>{2801.3, 2795.8, 2809.4, 2790.2, 2798.7, 0.0, 2812.4, 2803.1, 2796.5, 2805.9}));
    QVERIFY(rig.session.unsaved());
    // One step back undoes them all.
    QVERIFY(rig.undo.canUndo());
    rig.undo.undo();
    QCOMPARE(rig.velocities(), QList<double>(10, 0.0));
    QVERIFY(!rig.undo.canUndo());
}

void tst_VelocityImport::labRadarSeriesWrittenInMetresPerSecond() {
    Rig rig(std::make_shared<FileSystem>(), 3);
    rig.answer([](ImportVelocitiesDlg& dialog) {
        QCOMPARE(dialog.series().shots.size(), 10);
        dialog.targetUnitCombo()->setCurrentText(QStringLiteral("m/s"));
        // A fouling shot fired first.
        dialog.offsetSpin()->setValue(1);
    });
    QVERIFY(rig.import.importFile(kSamples + QStringLiteral("labradar-series.csv")));
    const QList<double> written = rig.velocities();
    QCOMPARE(written.size(), 3);
    QVERIFY(qFuzzyCompare(written.at(0), 2795.8 * 0.3048));
    QVERIFY(qFuzzyCompare(written.at(2), 2790.2 * 0.3048));
}

void tst_VelocityImport::anyCsvByTheColumnsPicked() {
    Rig rig;
    rig.answer([](ImportVelocitiesDlg& dialog) {
        // The columns found by their headings; the row without a reading is skipped.
        QCOMPARE(dialog.velocityColumnCombo()->currentData().toInt(), 1);
        QCOMPARE(dialog.numberColumnCombo()->currentData().toInt(), 0);
        QVERIFY(dialog.headerCheck()->isChecked());
        QCOMPARE(dialog.series().shots.size(), 9);
        // The second shot left out in the shot list.
        dialog.shotList()->item(1)->setCheckState(Qt::Unchecked);
    });
    QVERIFY(rig.import.importFile(kSamples + QStringLiteral("velocities.csv")));
    QCOMPARE(rig.velocities(),
             (QList<double>{2794.6, 2788.9, 2806.2, 2797.4, 2799.8, 2791.3, 2803.7, 2795.5, 0.0, 0.0}));

    // Columns that do not read: Apply is refused and the reason is shown.
    Rig other;
    other.answer([](ImportVelocitiesDlg& dialog) {
        dialog.velocityColumnCombo()->setCurrentIndex(2);
        QVERIFY(!dialog.problem().isEmpty());
        QVERIFY(!dialog.applyButton()->isEnabled());
    });
    QVERIFY(!other.import.importFile(kSamples + QStringLiteral("velocities.csv")));
    QCOMPARE(other.velocities(), QList<double>(10, 0.0));
    QVERIFY(!other.session.unsaved());
}

void tst_VelocityImport::badFilesAreNamedWithTheirLineAndChangeNothing() {
    auto memory = std::make_shared<MemoryFileSystem>();
    memory->addDirectory(QStringLiteral("/c"));
    memory->writeFile(QStringLiteral("/c/bad.csv"),
                      QByteArrayLiteral("\"String\"\n#,SPEED (FPS)\n1,\"2801,3\"\n2,fast\n"));
    memory->writeFile(QStringLiteral("/c/empty.csv"), QByteArray());
    Rig rig(memory);
    rig.answer([](ImportVelocitiesDlg&) {});
    for (const auto& [file, reason] :
         {std::pair{QStringLiteral("bad.csv"), QStringLiteral("line 4")},
          std::pair{QStringLiteral("empty.csv"), QStringLiteral("line 1")},
          std::pair{QStringLiteral("gone.csv"), QStringLiteral("does not exist")}}) {
        rig.boxes.boxes.clear();
        QVERIFY(!rig.import.importFile(QStringLiteral("/c/") + file));
        QCOMPARE(rig.boxes.boxes.size(), 1);
        QCOMPARE(rig.boxes.boxes.first().text,
                 QStringLiteral("Cannot import velocities from \"%1\".").arg(file));
        QVERIFY2(rig.boxes.boxes.first().informativeText.contains(reason),
                 qPrintable(rig.boxes.boxes.first().informativeText));
    }
    QCOMPARE(rig.previews, 0);
    QCOMPARE(rig.velocities(), QList<double>(10, 0.0));
    QVERIFY(!rig.session.unsaved());

    // No traces: nothing to import into, and the command is not offered.
    Rig empty(memory, 0);
    QTRY_VERIFY(!empty.action.isEnabled());
}

void tst_VelocityImport::fromTheFileMenuIntoTheVelocityTabAndBackWithUndo() {
    auto boxes = std::make_shared<FakeMessageBoxes>();
    auto dialog = std::make_shared<windowbench::ScriptedFileDialog>();
    ZelPress window(ZelPress::Seams{boxes, dialog, std::make_shared<FileSystem>()});
    window.autoConnection()->setPortLister([] { return QList<PortCandidate>{}; });
    QAction* import = window.findChild<QAction*>(QStringLiteral("importVelocitiesAction"));
    QVERIFY(!import->isEnabled());
    for (double peak : {40.0, 41.0, 42.0, 43.0})
        window.activeContainer()->addGraphFromPress({{0.3, 0.0}, {0.1, peak}}, true);
    // As after a stroke from the press: the history starts again from here.
    window.undoHistory()->reset();
    QVERIFY(import->isEnabled());

    window.velocityImport()->setPreviewDialog([](ImportVelocitiesDlg& preview) {
        preview.targetUnitCombo()->setCurrentText(QStringLiteral("m/s"));
        return true;
    });
    dialog->openPath = kSamples + QStringLiteral("xero-c1.csv");
    import->trigger();
    const QList<Graph*> traces = window.activeContainer()->graphs();
    QVERIFY(qFuzzyCompare(traces.at(0)->velocity(), 2801.3 * 0.3048));
    QVERIFY(qFuzzyCompare(traces.at(3)->velocity(), 2790.2 * 0.3048));
    // The Velocity tab speaks of the unit written.
    VelocityPanel* panel = window.statisticsPanel()->velocityPanel();
    QCOMPARE(panel->velocityUnit(), QStringLiteral("m/s"));
    QTRY_COMPARE(panel->correlation().count(), 4);
    QVERIFY(panel->sentence().contains(QStringLiteral("n = 4")));

    window.findChild<QAction*>(QStringLiteral("undoAction"))->trigger();
    QTRY_COMPARE(window.activeContainer()->graphs().size(), 4);
    for (const Graph* graph : window.activeContainer()->graphs())
        QCOMPARE(graph->velocity(), 0.0);
}

QTEST_MAIN(tst_VelocityImport)
#include "tst_velocityimport.moc"
