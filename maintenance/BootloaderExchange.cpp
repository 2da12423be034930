#include "maintenance/BootloaderExchange.h"

#include "maintenance/BootloaderReply.h"
#include "maintenance/IFirmwareReader.h"

#include <QDebug>

namespace {

// Upper-case hexadecimal without leading zeros, as the bootloader reads its numbers.
void appendHex(QByteArray& text, quint32 value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[8];
    int count = 0;
    do {
        digits[count++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count > 0)
        text.append(digits[--count]);
}

QByteArray hex(quint32 value) {
    QByteArray text;
    appendHex(text, value);
    return text;
}

} // namespace

BootloaderExchange::BootloaderExchange(IFirmwareReader* firmwareReader, QObject* parent)
    : QObject(parent)
    , m_firmwareReader(firmwareReader) {}

bool BootloaderExchange::start(bool pressAttached) {
    // Checked before the press leaves its application: a short image would only be noticed halfway
    // through programming, with the old firmware already erased.
    const auto covers = [this](int start, int end) {
        return m_firmwareReader && m_firmwareReader->read(start, end - start).size() == end - start;
    };
    if (!covers(kApplicationStart, kApplicationEnd) || !covers(kParameterPageStart, kParameterPageEnd)) {
        fail(tr("The firmware image is incomplete."));
        return false;
    }
    if (!pressAttached) {
        fail(tr("Press not connected."));
        return false;
    }
    return true;
}

int BootloaderExchange::progressValue(int address) {
    if (address < kApplicationStart)
        return 0;
    if (address < kApplicationEnd)
        return address - kApplicationStart;
    // The parameter page continues where the application region ended, including its end address,
    // so the value does not step back when the last chunk of the page is acknowledged.
    if (address >= kParameterPageStart && address <= kParameterPageEnd)
        return address - kParameterPageStart + (kApplicationEnd - kApplicationStart);
    return kApplicationEnd - kApplicationStart;
}

void BootloaderExchange::linkClosed() {
    if (m_stage == Failed)
        return;
    if (m_stage == Finished) {
        // Everything has been sent; the restarted press may well reconnect.
        qInfo() << "Firmware upgrade: the link closed after the upgrade completed";
        return;
    }
    fail(tr("Connection to the press lost."));
}

void BootloaderExchange::abandon() {
    // Also while still waiting for the bootloader: nothing more is sent.
    if (m_stage != Finished && m_stage != Failed)
        fail(tr("Firmware upgrade aborted."));
}

void BootloaderExchange::setStage(Stage stage) {
    m_stage = stage;
    emit stageChanged(stage);
}

void BootloaderExchange::setProgramProgress(int value) {
    if (value == m_programProgress)
        return;
    m_programProgress = value;
    emit programProgressChanged(value);
}

void BootloaderExchange::setVerifyProgress(int value) {
    if (value == m_verifyProgress)
        return;
    m_verifyProgress = value;
    emit verifyProgressChanged(value);
}

void BootloaderExchange::fail(const QString& reason) {
    m_stage = Failed;
    m_failureReason = reason;
    appendError(reason);
    appendError(tr("Firmware upgrade failed."));
    emit stageChanged(Failed);
}

void BootloaderExchange::appendLog(const QString& text) {
    qInfo() << "Firmware upgrade:" << text;
    emit logged(text);
}

void BootloaderExchange::appendError(const QString& text) {
    qWarning() << "Firmware upgrade:" << text;
    emit errorLogged(text);
}

void BootloaderExchange::logPage(int page, const char* what) {
    qInfo().noquote() << "Firmware upgrade: page" << QString::fromLatin1(hex(quint32(page))) << what;
}

void BootloaderExchange::send(QByteArray command) {
    if (m_stage == Failed)
        return;
    if (!command.endsWith('\n'))
        command.append('\n');
    emit commandReady(command);
}

void BootloaderExchange::sendDataChunk() {
    const QByteArray data = m_firmwareReader->read(m_address, kChunkSize);
    if (data.size() != kChunkSize) {
        fail(tr("The firmware image is incomplete."));
        return;
    }
    QByteArray line;
    line.reserve(4 + 4 + kChunkSize * 3 + 1);
    line.append("$D,");
    appendHex(line, quint32(m_address % kPageSize));
    for (const char byte : data) {
        line.append(',');
        appendHex(line, quint8(byte));
    }
    line.append('\n');
    send(line);
}

void BootloaderExchange::tick() {
    switch (m_stage) {
    case WaitingForBootloader:
        m_address = kApplicationStart;
        m_pageState = WaitingForErase;
        m_tickCount = m_tickCount < 1 ? m_tickCount + 1 : 0;
        break;
    case ProgrammingApplication:
    case ProgrammingParameters:
        // A page whose erase is not acknowledged is written after four ticks anyway.
        if (m_pageState == WaitingForErase && m_tickCount >= 4) {
            m_pageState = SendingData;
            m_tickCount = 0;
        }
        if (m_pageState == SendingData && m_tickCount >= 4) {
            m_tickCount = 0;
            sendDataChunk();
            if (m_stage == Failed)
                return;
        }
        if (m_pageState == PageFull && m_tickCount > 17) {
            m_tickCount = 0;
            if (m_stage == ProgrammingParameters) {
                appendLog(tr("Calculating CRC..."));
                send("$C," + hex(kApplicationStart) + ',' + hex(kApplicationEnd));
            } else {
                send("$P," + hex(quint32(m_address - kPageSize)) + ',' + hex(kPageSize));
            }
        } else if (m_pageState == CrcCalculated && m_stage == ProgrammingParameters && m_tickCount > 17) {
            m_tickCount = 0;
            send("$P," + hex(quint32(m_address - kPageSize)) + ',' + hex(kPageSize));
        }
        ++m_tickCount;
        break;
    case Verifying:
        if (m_tickCount > 3) {
            m_tickCount = 0;
            send("$V," + hex(quint32(m_address)));
        }
        ++m_tickCount;
        break;
    case StartingApplication:
        if (m_tickCount > 3) {
            m_tickCount = 0;
            send("$X");
            if (m_stage == Failed)
                return;
            if (m_exitCommandsSent == 0) {
                appendLog(tr("Software update complete"));
                appendLog(tr("Starting application..."));
            }
            if (++m_exitCommandsSent == kExitCommands) {
                appendLog(tr("Requesting version..."));
                // Finished before asking: the application is starting, whatever the link does now.
                setStage(Finished);
            }
        }
        ++m_tickCount;
        break;
    case Finished:
    case Failed:
        break;
    }
}

void BootloaderExchange::receive(const QString& line) {
    if (m_stage == Failed)
        return;
    // The line buffer keeps at most 1000 bytes; a longer reply is cut there.
    const BootloaderReply reply(line);
    const QByteArray& token = reply.token();
    const bool programming = m_stage == ProgrammingApplication || m_stage == ProgrammingParameters;

    if (m_stage == WaitingForBootloader && token == "$Bootloader") {
        send("$G");
        if (m_stage == Failed) // the link closed while writing
            return;
        appendLog(tr("Bootloader found"));
        appendLog(tr("Programming firmware..."));
        setStage(ProgrammingApplication);
    } else if (m_stage == WaitingForBootloader && token == "$GACK") {
        appendLog(tr("Captured bootloader"));
        m_address = kApplicationStart;
        m_tickCount = 0;
        setStage(ProgrammingApplication);
    } else if (programming && m_pageState == WaitingForErase && token == "$EACK") {
        m_pageState = SendingData;
        m_tickCount = 4;
    } else if (programming && m_pageState == SendingData && token == "$DACK") {
        m_tickCount = 4;
        m_address += kChunkSize;
        if (m_address % kPageSize == 0) {
            m_pageState = PageFull;
            m_tickCount = 18;
        }
        setProgramProgress(progressValue(m_address));
        tick();
    } else if (m_stage == ProgrammingApplication && m_pageState == PageFull && token == "$PACK") {
        logPage(m_address - kPageSize, "programmed");
        m_pageState = WaitingForErase;
        m_tickCount = 4;
        if (m_address >= kApplicationEnd) {
            appendLog(tr("Finished programming firmware"));
            appendLog(tr("Programming MBR parameters..."));
            m_address = kParameterPageStart;
            setStage(ProgrammingParameters);
        }
        tick();
    } else if (m_stage == ProgrammingParameters && m_pageState == PageFull && token == "$CACK") {
        appendLog(tr("CRC calculated"));
        m_pageState = CrcCalculated;
        m_tickCount = 18;
        tick();
    } else if (m_stage == ProgrammingParameters && m_pageState == CrcCalculated && token == "$PACK") {
        logPage(m_address - kPageSize, "programmed");
        appendLog(tr("Finished programming MBR parameters"));
        appendLog(tr("Verifying application..."));
        m_pageState = WaitingForErase;
        m_tickCount = 4;
        m_address = kApplicationStart;
        setProgramProgress(kProgressMaximum);
        setStage(Verifying);
        tick();
    } else if (m_stage == Verifying && reply.isReadBack()) {
        handleVerifyReply(reply);
    }
}

void BootloaderExchange::handleVerifyReply(const BootloaderReply& reply) {
    const quint32 chunk = reply.address();
    if (chunk != quint32(m_address))
        return;
    const QByteArray image = m_firmwareReader->read(m_address, kChunkSize);
    if (image.size() != kChunkSize) {
        fail(tr("The firmware image is incomplete."));
        return;
    }
    bool matches = true;
    if (m_address < kUncomparedStart) {
        for (int k = 0; k < kChunkSize && matches; ++k)
            matches = reply.bytes()[std::size_t(k)] == quint8(image.at(k));
    }
    m_tickCount = 4;
    if (matches) {
        m_verifyRetries = 0;
        m_address += kChunkSize;
        if (m_address % kPageSize == 0)
            logPage(m_address - kPageSize, "verified");
        setVerifyProgress(progressValue(m_address));
        if (m_address >= kVerifyEnd) {
            appendLog(tr("Verify successful"));
            setVerifyProgress(kProgressMaximum);
            setStage(StartingApplication);
        } else if (m_address >= kApplicationEnd && m_address < kParameterPageStart) {
            // Verification jumps from the end of the application to the parameter page.
            m_address = kParameterPageStart;
            setVerifyProgress(progressValue(kApplicationEnd));
        }
    } else {
        appendError(tr("Verify failed"));
        if (++m_verifyRetries > kMaxVerifyRetries) {
            fail(tr("The press's memory does not match the firmware image at %1.")
                     .arg(QString::fromLatin1(hex(quint32(m_address)))));
            return;
        }
    }
    tick();
}
