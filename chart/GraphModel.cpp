#include "chart/GraphModel.h"

#include "chart/SessionModel.h"
#include "data/GraphContainer.h"

#include <QtDebug>

GraphModel::GraphModel(QObject* parent)
    : IGraphModel(parent)
    , m_sessionModel(new SessionModel(this)) {}

GraphModel::~GraphModel() {
    qDebug() << "Deleting GraphModel";
    m_compareContainers.clear();
}

void GraphModel::setActiveSessionContainer(GraphContainer* container) {
    // Handing the same container over again would give it a second legend row.
    if (m_activeContainer == container)
        return;
    m_activeContainer = container;
    if (container)
        m_sessionModel->addContainer(container);
}

void GraphModel::setCompareColors(const QList<QColor>& colors) {
    // An empty palette would make the modulo below divide by zero.
    m_compareColors = colors.isEmpty() ? QList<QColor>{QColor(0, 0, 255)} : colors;
}

void GraphModel::addCompareContainer(GraphContainer* container) {
    if (!container)
        return;
    const auto index =
        static_cast<qsizetype>(m_nextCompareColor % static_cast<quint64>(m_compareColors.size()));
    container->setDefaultGraphColor(m_compareColors.at(index));
    ++m_nextCompareColor;
    m_compareContainers.append(container);
    connect(container, &QObject::destroyed, this,
            [this, container]() { m_compareContainers.removeOne(container); });
    m_sessionModel->addContainer(container);
    emit compareContainerAdded(container);
}

bool GraphModel::isEmpty() const {
    if (!m_compareContainers.isEmpty())
        return false;
    return !m_activeContainer || m_activeContainer->isEmpty();
}

void GraphModel::clear() {
    if (m_activeContainer)
        m_activeContainer->clear();
    for (GraphContainer* container : std::as_const(m_compareContainers))
        container->deleteLater();
    m_compareContainers.clear();
    m_nextCompareColor = 0;
}
