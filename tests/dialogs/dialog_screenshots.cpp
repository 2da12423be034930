// Renders the advanced dialog (each tab), the progress dialog, the autorun wizard's pages and the
// firmware upgrade (part way through, on a simulated bootloader) and the tolerance limits to PNG files,
// headless:
// QT_QPA_PLATFORM=offscreen dialog_screenshots docs/screenshots
#include "support/FakeMessageBoxes.h"
#include "support/FakePort.h"
#include "support/SimulatedBootloader.h"

#include "core/Settings.h"
#include "dialogs/AdvancedDlg.h"
#include "dialogs/AutorunWizard.h"
#include "dialogs/DialogBootload.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/ToleranceLimitsDlg.h"
#include "link/Protocol.h"
#include "maintenance/FirmwareReaderFile.h"
#include "session/Autorun.h"
#include "session/Session.h"
#include "session/Timer.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>

namespace {

QByteArray samples(int count, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "$R,165," + QByteArray::number(value) + ",12\n";
    return bytes;
}

bool save(QWidget* widget, const QDir& directory, const QString& name) {
    widget->show();
    QCoreApplication::processEvents();
    const QString path = directory.filePath(name);
    const bool saved = widget->grab().save(path);
    QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << '\n';
    return saved;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QDir directory(arguments.size() > 1 ? arguments.at(1) : QStringLiteral("."));
    if (!directory.exists() && !QDir().mkpath(directory.path()))
        return 1;

    Protocol protocol;
    auto* port = new FakePort;
    protocol.setPort(port);
    Settings settings;
    FakeMessageBoxes boxes;
    Session session(&protocol, &settings, &boxes);
    session.init();
    port->feed("$VER,2.22\n");
    bool ok = true;

    {
        AdvancedDlg dialog(&settings, &session, false, AdvancedDlg::SettingsTab, nullptr, &boxes);
        ok &= save(&dialog, directory, QStringLiteral("advanced-settings.png"));
        port->feed(samples(1, 33417));
        dialog.findChild<QTabWidget*>()->setCurrentIndex(AdvancedDlg::DiagnosticsTab);
        ok &= save(&dialog, directory, QStringLiteral("advanced-diagnostics.png"));
        dialog.findChild<QTabWidget*>()->setCurrentIndex(AdvancedDlg::FirmwareUpgradeTab);
        ok &= save(&dialog, directory, QStringLiteral("advanced-firmware.png"));
    }
    {
        AdvancedDlg dialog(&settings, &session, true, AdvancedDlg::FirmwareUpgradeTab, nullptr, &boxes);
        ok &= save(&dialog, directory, QStringLiteral("advanced-firmware-bluetooth.png"));
    }
    {
        ProgressDialog* dialog = ProgressDialog::runSessionCommand(&session, &Session::calibrateZeroWeight,
                                                                   QStringLiteral("Zeroing ..."), nullptr);
        port->feed(samples(30, 33000));
        QCoreApplication::processEvents();
        ok &= save(dialog, directory, QStringLiteral("progress.png"));
        port->feed(samples(20, 33000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (const bool passes : {true, false}) {
        auto* autorun = new Autorun(&session, std::make_unique<Timer>(), &settings, &session);
        AutorunWizard wizard(autorun);
        wizard.show();
        if (passes)
            ok &= save(&wizard, directory, QStringLiteral("wizard-zero.png"));
        wizard.findChild<QPushButton*>(QStringLiteral("zeroPushButton"))->click();
        port->feed(samples(50, 33000));
        if (passes)
            ok &= save(&wizard, directory, QStringLiteral("wizard-threshold.png"));
        wizard.findChild<QPushButton*>(QStringLiteral("configureThresholdButton"))->click();
        port->feed(samples(50, passes ? 53000 : 33800));
        ok &= save(&wizard, directory,
                   passes ? QStringLiteral("wizard-complete.png") : QStringLiteral("wizard-failed.png"));
        wizard.reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    {
        // The carried image being verified, a little under half way.
        Protocol bootProtocol;
        auto* press = new SimulatedBootloader(QByteArray(SimulatedBootloader::kFlashSize, char(0xFF)));
        bootProtocol.setPort(press);
        FirmwareReaderFile reader(QStringLiteral(":/update.bin"));
        DialogBootload dialog(&reader, &bootProtocol, nullptr, &boxes, DialogBootload::Ticks::Manual);
        // The protocol logs every one of the thousands of lines exchanged.
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        for (int ticks = 0; ticks < 5000 && (press->commands.isEmpty() ||
                                             press->commands.last().line != QByteArray("$V,40000\n"));) {
            if (!press->deliver()) {
                dialog.tick();
                ++ticks;
            }
        }
        qInstallMessageHandler(previous);
        ok &= dialog.stage() == DialogBootload::Verifying;
        ok &= save(&dialog, directory, QStringLiteral("firmware-upgrade.png"));
    }
    {
        // Limits on peak force, given as low and high.
        ToleranceLimitsDlg dialog(*ToleranceLimits::withLimits(PeakForce, 40.0, 44.5, Imperial), Imperial);
        ok &= save(&dialog, directory, QStringLiteral("tolerance-limits.png"));
    }
    return ok ? 0 : 1;
}
