#include "dialogs/DialogBootload.h"

#include "core/MessageBoxes.h"
#include "link/IPort.h"
#include "link/Protocol.h"
#include "maintenance/BootloaderReply.h"
#include "maintenance/FirmwareReaderFile.h"

#include <QDebug>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

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

DialogBootload::DialogBootload(IFirmwareReader* firmwareReader, Protocol* protocol, QWidget* parent,
                               IMessageBoxes* messageBoxes, Ticks ticks)
    : QDialog(parent)
    , m_firmwareReader(firmwareReader)
    , m_protocol(protocol)
    , m_messageBoxes(messageBoxes) {
    if (!m_messageBoxes) {
        m_ownMessageBoxes = std::make_unique<MessageBoxes>(this);
        m_messageBoxes = m_ownMessageBoxes.get();
    }
    buildInterface();
    connect(&m_tickTimer, &QTimer::timeout, this, &DialogBootload::Timeout);
    if (ticks == Ticks::Timer)
        m_tickTimer.start(kTickMs);
    setWindowTitle(tr("Updating Firmware"));
    if (m_protocol) {
        connect(m_protocol, &Protocol::unknownCommandReceived, this, &DialogBootload::GotMessage);
        // Once the link is gone the port search may attach another device to the same protocol:
        // nothing of the upgrade may reach it.
        connect(m_protocol, &Protocol::closed, this, &DialogBootload::onProtocolClosed);
        connect(m_protocol, &QObject::destroyed, this, &DialogBootload::onProtocolClosed);
    }
    for (QProgressBar* bar : {m_progressBarLoad, m_progressBarVerify}) {
        bar->setRange(0, kProgressMaximum);
        bar->setValue(0);
    }

    // Checked before the press leaves its application: a short image would only be noticed halfway
    // through programming, with the old firmware already erased.
    const auto covers = [this](int start, int end) {
        return m_firmwareReader && m_firmwareReader->read(start, end - start).size() == end - start;
    };
    if (!covers(kApplicationStart, kApplicationEnd) || !covers(kParameterPageStart, kParameterPageEnd)) {
        fail(tr("The firmware image is incomplete."));
        return;
    }
    if (!m_protocol || !m_protocol->port() || !m_protocol->port()->isOpen()) {
        fail(tr("Press not connected."));
        return;
    }
    // Thousands of commands and replies follow; the dialog logs each page and every error instead.
    m_rawExchangeLoggedBefore = m_protocol->isRawExchangeLogged();
    m_protocol->setRawExchangeLogged(false);
    m_quietExchange = true;
    m_protocol->enterBootloader();
}

DialogBootload::~DialogBootload() {
    endQuietExchange();
}

void DialogBootload::endQuietExchange() {
    if (m_quietExchange && m_protocol)
        m_protocol->setRawExchangeLogged(m_rawExchangeLoggedBefore);
    m_quietExchange = false;
}

void DialogBootload::runUpgrade(Protocol* protocol, QWidget* parent) {
    FirmwareReaderFile reader(QStringLiteral(":/update.bin"));
    // The parent may go while the dialog runs (the window closing); the guard then sees it gone.
    QPointer<DialogBootload> dialog = new DialogBootload(&reader, protocol, parent);
    dialog->exec();
    delete dialog.data();
}

int DialogBootload::progressValue(int address) {
    if (address < kApplicationStart)
        return 0;
    if (address < kApplicationEnd)
        return address - kApplicationStart;
    // The parameter page continues where the application region ended, including its end address,
    // so the bar does not step back when the last chunk of the page is acknowledged.
    if (address >= kParameterPageStart && address <= kParameterPageEnd)
        return address - kParameterPageStart + (kApplicationEnd - kApplicationStart);
    return kApplicationEnd - kApplicationStart;
}

void DialogBootload::buildInterface() {
    resize(424, 374);
    auto* verticalLayout = named(new QVBoxLayout(this), "verticalLayout");
    verticalLayout->addWidget(named(new QLabel(tr("Program"), this), "programLabel"));
    m_progressBarLoad = named(new QProgressBar(this), "progressBarLoad");
    verticalLayout->addWidget(m_progressBarLoad);
    verticalLayout->addWidget(named(new QLabel(tr("Verify"), this), "verifyLabel"));
    m_progressBarVerify = named(new QProgressBar(this), "progressBarVerify");
    verticalLayout->addWidget(m_progressBarVerify);
    verticalLayout->addWidget(named(new QLabel(tr("Log"), this), "logLabel"));
    m_bootloadLogEdit = named(new QPlainTextEdit(this), "bootloadLogEdit");
    m_bootloadLogEdit->setReadOnly(true);
    verticalLayout->addWidget(m_bootloadLogEdit);
    m_powerWarningLabel =
        named(new QLabel(tr("Do not turn off power or close this window while the firmware upgrade is in "
                            "progress. Firmware upgrading can take up to 10 minutes."),
                         this),
              "powerWarningLabel");
    m_powerWarningLabel->setWordWrap(true);
    verticalLayout->addWidget(m_powerWarningLabel);
}

