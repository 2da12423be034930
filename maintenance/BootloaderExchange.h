#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class BootloaderReply;
class IFirmwareReader;

// The firmware upgrade's conversation with the press's bootloader, without a port or a window: once
// the press has been asked to enter its bootloader, it programs the application region page by page,
// then the parameter page, reads everything back and compares it, and restarts the application.
// Reply lines come in through receive(), time through tick() (every kTickMs); each tick sends the
// next command or repeats one that was not acknowledged, and each acknowledgement ticks at once.
// The commands to write, both progress values, the log lines and every change of stage go out as
// signals. The exchange fails (and sends nothing more) when the link closes, the image does not
// cover the flash to program, a chunk still reads back wrong after kMaxVerifyRetries retries, or the
// user abandons it; Finished and Failed are final.
class BootloaderExchange : public QObject {
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
    // Both progress values run from 0 to this: the application region, then the parameter page.
    static constexpr int kProgressMaximum = 0x3E000;
    // A chunk that reads back wrong is requested this many more times before the upgrade fails.
    static constexpr int kMaxVerifyRetries = 3;
    static constexpr int kExitCommands = 5;

    // The reader is not owned and must outlive the exchange.
    explicit BootloaderExchange(IFirmwareReader* firmwareReader, QObject* parent = nullptr);

    // Checks that the image covers both regions and that a press is attached; fails at once when
    // either does not hold. True when the press may now be asked to enter its bootloader: the
    // exchange then waits for it.
    bool start(bool pressAttached);
    // One line received from the press, without its line end.
    void receive(const QString& line);
    // One step of the clock: called every kTickMs while the exchange runs.
    void tick();
    // The link to the press is gone: the exchange fails unless it has already finished.
    void linkClosed();
    // The user gives up on the upgrade: it fails unless it has already finished or failed.
    void abandon();

    Stage stage() const { return m_stage; }
    // Why the exchange failed; empty unless stage() is Failed.
    QString failureReason() const { return m_failureReason; }
    // From the start of programming to the last exit command: ended there, the press may not start.
    bool isUnderWay() const { return m_stage >= ProgrammingApplication && m_stage <= StartingApplication; }
    int programProgress() const { return m_programProgress; }
    int verifyProgress() const { return m_verifyProgress; }

    // The progress value for flash address `address`: the application region fills the range up to
    // 0x3D000, the parameter page the last 0x1000.
    static int progressValue(int address);

signals:
    // One command line for the press, with its line feed.
    void commandReady(const QByteArray& command);
    void programProgressChanged(int value);
    void verifyProgressChanged(int value);
    // A step worth showing the user; the run's log has it already.
    void logged(const QString& text);
    // An error worth showing the user; the run's log has it already.
    void errorLogged(const QString& text);
    // Emitted after the change, and for Failed after the reason has been logged.
    void stageChanged(BootloaderExchange::Stage stage);

private:
    void setStage(Stage stage);
    void setProgramProgress(int value);
    void setVerifyProgress(int value);
    void handleVerifyReply(const BootloaderReply& reply);
    void sendDataChunk();
    void send(QByteArray command);
    void appendLog(const QString& text);
    void appendError(const QString& text);
    // The run's log gets one line per page, not one per command.
    void logPage(int page, const char* what);
    // Stops the exchange for good: no command is sent after this.
    void fail(const QString& reason);

    IFirmwareReader* m_firmwareReader;
    Stage m_stage = WaitingForBootloader;
    int m_address = kApplicationStart;
    PageState m_pageState = WaitingForErase;
    int m_tickCount = 6;
    int m_exitCommandsSent = 0;
    int m_verifyRetries = 0; // mismatches of the chunk at m_address so far
    int m_programProgress = 0;
    int m_verifyProgress = 0;
    QString m_failureReason;
};
