#include "dialogs/DialogBootload.h"

#include "core/MessageBoxes.h"
#include "link/IPort.h"
#include "link/Protocol.h"
#include "maintenance/FirmwareReaderFile.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

} // namespace

DialogBootload::DialogBootload(IFirmwareReader* firmwareReader, Protocol* protocol, QWidget* parent,
                               IMessageBoxes* messageBoxes, Ticks ticks)
    : QDialog(parent)
    , m_exchange(new BootloaderExchange(firmwareReader, this))
    , m_protocol(protocol)
    , m_messageBoxes(messageBoxes) {
    if (!m_messageBoxes) {
        m_ownMessageBoxes = std::make_unique<MessageBoxes>(this);
        m_messageBoxes = m_ownMessageBoxes.get();
    }
    buildInterface();
    connect(&m_tickTimer, &QTimer::timeout, this, &DialogBootload::tick);
    if (ticks == Ticks::Timer)
        m_tickTimer.start(kTickMs);
    setWindowTitle(tr("Updating Firmware"));
    for (QProgressBar* bar : {m_progressBarLoad, m_progressBarVerify}) {
        bar->setRange(0, BootloaderExchange::kProgressMaximum);
        bar->setValue(0);
    }
    connect(m_exchange, &BootloaderExchange::commandReady, this, &DialogBootload::sendCommand);
    connect(m_exchange, &BootloaderExchange::programProgressChanged, m_progressBarLoad,
            &QProgressBar::setValue);
    connect(m_exchange, &BootloaderExchange::verifyProgressChanged, m_progressBarVerify,
            &QProgressBar::setValue);
    connect(m_exchange, &BootloaderExchange::logged, this, &DialogBootload::appendLog);
    connect(m_exchange, &BootloaderExchange::errorLogged, this, &DialogBootload::appendLog);
    connect(m_exchange, &BootloaderExchange::stageChanged, this, &DialogBootload::onStageChanged);
    if (m_protocol) {
        connect(m_protocol, &Protocol::unknownCommandReceived, m_exchange, &BootloaderExchange::receive);
        // Once the link is gone the port search may attach another device to the same protocol:
        // nothing of the upgrade may reach it.
        connect(m_protocol, &Protocol::closed, m_exchange, &BootloaderExchange::linkClosed);
        connect(m_protocol, &QObject::destroyed, m_exchange, &BootloaderExchange::linkClosed);
    }

    if (!m_exchange->start(m_protocol && m_protocol->port() && m_protocol->port()->isOpen()))
        return;
    // Thousands of commands and replies follow; the exchange logs each page and every error instead.
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
    if (m_exchange->isUnderWay()) {
        const QPointer<DialogBootload> self(this);
        const QMessageBox::StandardButton answer =
            m_messageBoxes->question(tr("Abort the firmware upgrade?"),
                                     tr("The press may not start until a firmware upgrade completes."),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        // The exchange went on while the box was open: the dialog may have closed itself or gone.
        if (!self || m_closedItself || answer != QMessageBox::Yes)
            return;
    }
    m_exchange->abandon();
    QDialog::reject();
}

void DialogBootload::tick() {
    if (m_exchange->stage() != Finished) {
        m_exchange->tick();
        return;
    }
    if (++m_finishedTicks == kFinishedTicks) {
        m_closedItself = true;
        m_tickTimer.stop();
        accept();
    }
}

void DialogBootload::sendCommand(const QByteArray& command) {
    if (m_protocol)
        m_protocol->sendRaw(command);
}

void DialogBootload::onStageChanged(BootloaderExchange::Stage stage) {
    if (stage == Finished) {
        endQuietExchange();
        if (m_protocol)
            m_protocol->requestVersion();
    } else if (stage == Failed) {
        m_tickTimer.stop();
        endQuietExchange();
        if (m_protocol)
            m_protocol->disconnect(m_exchange);
        m_powerWarningLabel->setText(tr("Firmware upgrade failed: %1").arg(m_exchange->failureReason()));
    }
}

void DialogBootload::appendLog(const QString& text) {
    m_bootloadLogEdit->appendPlainText(text);
}
