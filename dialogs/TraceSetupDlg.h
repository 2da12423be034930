#pragma once

#include <QColor>
#include <QDialog>
#include <QPointer>

#include <functional>

class Graph;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QToolButton;

// Edits one trace: name, comment, own colour, velocity, flyer flag and visibility. Ok writes the fields
// to the trace; Cancel leaves it untouched.
class TraceSetupDlg : public QDialog {
    Q_OBJECT
public:
    // Asks the user for a colour starting at the given one; an invalid colour means cancelled.
    using ColorPicker = std::function<QColor(const QColor& initial, QWidget* parent)>;

    // The trace is not owned; the dialog writes nothing once it is gone.
    explicit TraceSetupDlg(Graph* graph, QWidget* parent = nullptr);

    // The colour Ok would give the trace; #0000ff means no colour of its own.
    QColor color() const { return m_color; }
    // Replaces the modal colour dialog used by onSelectColor.
    void setColorPicker(ColorPicker picker);

public slots:
    void onSelectColor();
    void onClearColor();
    void accept() override;

private:
    void showColor(const QColor& color);

    QPointer<Graph> m_graph;
    QColor m_color;
    int m_initialVelocity = 0;
    ColorPicker m_colorPicker;
    QLineEdit* m_nameEdit = nullptr;
    QPlainTextEdit* m_commentEdit = nullptr;
    QLabel* m_colorPreviewFrame = nullptr;
    QToolButton* m_clearColorBtn = nullptr;
    QSpinBox* m_velocitySpinBox = nullptr;
    QCheckBox* m_flyerCheckBox = nullptr;
    QCheckBox* m_showCheckBox = nullptr;
};
