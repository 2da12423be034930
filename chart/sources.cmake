# Sources of the chart and legend, part of zelpress_core (included from the root CMakeLists.txt).
zelpress_core_sources(
    GraphAxis.cpp
    GraphAxis.h
    GraphChart.cpp
    GraphChart.h
    GraphSeries.cpp
    GraphSeries.h
    GraphView.cpp
    GraphView.h
    GraphVisualization.cpp
    GraphVisualization.h)
