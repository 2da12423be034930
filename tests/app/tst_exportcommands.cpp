#include "app/ExportCommands.h"
#include "chart/GraphModel.h"
#include "chart/GraphView.h"
#include "chart/GraphVisualization.h"
#include "chart/SessionModel.h"
#include "core/FileSystem.h"
#include "core/IFileDialog.h"
#include "core/Settings.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "support/FakeMessageBoxes.h"
#include "support/MemoryFileSystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <memory>

namespace {

enum Command { TraceCsv, AllCsv, Image, Pdf };

// Answers save dialogs from a script and records what each one was asked with.
class ScriptedFileDialog : public IFileDialog {
public:
    struct Call {
        QString caption;
        QString start;
        QString filter;
        QString selectedFilter; // "<none>" when the caller passed none
    };

    QString getSaveFileName(const QString& caption, const QString& startPath, const QString& filter,
                            QString* selectedFilter) override {
        calls.append(
            {caption, startPath, filter, selectedFilter ? *selectedFilter : QStringLiteral("<none>")});
        return answer;
    }
    QString getOpenFileName(const QString&, const QString&, const QString&) override {
        qFatal("no export opens a file");
    }

    QString answer;
    QList<Call> calls;
};

QList<QPointF> stroke(double peak) {
    QList<QPointF> points;
    for (int i = 0; i <= 20; ++i)
        points.append({0.3 - i * 0.01, i < 5 ? 0.5 : peak * (i - 4) / 16.0});
    return points;
}

// The window's parts the exports need: settings, a model with a named active session of two traces,
// the chart, the seams.
struct Rig {
    Settings settings;
    GraphModel model;
    GraphContainer* active = nullptr;
    std::unique_ptr<GraphView> view;
    std::unique_ptr<GraphVisualization> visualization;
    ScriptedFileDialog dialog;
    FakeMessageBoxes boxes;
    std::shared_ptr<IFileSystem> fileSystem;

    explicit Rig(std::shared_ptr<IFileSystem> files)
        : fileSystem(std::move(files)) {
        settings.units = Metric;
        settings.userDirectory = QStringLiteral("/home/operator/Loads");
        active = new GraphContainer(fileSystem, true, &model);
        model.setActiveSessionContainer(active);
        active->setFileName(QStringLiteral("/home/operator/sessions/308 Win.168gr.SDT"));
        view = std::make_unique<GraphView>();
        view->resize(640, 400);
        visualization = std::make_unique<GraphVisualization>(&model, view.get());
        active->addGraphFromPress(stroke(40), true);
        active->addGraphFromPress(stroke(50), true)->setName(QStringLiteral("12\" barrel"));
    }
    ~Rig() {
        visualization.reset();
        view.reset();
    }
    bool run(Command command) {
        ExportCommands commands(settings, dialog, boxes, fileSystem);
        switch (command) {
        case TraceCsv:
            return commands.exportTraceToCsv(active->graphs().value(1));
        case AllCsv:
            return commands.exportAllTracesToCsv(model);
        case Image:
            return commands.exportToImage(model, view.get());
        case Pdf:
            return commands.exportToPdf(model, view.get(), SessionModel::PeakForce, Qt::DescendingOrder);
        }
        return false;
    }
};

// Makes a folder refuse new files for as long as it lives: by its permissions, or, for root whom
// permissions do not stop, by the immutable attribute.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path)
        : m_path(path) {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (!writable())
            return;
        m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
    }
    ~ReadOnlyFolder() {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool writable() const {
        QFile probe(m_path + QStringLiteral("/probe"));
        if (!probe.open(QIODevice::WriteOnly))
            return false;
        probe.remove();
        return true;
    }

private:
    QString m_path;
    bool m_immutable = false;
};

} // namespace

class tst_ExportCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void asksThenWritesAndRemembersFolder_data();
    void asksThenWritesAndRemembersFolder();
    void nothingToExport();
    void failureOnDiskWarnsAndKeepsOldFile_data();
    void failureOnDiskWarnsAndKeepsOldFile();
    void csvBeyondLineLimitWarns();
};

