# Sources of the chart and legend, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    SessionModel.cpp
    SessionModel.h)
