# Sources of press maintenance, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    BootloaderReply.cpp
    BootloaderReply.h
    FirmwareReaderFile.cpp
    FirmwareReaderFile.h
    IFirmwareReader.h)