void DialogBootload::reject() {
    if (m_closedItself)
        return;
    if (isUnderWay()) {
        const QPointer<DialogBootload> self(this);
        const QMessageBox::StandardButton answer =
            m_messageBoxes->question(tr("Abort the firmware upgrade?"),
                                     tr("The press may not start until a firmware upgrade completes."),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        // The exchange went on while the box was open: the dialog may have closed itself or gone.
        if (!self || m_closedItself || answer != QMessageBox::Yes)
            return;
    }
    // Closed before it completed, also while still waiting for the bootloader: nothing more is sent.
    if (m_stage != Finished && m_stage != Failed)
        fail(tr("Firmware upgrade aborted."));
    QDialog::reject();
}

void DialogBootload::onProtocolClosed() {
    if (m_stage == Failed)
        return;
    if (m_stage == Finished) {
        // Everything has been sent; the restarted press may well reconnect.
        qInfo() << "Firmware upgrade: the link closed after the upgrade completed";
        return;
    }
    fail(tr("Connection to the press lost."));
}

void DialogBootload::fail(const QString& reason) {
    m_stage = Failed;
    m_failureReason = reason;
    m_tickTimer.stop();
    endQuietExchange();
    if (m_protocol)
        m_protocol->disconnect(this);
    appendError(reason);
    appendError(tr("Firmware upgrade failed."));
    m_powerWarningLabel->setText(tr("Firmware upgrade failed: %1").arg(reason));
}

void DialogBootload::appendLog(const QString& text) {
    qInfo() << "Firmware upgrade:" << text;
    m_bootloadLogEdit->appendPlainText(text);
}

void DialogBootload::appendError(const QString& text) {
    qWarning() << "Firmware upgrade:" << text;
    m_bootloadLogEdit->appendPlainText(text);
}

void DialogBootload::logPage(int page, const char* what) {
    qInfo().noquote() << "Firmware upgrade: page" << QString::fromLatin1(hex(quint32(page))) << what;
}

void DialogBootload::send(QByteArray command) {
    if (command.isEmpty() || m_stage == Failed || !m_protocol)
        return;
    if (!command.endsWith('\n'))
        command.append('\n');
    m_protocol->sendRaw(command);
}

void DialogBootload::sendDataChunk() {
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

void DialogBootload::Timeout() {
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
                m_stage = Finished;
                endQuietExchange();
                if (m_protocol)
                    m_protocol->requestVersion();
            }
        }
        ++m_tickCount;
        break;
    case Finished:
        if (m_tickCount == kFinishedTicks) {
            m_closedItself = true;
            m_tickTimer.stop();
            accept();
        }
        ++m_tickCount;
        break;
    case Failed:
        break;
    }
}

void DialogBootload::GotMessage(QString Msg) {
    if (m_stage == Failed)
        return;
    // The line buffer keeps at most 1000 bytes; a longer reply is cut there.
    const BootloaderReply reply(Msg);
    const QByteArray& token = reply.token();
    const bool programming = m_stage == ProgrammingApplication || m_stage == ProgrammingParameters;

    if (m_stage == WaitingForBootloader && token == "$Bootloader") {
        send("$G");
        if (m_stage == Failed) // the link closed while writing
            return;
        appendLog(tr("Bootloader found"));
        appendLog(tr("Programming firmware..."));
        m_stage = ProgrammingApplication;
    } else if (m_stage == WaitingForBootloader && token == "$GACK") {
        appendLog(tr("Captured bootloader"));
        m_stage = ProgrammingApplication;
        m_address = kApplicationStart;
        m_tickCount = 0;
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
        m_progressBarLoad->setValue(progressValue(m_address));
        Timeout();
    } else if (m_stage == ProgrammingApplication && m_pageState == PageFull && token == "$PACK") {
        logPage(m_address - kPageSize, "programmed");
        if (m_address >= kApplicationEnd) {
            appendLog(tr("Finished programming firmware"));
            appendLog(tr("Programming MBR parameters..."));
            m_stage = ProgrammingParameters;
            m_address = kParameterPageStart;
        }
        m_pageState = WaitingForErase;
        m_tickCount = 4;
        Timeout();
    } else if (m_stage == ProgrammingParameters && m_pageState == PageFull && token == "$CACK") {
        appendLog(tr("CRC calculated"));
        m_pageState = CrcCalculated;
        m_tickCount = 18;
        Timeout();
    } else if (m_stage == ProgrammingParameters && m_pageState == CrcCalculated && token == "$PACK") {
        logPage(m_address - kPageSize, "programmed");
        appendLog(tr("Finished programming MBR parameters"));
        appendLog(tr("Verifying application..."));
        m_stage = Verifying;
        m_pageState = WaitingForErase;
        m_tickCount = 4;
        m_address = kApplicationStart;
        m_progressBarLoad->setValue(kProgressMaximum);
        Timeout();
    } else if (m_stage == Verifying && reply.isReadBack()) {
        handleVerifyReply(reply);
    }
}

void DialogBootload::handleVerifyReply(const BootloaderReply& reply) {
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
        m_progressBarVerify->setValue(progressValue(m_address));
        if (m_address >= kVerifyEnd) {
            m_stage = StartingApplication;
            appendLog(tr("Verify successful"));
            m_progressBarVerify->setValue(kProgressMaximum);
        } else if (m_address >= kApplicationEnd && m_address < kParameterPageStart) {
            // Verification jumps from the end of the application to the parameter page.
            m_address = kParameterPageStart;
            m_progressBarVerify->setValue(progressValue(kApplicationEnd));
        }
    } else {
        appendError(tr("Verify failed"));
        if (++m_verifyRetries > kMaxVerifyRetries) {
            fail(tr("The press's memory does not match the firmware image at %1.")
                     .arg(QString::fromLatin1(hex(quint32(m_address)))));
            return;
        }
    }
    Timeout();
}
