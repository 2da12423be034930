#pragma once

#include <QModelIndex>
#include <QWidget>

class LegendTreeView;
class QAbstractItemModel;
class QItemSelectionModel;
class QToolButton;

// The legend panel beside the chart: the legend tree and a row of three buttons whose actions the main
// window sets (Renumber, Remove, Edit).
class GraphLegend : public QWidget {
    Q_OBJECT
public:
    explicit GraphLegend(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model);
    void setSelectionModel(QItemSelectionModel* selectionModel);

    LegendTreeView* treeView() const { return m_treeView; }
    QToolButton* renumberTracesButton() const { return m_renumberTracesButton; }
    QToolButton* removeGraphButton() const { return m_removeGraphButton; }
    QToolButton* editGraphButton() const { return m_editGraphButton; }

    // Shows or hides a legend column (a SessionModel::Columns value); the model is not touched.
    void setColumnVisible(int column, bool visible);
    // The tree header's current sort indicator.
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;

signals:
    void itemDoubleClicked(const QModelIndex& index);

private:
    void onTreeClicked(const QModelIndex& index);

    LegendTreeView* m_treeView = nullptr;
    QToolButton* m_renumberTracesButton = nullptr;
    QToolButton* m_removeGraphButton = nullptr;
    QToolButton* m_editGraphButton = nullptr;
};
