# Sources of the chart and legend, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    GraphContainerItemMenu.cpp
    GraphContainerItemMenu.h
    GraphLegend.cpp
    GraphLegend.h
    LegendTreeView.cpp
    LegendTreeView.h
    SessionModel.cpp
    SessionModel.h
    TraceSetupDlg.cpp
    TraceSetupDlg.h)
