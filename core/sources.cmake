# Sources of the ground every layer stands on: settings, file system, message boxes, logging, command
# line and units; part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    CommandLine.cpp
    CommandLine.h
    FileDialog.cpp
    FileDialog.h
    FileSystem.cpp
    FileSystem.h
    IFileDialog.h
    IFileSystem.h
    IMessageBoxes.h
    Logging.cpp
    Logging.h
    MessageBoxes.cpp
    MessageBoxes.h
    OkMsgBox.cpp
    OkMsgBox.h
    Settings.cpp
    Settings.h
    SettingsStore.cpp
    SettingsStore.h
    Units.h)