void tst_ExportCommands::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void tst_ExportCommands::asksThenWritesAndRemembersFolder_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("selectedFilter");
    QTest::addColumn<QByteArray>("start");

    const QString csv = QStringLiteral("Comma-Separated Values (*.csv)");
    const QString images =
        QStringLiteral("JPEG image (*.jpg *.jpeg);;PNG image (*.png);;Windows BMP image (*.bmp)");
    const QString pdf = QStringLiteral("Portable Document Format (*.pdf)");
    const QString trace = QStringLiteral("/home/operator/Loads/12\" barrel");
    const QString session = QStringLiteral("/home/operator/Loads/308 Win.168gr");
    // The name is used as chosen: no suffix is added.
    QTest::newRow("trace to csv") << int(TraceCsv) << QStringLiteral("/out/a/trace") << "Export to CSV"
                                  << trace << csv << "<none>" << QByteArray(",\"12\"\" barrel\"\n");
    QTest::newRow("all to csv") << int(AllCsv) << QStringLiteral("/out/b/all.csv") << "Export All to CSV"
                                << session << csv << "<none>"
                                << QByteArray(",\"Trace 1\",\"12\"\" barrel\"\n");
    QTest::newRow("image") << int(Image) << QStringLiteral("/out/c/chart.bmp") << "Export to Image" << session
                           << images << "PNG image (*.png)" << QByteArray("BM");
    QTest::newRow("pdf") << int(Pdf) << QStringLiteral("/out/d/report") << "Export to PDF" << session << pdf
                         << "<none>" << QByteArray("%PDF");
    QTest::newRow("trace to csv, cancelled")
        << int(TraceCsv) << QString() << "Export to CSV" << trace << csv << "<none>" << QByteArray();
    QTest::newRow("all to csv, cancelled")
        << int(AllCsv) << QString() << "Export All to CSV" << session << csv << "<none>" << QByteArray();
    QTest::newRow("image, cancelled") << int(Image) << QString() << "Export to Image" << session << images
                                      << "PNG image (*.png)" << QByteArray();
    QTest::newRow("pdf, cancelled") << int(Pdf) << QString() << "Export to PDF" << session << pdf << "<none>"
                                    << QByteArray();
}

void tst_ExportCommands::asksThenWritesAndRemembersFolder() {
    QFETCH(int, command);
    QFETCH(QString, answer);
    QFETCH(QString, caption);
    QFETCH(QString, proposal);
    QFETCH(QString, filter);
    QFETCH(QString, selectedFilter);
    QFETCH(QByteArray, start);

    auto files = std::make_shared<MemoryFileSystem>();
    Rig rig(files);
    rig.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
    rig.dialog.answer = answer;

    QCOMPARE(rig.run(Command(command)), !answer.isEmpty());
    QCOMPARE(rig.dialog.calls.size(), 1);
    const ScriptedFileDialog::Call& call = rig.dialog.calls.first();
    QCOMPARE(call.caption, caption);
    QCOMPARE(call.start, proposal);
    QCOMPARE(call.filter, filter);
    QCOMPARE(call.selectedFilter, selectedFilter);
    QVERIFY(rig.boxes.boxes.isEmpty());
    if (answer.isEmpty()) {
        QCOMPARE(files->writeCount, 0);
        QCOMPARE(rig.settings.userDirectory, QStringLiteral("/home/operator/Loads"));
        return;
    }
    QCOMPARE(files->files.keys(), QStringList{answer});
    QVERIFY(files->files.value(answer).startsWith(start));
    QCOMPARE(rig.settings.userDirectory, answer.section(QLatin1Char('/'), 0, -2));
    if (command == TraceCsv || command == AllCsv) // the units of the settings
        QVERIFY(files->files.value(answer).contains("\nPosition (mm),Force (kg)"));
}

