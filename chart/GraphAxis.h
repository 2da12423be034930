#pragma once

#include <QPen>
#include <QValueAxis>

// A value axis whose minor grid lines stay faint (alpha 150) whatever pen a theme gives them.
class GraphAxis : public QValueAxis {
    Q_OBJECT
public:
    static constexpr int kMinorGridAlpha = 150;

    explicit GraphAxis(QObject* parent = nullptr);

private slots:
    void onMinorGridLinePenChanged(const QPen& pen);
};
