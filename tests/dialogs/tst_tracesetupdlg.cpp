#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "dialogs/TraceSetupDlg.h"
#include "support/MemoryFileSystem.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T> T* part(const TraceSetupDlg& dialog, const char* name) {
    auto* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

void pressOk(TraceSetupDlg& dialog) {
    part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

// Every change signal of the trace, counted together.
struct TraceSignals {
    explicit TraceSignals(Graph* graph) {
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::nameChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::commentChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::colorChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::velocityChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::flyerChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::visibilityChanged));
        spies.emplace_back(std::make_unique<QSignalSpy>(graph, &Graph::traceNumberChanged));
    }
    int count() const {
        int total = 0;
        for (const auto& spy : spies)
            total += static_cast<int>(spy->count());
        return total;
    }
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

} // namespace

class tst_TraceSetupDlg : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensWithTheTrace();
    void okWritesEveryField();
    void untouchedVelocityKeepsItsValue_data();
    void untouchedVelocityKeepsItsValue();
    void clearedColorIsTheDefault();
    void selectColorUsesThePickersAnswer_data();
    void selectColorUsesThePickersAnswer();
    void cancelChangesNothing();

private:
    std::unique_ptr<GraphContainer> m_container;
    Graph* m_graph = nullptr;
};

void tst_TraceSetupDlg::init() {
    m_container = std::make_unique<GraphContainer>(std::make_shared<MemoryFileSystem>(), true, nullptr);
    m_container->setDefaultGraphColor(QColor(245, 130, 49, 200));
    m_graph = m_container->addGraphFromPress({{1, 1}, {0.5, 3}}, true);
    m_graph->setName(QStringLiteral("Trace 1"));
    m_graph->setComment(QStringLiteral("Hornady 168 gr"));
    m_graph->setColor(QColor(Qt::red));
    m_graph->setVelocity(12.7);
    m_graph->setFlyer(false);
    m_graph->setVisible(true);
}

void tst_TraceSetupDlg::cleanup() {
    m_container.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_TraceSetupDlg::opensWithTheTrace() {
    TraceSetupDlg dialog(m_graph);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup Trace"));
    QCOMPARE(part<QLineEdit>(dialog, "nameEdit")->text(), QStringLiteral("Trace 1"));
    QCOMPARE(part<QPlainTextEdit>(dialog, "commentEdit")->toPlainText(), QStringLiteral("Hornady 168 gr"));
    QCOMPARE(part<QSpinBox>(dialog, "velocitySpinBox")->value(), 12);
    QCOMPARE(part<QSpinBox>(dialog, "velocitySpinBox")->minimum(), 0);
    QCOMPARE(part<QSpinBox>(dialog, "velocitySpinBox")->maximum(), std::numeric_limits<int>::max());
    QVERIFY(!part<QCheckBox>(dialog, "flyerCheckBox")->isChecked());
    QCOMPARE(part<QCheckBox>(dialog, "showCheckBox")->text(), QStringLiteral("Show On Graph"));
    QVERIFY(part<QCheckBox>(dialog, "showCheckBox")->isChecked());
    QCOMPARE(part<QLabel>(dialog, "colorPreviewFrame")->styleSheet(),
             QStringLiteral("background-color: #ff0000"));
    QCOMPARE(part<QLabel>(dialog, "colorPreviewFrame")->text(), QString());
    QVERIFY(part<QToolButton>(dialog, "clearColorBtn")->isEnabled());
    QCOMPARE(part<QToolButton>(dialog, "clearColorBtn")->statusTip(), QStringLiteral("Clear color"));
    QCOMPARE(part<QToolButton>(dialog, "selectColorBtn")->statusTip(), QStringLiteral("Select color"));
    QCOMPARE(dialog.color(), QColor(Qt::red));
}

void tst_TraceSetupDlg::okWritesEveryField() {
    TraceSetupDlg dialog(m_graph);
    part<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Seated"));
    part<QPlainTextEdit>(dialog, "commentEdit")->setPlainText(QStringLiteral("second\nline"));
    part<QSpinBox>(dialog, "velocitySpinBox")->setValue(31);
    part<QCheckBox>(dialog, "flyerCheckBox")->setChecked(true);
    part<QCheckBox>(dialog, "showCheckBox")->setChecked(false);
    dialog.setColorPicker([](const QColor&, QWidget*) { return QColor(Qt::green); });
    part<QToolButton>(dialog, "selectColorBtn")->click();
    QSignalSpy finished(&dialog, &QDialog::finished);
    pressOk(dialog);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(m_graph->name(), QStringLiteral("Seated"));
    QCOMPARE(m_graph->comment(), QStringLiteral("second\nline"));
    QCOMPARE(m_graph->color(), QColor(Qt::green));
    QCOMPARE(m_graph->velocity(), 31.0);
    QVERIFY(m_graph->flyer());
    QVERIFY(!m_graph->visible());
}

void tst_TraceSetupDlg::untouchedVelocityKeepsItsValue_data() {
    QTest::addColumn<double>("velocity");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("entered"); // -1: the box is left alone
    QTest::addColumn<double>("stored");
    QTest::newRow("fraction kept") << 12.7 << 12 << -1 << 12.7;
    QTest::newRow("fraction replaced") << 12.7 << 12 << 15 << 15.0;
    QTest::newRow("set back to the shown value") << 12.7 << 12 << 12 << 12.7;
    QTest::newRow("negative kept") << -4.5 << 0 << -1 << -4.5;
    QTest::newRow("beyond the box kept") << 1.0e12 << std::numeric_limits<int>::max() << -1 << 1.0e12;
    QTest::newRow("NaN kept") << kNaN << 0 << -1 << kNaN;
    QTest::newRow("NaN replaced") << kNaN << 0 << 40 << 40.0;
    QTest::newRow("whole number") << 20.0 << 20 << -1 << 20.0;
}

void tst_TraceSetupDlg::untouchedVelocityKeepsItsValue() {
    QFETCH(double, velocity);
    QFETCH(int, shown);
    QFETCH(int, entered);
    QFETCH(double, stored);
    m_graph->setVelocity(velocity);
    QSignalSpy changed(m_graph, &Graph::velocityChanged);
    TraceSetupDlg dialog(m_graph);
    auto* spinBox = part<QSpinBox>(dialog, "velocitySpinBox");
    QCOMPARE(spinBox->value(), shown);
    part<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("renamed"));
    if (entered >= 0)
        spinBox->setValue(entered);
    pressOk(dialog);
    QCOMPARE(m_graph->name(), QStringLiteral("renamed"));
    if (std::isnan(stored))
        QVERIFY(std::isnan(m_graph->velocity()));
    else
        QCOMPARE(m_graph->velocity(), stored);
    // Keeping the value means not setting it: a NaN set again would count as a change.
    QCOMPARE(changed.count(), entered >= 0 && entered != shown ? 1 : 0);
}