void tst_ExportCommands::nothingToExport() {
    auto files = std::make_shared<MemoryFileSystem>();
    Rig rig(files);
    rig.dialog.answer = QStringLiteral("/out/x");
    ExportCommands commands(rig.settings, rig.dialog, rig.boxes, files);
    QVERIFY(!commands.exportTraceToCsv(nullptr));

    rig.active->clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(rig.model.isEmpty());
    QVERIFY(!commands.exportAllTracesToCsv(rig.model));
    QVERIFY(!commands.exportToImage(rig.model, rig.view.get()));
    QVERIFY(!commands.exportToPdf(rig.model, rig.view.get(), SessionModel::Title, Qt::AscendingOrder));
    QVERIFY(rig.dialog.calls.isEmpty());
    QCOMPARE(files->writeCount, 0);

    // A comparison file alone is something to export: the active session's (empty) table and the chart.
    auto* compare = new GraphContainer(files, &rig.model);
    compare->addGraphFromPress(stroke(30), true);
    rig.model.addCompareContainer(compare);
    QVERIFY(commands.exportAllTracesToCsv(rig.model));
    QVERIFY(commands.exportToImage(rig.model, rig.view.get()));
    QVERIFY(commands.exportToPdf(rig.model, rig.view.get(), SessionModel::Title, Qt::AscendingOrder));
    QCOMPARE(rig.dialog.calls.size(), 3);
    QCOMPARE(files->writeCount, 3);
}

void tst_ExportCommands::failureOnDiskWarnsAndKeepsOldFile_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("readOnlyFolder"); // else the folder is a file

    for (const auto& [name, command] : {std::pair{"trace to csv", TraceCsv}, std::pair{"all to csv", AllCsv},
                                        std::pair{"image", Image}, std::pair{"pdf", Pdf}}) {
        QTest::addRow("%s, read-only folder", name) << int(command) << true;
        QTest::addRow("%s, folder is a file", name) << int(command) << false;
    }
}

void tst_ExportCommands::failureOnDiskWarnsAndKeepsOldFile() {
    QFETCH(int, command);
    QFETCH(bool, readOnlyFolder);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("exports"));
    QVERIFY(QDir().mkpath(folder));
    const QString oldFile = folder + QStringLiteral("/export.out");
    {
        QFile file(oldFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the good old export");
    }
    const QString path = readOnlyFolder ? oldFile : oldFile + QStringLiteral("/new.out");
    std::unique_ptr<ReadOnlyFolder> guard;
    if (readOnlyFolder) {
        guard = std::make_unique<ReadOnlyFolder>(folder);
        if (guard->writable())
            QSKIP("this machine cannot make a folder read-only for the user running the tests");
    }

    Rig rig(std::make_shared<FileSystem>());
    rig.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
    rig.dialog.answer = path;
    QVERIFY(!rig.run(Command(command)));

    QCOMPARE(rig.boxes.boxes.size(), 1);
    const FakeMessageBoxes::Box& box = rig.boxes.boxes.first();
    QCOMPARE(box.kind, FakeMessageBoxes::Box::Warning);
    QCOMPARE(box.text, QStringLiteral("Could not export to the file."));
    QVERIFY2(box.informativeText.startsWith(QDir::toNativeSeparators(path) + QLatin1Char('\n')),
             qPrintable(box.informativeText));
    QVERIFY(box.informativeText.size() > path.size() + 1); // and why
    guard.reset();
    QFile file(oldFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("the good old export"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("export.out")});
}

void tst_ExportCommands::csvBeyondLineLimitWarns() {
    auto files = std::make_shared<MemoryFileSystem>();
    Rig rig(files);
    rig.active->graphs().first()->setPoints({{1.0, 1.0}, {-std::numeric_limits<double>::infinity(), 2.0}},
                                            true);
    rig.dialog.answer = QStringLiteral("/out/endless.csv");
    QVERIFY(!rig.run(AllCsv));
    QCOMPARE(files->writeCount, 0);
    QCOMPARE(rig.boxes.boxes.size(), 1);
    QCOMPARE(rig.boxes.boxes.first().text, QStringLiteral("Could not export to the file."));
    QVERIFY(rig.boxes.boxes.first().informativeText.startsWith(QStringLiteral("/out/endless.csv\n")));
}

QTEST_MAIN(tst_ExportCommands)
#include "tst_exportcommands.moc"
