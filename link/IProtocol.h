#pragma once

#include <QObject>

class IPort;

// What a port opener needs of the protocol: taking over a port.
class IProtocol {
public:
    virtual ~IProtocol() = default;
    // Drops the attached port (if any) and takes ownership of this one.
    virtual void setPort(IPort* port) = 0;
};

#define IProtocol_iid "com.zelpress.IProtocol"
Q_DECLARE_INTERFACE(IProtocol, IProtocol_iid)
