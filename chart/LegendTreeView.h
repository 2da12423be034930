#pragma once

#include <QTreeView>

// The legend's tree: fixed column sizing, sorting only on columns whose values order meaningfully,
// visibility toggled by one click on the eye, and a show/close bar in every comparison file's row.
//
// The text columns are as wide as their widest cell and their header; the trace number column also takes
// whatever room the others leave. No column is ever narrower than its header text: when the panel is
// narrower than the columns, the view scrolls sideways instead. The view measures the text columns
// itself, a row as it arrives or changes, rather than leaving it to the header's content sizing, which
// measures every row again at each layout: on a session of hundreds of traces that was most of a stroke's
// end. Only what can make a column narrower (rows removed, a reset, a new font or style) measures every row,
// once, when the view next lays out its items.
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

    // Lays out the items, measuring every row's text first when something may have narrowed a column.
    void doItemsLayout() override;

public slots:
    // A click on a trace's Visibility cell flips that trace's visibility through the model.
    void onItemClicked(const QModelIndex& index);

protected slots:
    void rowsInserted(const QModelIndex& parent, int first, int last) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    // Also gives the trace number column the room a new viewport width leaves.
    void updateGeometries() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    // Widens the content-sized columns to fit the rows first..last under parent and their children.
    void measureRows(const QModelIndex& parent, int first, int last, const QStyleOptionViewItem& option);
    // Measures every row again (columns may narrow).
    void measureAllRows();
    void markWidthsStale();
    // Gives each content-sized column the width of its widest measured cell or its header.
    void applyWidths();
    // Gives the trace number column the room the other shown columns leave, or its own width if more.
    void fillWithTraceNumber();
    void onSectionResized(int section);

    void setUpHeader();
    void setUpContainerRow(int row);
    void onSortIndicatorChanged(int section, Qt::SortOrder order);
    void setContainerVisible(const QPersistentModelIndex& containerRow, bool visible);

    // The widest cell measured in each column (content-sized columns only).
    QList<int> m_cellWidths;
    bool m_widthsStale = false;
    int m_sortColumn = 3;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
