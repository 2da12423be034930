# Sources of press maintenance, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    AdvancedDlg.cpp
    AdvancedDlg.h
    BootloaderReply.cpp
    BootloaderReply.h
    DialogBootload.cpp
    DialogBootload.h
    FirmwareReaderFile.cpp
    FirmwareReaderFile.h
    IFirmwareReader.h
    OkMsgBox.cpp
    OkMsgBox.h
    ProgressDialog.cpp
    ProgressDialog.h)
