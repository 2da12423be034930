# Sources of press maintenance, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    BootloaderExchange.cpp
    BootloaderExchange.h
    BootloaderReply.cpp
    BootloaderReply.h
    FirmwareReaderFile.cpp
    FirmwareReaderFile.h
    IFirmwareReader.h)
