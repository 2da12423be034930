#include "data/GraphModel.h"

#include "data/GraphContainer.h"

#include <QtDebug>

GraphModel::GraphModel(QObject* parent)
    : IGraphModel(parent) {}

GraphModel::~GraphModel() {
    qDebug() << "Deleting GraphModel";
    m_compareContainers.clear();
}

void GraphModel::setActiveSessionContainer(GraphContainer* container) {
    m_activeContainer = container;
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
