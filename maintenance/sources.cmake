# Sources of press maintenance, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    OkMsgBox.cpp
    OkMsgBox.h)
