#pragma once

#include <QObject>

class GraphContainer;

// What the chart, the legend and the rest of the program see of the graph model: the active
// container and the announcement of comparison containers.
class IGraphModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The container that receives new strokes; none before one is set. Not owned by the caller.
    virtual GraphContainer* activeContainer() const = 0;

signals:
    void compareContainerAdded(GraphContainer* container);
};
