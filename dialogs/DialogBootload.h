#pragma once

#include <memory>
#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

class BootloaderReply;
class IFirmwareReader;
class IMessageBoxes;
class Protocol;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

// Writes the firmware image into the press through its serial bootloader: asks the press to enter
// the bootloader, programs the application region page by page, then the parameter page, reads
// everything back and compares it, and restarts the application. A tick every 500 ms sends the next
// command or repeats one that was not acknowledged; each acknowledgement ticks at once. Every step
// is appended to the log box. The upgrade ends as failed (and sends nothing more) when the link
// closes, the image does not cover the flash to program, a chunk still reads back wrong after three
// retries, or the user confirms closing the window while it is under way.
class DialogBootload : public QDialog {
    Q_OBJECT
public:
    enum Stage {
        WaitingForBootloader = 0,
        ProgrammingApplication = 1,
        ProgrammingParameters = 2,
        Verifying = 3,
        StartingApplication = 4,
        Finished = 5,
        Failed = 6
    };
    Q_ENUM(Stage)
    enum PageState { WaitingForErase = 0, SendingData = 1, PageFull = 2, CrcCalculated = 3 };
    Q_ENUM(PageState)
    // Who runs the tick: the dialog's own 500 ms timer, or the caller through tick().
    enum class Ticks { Timer, Manual };

    static constexpr int kTickMs = 500;
    static constexpr int kPageSize = 0x1000;
    static constexpr int kChunkSize = 64;
    // Flash addresses: the application region [start, end) and the parameter page [start, end).
    static constexpr int kApplicationStart = 0x26000;
    static constexpr int kApplicationEnd = 0x63000;
    static constexpr int kParameterPageStart = 0x7E000;
    static constexpr int kParameterPageEnd = 0x7F000;
    // The last chunk of the parameter page is read back but not compared.
    static constexpr int kUncomparedStart = 0x7EFA0;
    // Verification is complete once the next chunk would start here.
    static constexpr int kVerifyEnd = 0x7EFF0;
    // Both bars run from 0 to this: the application region, then the parameter page.
    static constexpr int kProgressMaximum = 0x3E000;
    // A chunk that reads back wrong is requested this many more times before the upgrade fails.
    static constexpr int kMaxVerifyRetries = 3;
    static constexpr int kExitCommands = 5;
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

    // One tick of the exchange, as the timer runs it.
    void tick() { Timeout(); }

    Stage stage() const { return m_stage; }
    // Why the upgrade failed; empty unless stage() is Failed.
    QString failureReason() const { return m_failureReason; }

    // The value both bars show for flash address `address`: the application region fills them up to
    // 0x3D000, the parameter page the last 0x1000.
    static int progressValue(int address);

public slots:
    // Closing while the upgrade is under way asks first; Yes ends the upgrade as failed.
    void reject() override;

private slots:
    void Timeout();
    void GotMessage(QString Msg);

private:
    void buildInterface();
    void onProtocolClosed();
    bool isUnderWay() const { return m_stage >= ProgrammingApplication && m_stage <= StartingApplication; }
    void handleVerifyReply(const BootloaderReply& reply);
    void sendDataChunk();
    void send(QByteArray command);
    // Appends to the log box; the run's log gets the line at info level, an error's at warning level.
    void appendLog(const QString& text);
    void appendError(const QString& text);
    // The run's log gets one line per page, not one per command.
    void logPage(int page, const char* what);
    // Hands the protocol's logging of raw lines back as it was before the exchange.
    void endQuietExchange();
    // Stops the exchange for good: no command is sent after this.
    void fail(const QString& reason);

    QTimer m_tickTimer;
    IFirmwareReader* m_firmwareReader;
    QPointer<Protocol> m_protocol;
    std::unique_ptr<IMessageBoxes> m_ownMessageBoxes;
    IMessageBoxes* m_messageBoxes;
    Stage m_stage = WaitingForBootloader;
    int m_address = kApplicationStart;
    PageState m_pageState = WaitingForErase;
    int m_tickCount = 6;
    int m_exitCommandsSent = 0;
    int m_verifyRetries = 0; // mismatches of the chunk at m_address so far
    bool m_closedItself = false;
    bool m_quietExchange = false;          // the protocol's raw lines are not logged one by one
    bool m_rawExchangeLoggedBefore = true; // what to hand back
    QString m_failureReason;

    QProgressBar* m_progressBarLoad = nullptr;
    QProgressBar* m_progressBarVerify = nullptr;
    QPlainTextEdit* m_bootloadLogEdit = nullptr;
    QLabel* m_powerWarningLabel = nullptr;
};
