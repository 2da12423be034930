#include "support/PressFixture.h"

#include "link/MotorReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSignalSpy>
#include <QtTest>

PressFixture::PressFixture()
    : protocol(std::make_unique<Protocol>())
    , port(new FakePort) {
    protocol->setPort(port);
    renewSession();
}

PressFixture::~PressFixture() {
    session.reset();
    protocol.reset();
    PressLines::flushDeferredDeletes();
}

void PressFixture::renewSession() {
    session = std::make_unique<Session>(protocol.get(), &settings, &boxes);
}

void PressFixture::startAndZero(int zero) {
    session->init();
    QVERIFY(session->isInitialized());
    session->calibrateZeroWeight();
    port->feed(PressLines::samples(50, 165, zero));
    QVERIFY(session->isZeroWeightCalibrated());
    QCOMPARE(session->zeroWeightAdc(), zero);
}

void PressFixture::findXZeroAt(int xZero) {
    QSignalSpy finished(session.get(), &ISession::procedureFinished);
    session->findXZero();
    QTRY_VERIFY(port->written().contains("$G,100,0\n"));
    // The stroke's end, then the press at rest again.
    port->feed(PressLines::sample(xZero, session->zeroWeightAdc()) +
               PressLines::report(MotorReport::ReachedWeightLimit) +
               PressLines::sample(165, session->zeroWeightAdc()));
    QCOMPARE(finished.count(), 1);
    QVERIFY(session->isXZeroFound());
    QCOMPARE(session->xZeroPosition(), xZero);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    boxes.boxes.clear();
}

void PressFixture::startInBootloader() {
    port->feed("$Bootloader\n");
    renewSession();
    session->init();
}

namespace PressLines {

QByteArray sample(int position, int value) {
    return "$R," + QByteArray::number(position) + ',' + QByteArray::number(value) + '\n';
}

QByteArray samples(int count, int position, int value) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += sample(position, value);
    return bytes;
}

QByteArray report(int code) {
    return "$D," + QByteArray::number(code) + '\n';
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace PressLines
