#pragma once

#include <QHeaderView>

// A header whose section titles end in an ellipsis where a section is narrower than its title, whatever
// the style does with a title that does not fit.
class ElidingHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit ElidingHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};
