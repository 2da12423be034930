#include "support/FakePort.h"

namespace {
int g_instances = 0;
}

FakePort::FakePort(QObject* parent)
    : IPort(parent) {
    ++g_instances;
}

FakePort::~FakePort() {
    --g_instances;
}

int FakePort::instances() {
    return g_instances;
}

qint64 FakePort::write(const QByteArray& data) {
    ++m_writeCalls;
    if (!m_open || m_failWrites)
        return 0;
    m_written.append(data);
    return data.size();
}

QByteArray FakePort::read() {
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

void FakePort::close() {
    m_open = false;
    ++m_closeCount;
    emit closed();
}

void FakePort::feed(const QByteArray& bytes) {
    m_input += bytes;
    emit readyRead();
}
