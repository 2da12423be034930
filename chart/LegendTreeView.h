#pragma once

#include <QTreeView>

// The legend's tree: fixed column sizing, sorting only on columns whose values order meaningfully,
// visibility toggled by one click on the eye, and a show/close bar in every comparison file's row.
class LegendTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit LegendTreeView(QWidget* parent = nullptr);

    // The standard set-up, then the header and the rows of the containers already in the model.
    void setModel(QAbstractItemModel* model) override;

    // Opens the editor of an editable cell, as if every edit trigger applied; false without a word for
    // cells that are not editable or when the view's own delayed edit of that click is already pending.
    bool openEditor(const QModelIndex& index) { return edit(index, AllEditTriggers, nullptr); }

    // The last accepted sort indicator (Title ascending after a model is set).
    int storedSortColumn() const { return m_sortColumn; }
    Qt::SortOrder storedSortOrder() const { return m_sortOrder; }

public slots:
    // A click on a trace's Visibility cell flips that trace's visibility through the model.
    void onItemClicked(const QModelIndex& index);

protected slots:
    void rowsInserted(const QModelIndex& parent, int first, int last) override;

private:
    void setUpHeader();
    void setUpContainerRow(int row);
    void onSortIndicatorChanged(int section, Qt::SortOrder order);
    void setContainerVisible(const QPersistentModelIndex& containerRow, bool visible);

    int m_sortColumn = 3;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
