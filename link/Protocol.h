#pragma once

#include "link/IProtocol.h"
#include "link/MotorReport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class IPort;

// The press's ASCII line protocol on top of whatever port is attached: decodes sample, status,
// version and statistics lines, passes every other line on, and writes the press commands.
class Protocol : public QObject, public IProtocol {
    Q_OBJECT
    Q_INTERFACES(IProtocol)
public:
    enum LinkMode { Unknown, Application, Bootloader };
    Q_ENUM(LinkMode)

    // Text kept while waiting for a line feed; beyond this the pending text is dropped.
    static constexpr int kMaxPendingChars = 4096;

    explicit Protocol(QObject* parent = nullptr);
    ~Protocol() override;

    // Drops the attached port (emitting closed()) and takes ownership of this one.
    void setPort(IPort* port) override;
    // Closes and releases the attached port, forgets the link mode and emits closed(); no-op without port.
    void closePort();
    IPort* port() const { return m_port; }

    // Commands; each is written only while a port is attached and open. True when the port took
    // the whole command; false when there is no open port or its write failed.
    bool requestVersion();
    bool requestBleInfo();
    bool enterBootloader();
    bool go(bool auxiliaryStroke);
    bool sendMaxWeight(int n);
    bool sendJamDetectionTime(int ms);
    bool sendRaw(const QByteArray& bytes);

    // While off, raw commands and the lines the protocol does not decode pass without a log line
    // each: a firmware upgrade exchanges thousands of them and logs its own progress and errors.
    // Frames that fail their checksum or do not parse are logged all the same. On by default.
    void setRawExchangeLogged(bool logged) { m_rawExchangeLogged = logged; }
    bool isRawExchangeLogged() const { return m_rawExchangeLogged; }

    bool isCommunicatingWithBootloader() const { return m_linkMode == Bootloader; }
    LinkMode linkMode() const { return m_linkMode; }
    MotorReport::Report lastMotorReport() const { return m_lastMotorReport; }

    // Feeds received bytes through the decoder, as if the port had delivered them.
    void receive(const QByteArray& bytes);
    // Received text still waiting for its line feed; never more than kMaxPendingChars between reads.
    qsizetype pendingChars() const { return m_received.size() - m_readPosition; }

signals:
    void communicatingWithApplication();
    void communicatingWithBootloader();
    void closed();
    void versionReceived(QString version);
    void pointReceived(int position, int value, int current);
    void reportReceived(MotorReport::Report motorReport);
    void unknownCommandReceived(QString command);

public slots:
    void onReadyRead();

private:
    void processLine(const char* begin, const char* end);
    void processFrame(const char* begin, const char* end);
    void handleBody(const char* begin, const char* end);
    bool send(const QByteArray& line);

    IPort* m_port = nullptr;
    QByteArray m_received;
    qsizetype m_readPosition = 0; // start of the text not yet cut into lines
    LinkMode m_linkMode = Unknown;
    MotorReport::Report m_lastMotorReport = MotorReport::None;
    bool m_rawExchangeLogged = true;
};