void tst_TraceSetupDlg::clearedColorIsTheDefault() {
    TraceSetupDlg dialog(m_graph);
    auto* clear = part<QToolButton>(dialog, "clearColorBtn");
    auto* preview = part<QLabel>(dialog, "colorPreviewFrame");
    clear->click();
    QCOMPARE(preview->text(), QStringLiteral("Default Color"));
    QCOMPARE(preview->styleSheet(), QStringLiteral("background-color: transparent"));
    QVERIFY(!clear->isEnabled());
    QCOMPARE(dialog.color(), QColor(0, 0, 255));
    pressOk(dialog);
    QVERIFY(m_graph->hasDefaultColor());
    // Drawn by the default-colour rule: the container's colour.
    QCOMPARE(m_graph->effectiveColor(), QColor(245, 130, 49, 200));

    // A trace without its own colour opens that way.
    TraceSetupDlg again(m_graph);
    QCOMPARE(part<QLabel>(again, "colorPreviewFrame")->text(), QStringLiteral("Default Color"));
    QVERIFY(!part<QToolButton>(again, "clearColorBtn")->isEnabled());
}

void tst_TraceSetupDlg::selectColorUsesThePickersAnswer_data() {
    QTest::addColumn<QColor>("answer");
    QTest::addColumn<QColor>("chosen");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clearEnabled");
    QTest::newRow("a colour") << QColor(10, 200, 30) << QColor(10, 200, 30) << QString() << true;
    QTest::newRow("cancelled") << QColor() << QColor(Qt::red) << QString() << true;
    QTest::newRow("the default blue") << QColor(0, 0, 255) << QColor(0, 0, 255) << "Default Color" << false;
}

void tst_TraceSetupDlg::selectColorUsesThePickersAnswer() {
    QFETCH(QColor, answer);
    QFETCH(QColor, chosen);
    QFETCH(QString, text);
    QFETCH(bool, clearEnabled);
    TraceSetupDlg dialog(m_graph);
    QList<QColor> offered;
    dialog.setColorPicker([&](const QColor& initial, QWidget* parent) {
        offered.append(initial);
        if (parent != &dialog)
            qFatal("colour dialog without the trace dialog as parent");
        return answer;
    });
    part<QToolButton>(dialog, "selectColorBtn")->click();
    QCOMPARE(offered, QList<QColor>{QColor(Qt::red)}); // starts at the trace's own colour
    QCOMPARE(dialog.color(), chosen);
    QCOMPARE(part<QLabel>(dialog, "colorPreviewFrame")->text(), text);
    QCOMPARE(part<QToolButton>(dialog, "clearColorBtn")->isEnabled(), clearEnabled);
    QCOMPARE(m_graph->color(), QColor(Qt::red)); // nothing reaches the trace before Ok
}

void tst_TraceSetupDlg::cancelChangesNothing() {
    const QByteArray before = m_graph->toJsonBytes();
    TraceSignals changes(m_graph);
    QSignalSpy unsaved(m_container.get(), &GraphContainer::unsavedStatusChanged);
    TraceSetupDlg dialog(m_graph);
    part<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("other"));
    part<QPlainTextEdit>(dialog, "commentEdit")->setPlainText(QStringLiteral("other"));
    part<QToolButton>(dialog, "clearColorBtn")->click();
    part<QSpinBox>(dialog, "velocitySpinBox")->setValue(99);
    part<QCheckBox>(dialog, "flyerCheckBox")->setChecked(true);
    part<QCheckBox>(dialog, "showCheckBox")->setChecked(false);
    part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(unsaved.count(), 0);
    QCOMPARE(m_graph->toJsonBytes(), before);
}

QTEST_MAIN(tst_TraceSetupDlg)
#include "tst_tracesetupdlg.moc"
