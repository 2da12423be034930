# Sources of the press link, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    AutoConnection.cpp
    AutoConnection.h
    Crc16.cpp
    Crc16.h
    EmulatedPort.cpp
    EmulatedPort.h
    IPort.h
    IProtocol.h
    MotorReport.h
    PortCandidate.h
    Protocol.cpp
    Protocol.h
    UsbPort.cpp
    UsbPort.h)
