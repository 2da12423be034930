#include "chart/GraphLegend.h"

#include "chart/LegendTreeView.h"
#include "chart/SessionModel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMetaEnum>
#include <QSpacerItem>
#include <QtDebug>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kButtonWidth = 80;

// A button at least kButtonWidth wide, and wider when its text (the action's, once the window sets one)
// needs it. Its minimum follows the text, so the panel never squeezes a button below its text.
class LegendButton : public QToolButton {
public:
    using QToolButton::QToolButton;

    QSize sizeHint() const override { return atLeastButtonWidth(QToolButton::sizeHint()); }
    QSize minimumSizeHint() const override { return atLeastButtonWidth(QToolButton::minimumSizeHint()); }

private:
    static QSize atLeastButtonWidth(QSize size) {
        return {std::max(size.width(), kButtonWidth), size.height()};
    }
};

QToolButton* newButton(const QString& objectName, const QString& text, QWidget* parent) {
    auto* button = new LegendButton(parent);
    button->setObjectName(objectName);
    button->setText(text);
    return button;
}

} // namespace

GraphLegend::GraphLegend(QWidget* parent)
    : QWidget(parent) {
    resize(496, 416);

    auto* gridLayout = new QGridLayout(this);
    gridLayout->setSpacing(0);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    auto* container = new QFrame(this);
    container->setObjectName(QStringLiteral("container"));
    container->setFrameShape(QFrame::StyledPanel);
    container->setFrameShadow(QFrame::Raised);
    gridLayout->addWidget(container, 0, 0);

    auto* containerLayout = new QVBoxLayout(container);
    containerLayout->setSpacing(6);
    containerLayout->setContentsMargins(0, 0, 0, 0);

    m_treeView = new LegendTreeView(container);
    m_treeView->setObjectName(QStringLiteral("legendTreeView"));
    m_treeView->setFrameShape(QFrame::NoFrame);
    m_treeView->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    m_treeView->setAlternatingRowColors(true);
    m_treeView->setUniformRowHeights(true);
    m_treeView->setSortingEnabled(true);
    m_treeView->setStyleSheet(QStringLiteral("QHeaderView::section{ border: none; }"));
    containerLayout->addWidget(m_treeView);

    auto* header = new QFrame(container);
    header->setObjectName(QStringLiteral("header"));
    header->setMinimumHeight(25);
    header->setFrameShape(QFrame::StyledPanel);
    header->setFrameShadow(QFrame::Raised);
    containerLayout->addWidget(header);

    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setSpacing(6);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_renumberTracesButton = newButton(QStringLiteral("renumberTracesButton"), tr("Renumber"), header);
    m_removeGraphButton = newButton(QStringLiteral("removeGraphButton"), tr("Remove"), header);
    m_editGraphButton = newButton(QStringLiteral("editGraphButton"), tr("Edit"), header);
    headerLayout->addWidget(m_renumberTracesButton);
    headerLayout->addWidget(m_removeGraphButton);
    headerLayout->addWidget(m_editGraphButton);

    connect(m_treeView, &QAbstractItemView::doubleClicked, this, &GraphLegend::itemDoubleClicked);
    connect(m_treeView, &QAbstractItemView::clicked, this, &GraphLegend::onTreeClicked);
}

void GraphLegend::setModel(QAbstractItemModel* model) {
    m_treeView->setModel(model);
}

void GraphLegend::setSelectionModel(QItemSelectionModel* selectionModel) {
    m_treeView->setSelectionModel(selectionModel);
}

void GraphLegend::setColumnVisible(int column, bool visible) {
    const char* key = QMetaEnum::fromType<SessionModel::Columns>().valueToKey(column);
    qDebug() << (key ? key : "Unknown") << "column" << (visible ? "enabled." : "disabled.");
    m_treeView->setColumnHidden(column, !visible);
}

int GraphLegend::sortColumn() const {
    return m_treeView->header()->sortIndicatorSection();
}

Qt::SortOrder GraphLegend::sortOrder() const {
    return m_treeView->header()->sortIndicatorOrder();
}

void GraphLegend::onTreeClicked(const QModelIndex& index) {
    // One click opens the editor of an editable cell (Velocity). A click on an already selected cell has
    // started the view's own delayed edit, which then opens it.
    if (index.isValid())
        m_treeView->openEditor(index);
}
