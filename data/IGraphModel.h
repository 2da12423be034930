#pragma once

#include <QObject>

class GraphContainer;

// What the rest of the program sees of the graph model: the announcement of comparison containers.
class IGraphModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void compareContainerAdded(GraphContainer* container);
};
