#pragma once

#include <QWidget>

class QToolButton;

// The small bar in a comparison file's legend row: an eye that shows or hides all of the file's traces
// and a cross that closes the file.
class GraphContainerItemMenu : public QWidget {
    Q_OBJECT
public:
    explicit GraphContainerItemMenu(QWidget* parent = nullptr);

    // The state the eye last applied; true at construction, not read back from the traces.
    bool isVisibleState() const { return m_visible; }

signals:
    void closeClicked();
    void visibilityChanged(bool visible);

public slots:
    // Flips the state, shows it on the eye and announces it.
    void onVisibilityToggle();

private:
    bool m_visible = true;
    QToolButton* m_visibilityBtn = nullptr;
    QToolButton* m_closeBtn = nullptr;
};
