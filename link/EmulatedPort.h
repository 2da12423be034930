#pragma once

#include "link/IPort.h"

#include <QTimer>

// A press inside the program: streams idle samples, answers the version request and plays a
// recorded stroke on a Go command. Delivers its text in chunks every 250 ms; a long scripted run may
// ask for a shorter interval, the program never does.
class EmulatedPort : public IPort {
    Q_OBJECT
public:
    static constexpr int kTickMs = 250;
    static constexpr quint32 kIdleChunkSize = 100;
    static constexpr quint32 kStrokeChunkSize = 500;
    static constexpr int kStatusLinesAfterStroke = 16;

    EmulatedPort(const QString& portName, QObject* parent = nullptr, int tickMs = kTickMs);

    qint64 write(const QByteArray& data) override;
    QByteArray read() override;
    bool isOpen() const override { return m_open; }
    void close() override;

    // The sample lines of one playback of a recording (":/ZelPress/..."), with noise and checksums.
    static QByteArray playback(const QString& resourcePath);

private slots:
    void onDataEmitTimer();

private:
    QTimer m_emitTimer;
    QByteArray m_output;
    QByteArray m_script;
    bool m_open = false;
    quint32 m_chunkSize = kIdleChunkSize;
};
