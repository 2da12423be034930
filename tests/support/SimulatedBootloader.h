#pragma once

#include "link/IPort.h"

#include <functional>
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QVarLengthArray>

// A press on a port, in memory: its application answers the version request and restarts into the
// bootloader on "$x"; its bootloader programs a 512 KiB flash from the data and page commands,
// answers the CRC and read-back commands from it and starts the application again on "$X".
// Replies are queued and handed to the reader only by deliver(), so a test decides when they
// arrive (and nothing recurses). Each command line is checked strictly: numbers in upper-case
// hexadecimal without leading zeros, the field counts, the offsets; what fails is kept in
// malformed.
class SimulatedBootloader : public IPort {
    Q_OBJECT
public:
    static constexpr int kFlashSize = 0x80000;
    static constexpr int kPageSize = 0x1000;
    static constexpr int kChunkSize = 64;

    // The flash starts with `flash` (the old firmware).
    explicit SimulatedBootloader(QByteArray flash, QObject* parent = nullptr);

    qint64 write(const QByteArray& data) override;
    QByteArray read() override;
    bool isOpen() const override { return m_open; }
    void close() override;

    // Hands every queued reply to the reader at once; false when none was waiting.
    bool deliver();
    // Queues a line as if the press had sent it.
    void queue(const QByteArray& line) { m_pending.append(line); }

    bool inBootloader() const { return m_inBootloader; }
    const QByteArray& flash() const { return m_flash; }

    struct Command {
        int tick; // the test's tick count when the command arrived
        QByteArray line;
    };
    QList<Command> commands;
    QList<QByteArray> malformed;
    // The application region as it was when the CRC was asked for (empty before).
    QByteArray flashAtCrc;
    // Set by the test driver: the number of ticks so far.
    int tick = 0;

    // Behaviour knobs.
    bool announce = true;      // answer "$x" with "$Bootloader"
    bool announceErase = true; // send "$EACK" after "$G" and after each page
    // The replies to the next n commands that start with the key are lost.
    QHash<QByteArray, int> loseRepliesTo;
    // The next n read-backs of the chunk at the key come back with a wrong byte.
    QHash<int, int> badReadBacks;
    // The next n read-backs of the chunk at the key name the following chunk's address.
    QHash<int, int> wrongAddressReadBacks;
    // Flash bytes that never take what is programmed (a worn cell): address -> the value it keeps.
    QHash<int, quint8> stuckBytes;
    // When set, the application streams this line (a sample) samplesPerExit times after each exit
    // command: the one that starts it and those it receives while it runs.
    QByteArray sampleAfterExit;
    int samplesPerExit = 3;
    // Runs after a command has been handled (and its replies queued), e.g. to close the link.
    std::function<void(const QByteArray& line)> afterCommand;

private:
    void handle(const QByteArray& line);
    void handleBootloader(const QVarLengthArray<QByteArrayView, 72>& fields, const QByteArray& line);
    void reply(const QByteArray& line, const QByteArray& command);
    void streamSamples();
    // A number as the bootloader expects it; false (and the line recorded) otherwise.
    bool number(QByteArrayView field, const QByteArray& line, quint32& value);

    QByteArray m_flash;
    QByteArray m_page;
    QByteArray m_input;
    QList<QByteArray> m_pending;
    bool m_open = true;
    bool m_inBootloader = false;
};
