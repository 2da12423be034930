#pragma once

#include "data/IGraphModel.h"

#include <QColor>
#include <QList>
#include <QPointer>

class SessionModel;

// Holds the active session container and the comparison containers, gives each comparison container the
// next colour of its palette, and owns the legend model that lists them all.
class GraphModel : public IGraphModel {
    Q_OBJECT
public:
    explicit GraphModel(QObject* parent = nullptr);
    ~GraphModel() override;

    // The container that receives new strokes (not owned); the legend model gets its row.
    void setActiveSessionContainer(GraphContainer* container);
    GraphContainer* activeContainer() const override { return m_activeContainer; }
    // The legend model, a child of this model; never none.
    SessionModel* sessionModel() const { return m_sessionModel; }
    QList<GraphContainer*> compareContainers() const { return m_compareContainers; }

    // Replaces the palette of comparison colours; an empty list keeps opaque #0000ff as the only entry.
    void setCompareColors(const QList<QColor>& colors);
    // Gives the container the next palette colour, keeps it until it is destroyed, gives it its legend row
    // and announces it.
    void addCompareContainer(GraphContainer* container);
    // True when there are no comparison containers and the active container (if any) has no traces.
    bool isEmpty() const;

public slots:
    // Clears the active session, deletes every comparison container later and restarts the palette.
    void clear();

private:
    SessionModel* m_sessionModel = nullptr;
    QPointer<GraphContainer> m_activeContainer;
    QList<GraphContainer*> m_compareContainers;
    QList<QColor> m_compareColors{QColor(0, 0, 255)};
    quint64 m_nextCompareColor = 0;
};
