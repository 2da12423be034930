#pragma once

#include "maintenance/BootloaderExchange.h"

#include <memory>
#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

class IFirmwareReader;
class IMessageBoxes;
class Protocol;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

// Shows a firmware upgrade of the press behind a protocol: runs a BootloaderExchange on the protocol's
// lines and on a tick every 500 ms, and shows its progress on two bars and its steps and errors in
// the log box. While the exchange runs, the protocol does not log every raw line. Closing the window
// while the upgrade is under way asks first, and abandons the upgrade on Yes; the window closes
// itself a while after the upgrade has finished.
class DialogBootload : public QDialog {
    Q_OBJECT
public:
    // The exchange's names, as the dialog's callers know them.
    using Stage = BootloaderExchange::Stage;
    static constexpr Stage WaitingForBootloader = BootloaderExchange::WaitingForBootloader;
    static constexpr Stage ProgrammingApplication = BootloaderExchange::ProgrammingApplication;
    static constexpr Stage ProgrammingParameters = BootloaderExchange::ProgrammingParameters;
    static constexpr Stage Verifying = BootloaderExchange::Verifying;
    static constexpr Stage StartingApplication = BootloaderExchange::StartingApplication;
    static constexpr Stage Finished = BootloaderExchange::Finished;
    static constexpr Stage Failed = BootloaderExchange::Failed;
    static constexpr int kTickMs = BootloaderExchange::kTickMs;
    static constexpr int kExitCommands = BootloaderExchange::kExitCommands;

    // Who runs the tick: the dialog's own 500 ms timer, or the caller through tick().
    enum class Ticks { Timer, Manual };

    // Ticks in Finished before the dialog closes itself (accepted).
    static constexpr int kFinishedTicks = 20;

    // Neither the reader nor the protocol is owned; the reader must outlive the dialog. Checks that
    // the image covers both regions and that a press is attached, and only then asks the press to
    // enter its bootloader; otherwise the dialog opens already failed. Boxes go through
    // messageBoxes when given, otherwise through real message boxes.
    DialogBootload(IFirmwareReader* firmwareReader, Protocol* protocol, QWidget* parent = nullptr,
                   IMessageBoxes* messageBoxes = nullptr, Ticks ticks = Ticks::Timer);
    ~DialogBootload() override;

    // Runs the upgrade with the image the application carries (":/update.bin") on the press behind
    // the protocol, modally; returns when the dialog has closed.
    static void runUpgrade(Protocol* protocol, QWidget* parent);

    // One tick, as the timer runs it.
    void tick();

    Stage stage() const { return m_exchange->stage(); }
    // Why the upgrade failed; empty unless stage() is Failed.
    QString failureReason() const { return m_exchange->failureReason(); }

    static int progressValue(int address) { return BootloaderExchange::progressValue(address); }

public slots:
    // Closing while the upgrade is under way asks first; Yes ends the upgrade as failed.
    void reject() override;

private:
    void buildInterface();
    void sendCommand(const QByteArray& command);
    void onStageChanged(BootloaderExchange::Stage stage);
    void appendLog(const QString& text);
    // Hands the protocol's logging of raw lines back as it was before the exchange.
    void endQuietExchange();

    QTimer m_tickTimer;
    BootloaderExchange* m_exchange;
    QPointer<Protocol> m_protocol;
    std::unique_ptr<IMessageBoxes> m_ownMessageBoxes;
    IMessageBoxes* m_messageBoxes;
    int m_finishedTicks = 0;
    bool m_closedItself = false;
    bool m_quietExchange = false;          // the protocol's raw lines are not logged one by one
    bool m_rawExchangeLoggedBefore = true; // what to hand back

    QProgressBar* m_progressBarLoad = nullptr;
    QProgressBar* m_progressBarVerify = nullptr;
    QPlainTextEdit* m_bootloadLogEdit = nullptr;
    QLabel* m_powerWarningLabel = nullptr;
};
