#include "dialogs/TraceSetupDlg.h"

#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>
#include <limits>

namespace {

constexpr int kColorButtonWidth = 30;
constexpr int kMaximumVelocity = std::numeric_limits<int>::max();

// The velocity as the spin box can show it: the whole part, within 0 ... int max; 0 for NaN.
int spinBoxVelocity(double velocity) {
    if (std::isnan(velocity) || velocity <= 0.0)
        return 0;
    if (velocity >= static_cast<double>(kMaximumVelocity))
        return kMaximumVelocity;
    return static_cast<int>(velocity);
}

QColor runColorDialog(const QColor& initial, QWidget* parent) {
    QColorDialog dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return QColor();
    return dialog.currentColor();
}

QLabel* newLabel(const QString& objectName, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

} // namespace

TraceSetupDlg::TraceSetupDlg(Graph* graph, QWidget* parent)
    : QDialog(parent)
    , m_graph(graph)
    , m_colorPicker(runColorDialog) {
    setWindowTitle(tr("Setup Trace"));
    resize(249, 321);

    auto* layout = new QGridLayout(this);
    layout->addWidget(newLabel(QStringLiteral("nameLabel"), tr("Name"), this), 0, 0, 1, 3);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    layout->addWidget(m_nameEdit, 1, 0, 1, 3);

    layout->addWidget(newLabel(QStringLiteral("commentLabel"), tr("Comment"), this), 2, 0, 1, 3);
    m_commentEdit = new QPlainTextEdit(this);
    m_commentEdit->setObjectName(QStringLiteral("commentEdit"));
    layout->addWidget(m_commentEdit, 3, 0, 1, 3);

    layout->addWidget(newLabel(QStringLiteral("colorLabel"), tr("Color"), this), 4, 0, 1, 3);
    m_colorPreviewFrame = new QLabel(this);
    m_colorPreviewFrame->setObjectName(QStringLiteral("colorPreviewFrame"));
    m_colorPreviewFrame->setFrameShape(QFrame::StyledPanel);
    m_colorPreviewFrame->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_colorPreviewFrame, 5, 0);
    m_clearColorBtn = new QToolButton(this);
    m_clearColorBtn->setObjectName(QStringLiteral("clearColorBtn"));
    m_clearColorBtn->setIcon(QIcon(QStringLiteral(":/icons/close.png")));
    m_clearColorBtn->setFixedWidth(kColorButtonWidth);
    m_clearColorBtn->setStatusTip(tr("Clear color"));
    layout->addWidget(m_clearColorBtn, 5, 1);
    auto* selectColorBtn = new QToolButton(this);
    selectColorBtn->setObjectName(QStringLiteral("selectColorBtn"));
    selectColorBtn->setText(QStringLiteral("..."));
    selectColorBtn->setFixedWidth(kColorButtonWidth);
    selectColorBtn->setStatusTip(tr("Select color"));
    layout->addWidget(selectColorBtn, 5, 2);

    layout->addWidget(newLabel(QStringLiteral("velocityLabel"), tr("Velocity"), this), 6, 0, 1, 3);
    m_velocitySpinBox = new QSpinBox(this);
    m_velocitySpinBox->setObjectName(QStringLiteral("velocitySpinBox"));
    m_velocitySpinBox->setRange(0, kMaximumVelocity);
    layout->addWidget(m_velocitySpinBox, 7, 0, 1, 3);

    m_flyerCheckBox = new QCheckBox(tr("Flyer"), this);
    m_flyerCheckBox->setObjectName(QStringLiteral("flyerCheckBox"));
    layout->addWidget(m_flyerCheckBox, 8, 0, 1, 3);
    m_showCheckBox = new QCheckBox(tr("Show On Graph"), this);
    m_showCheckBox->setObjectName(QStringLiteral("showCheckBox"));
    layout->addWidget(m_showCheckBox, 9, 0, 1, 3);

    auto* buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    layout->addWidget(buttonBox, 10, 0, 1, 3);

    if (graph) {
        m_nameEdit->setText(graph->name());
        m_commentEdit->setPlainText(graph->comment());
        m_velocitySpinBox->setValue(spinBoxVelocity(graph->velocity()));
        m_flyerCheckBox->setChecked(graph->flyer());
        m_showCheckBox->setChecked(graph->visible());
        showColor(graph->color());
    } else {
        showColor(Graph::defaultColor());
    }
    m_initialVelocity = m_velocitySpinBox->value();

    connect(selectColorBtn, &QToolButton::clicked, this, &TraceSetupDlg::onSelectColor);
    connect(m_clearColorBtn, &QToolButton::clicked, this, &TraceSetupDlg::onClearColor);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &TraceSetupDlg::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &TraceSetupDlg::reject);
}

void TraceSetupDlg::setColorPicker(ColorPicker picker) {
    m_colorPicker = picker ? std::move(picker) : ColorPicker(runColorDialog);
}

void TraceSetupDlg::onSelectColor() {
    const QColor initial = m_graph ? m_graph->color() : m_color;
    const QPointer<TraceSetupDlg> self(this);
    const QColor chosen = m_colorPicker(initial, this);
    // The colour dialog runs its own event loop; this dialog may have been closed meanwhile.
    if (!self || !chosen.isValid())
        return;
    showColor(chosen);
}

void TraceSetupDlg::onClearColor() {
    showColor(Graph::defaultColor());
}

void TraceSetupDlg::accept() {
    if (m_graph) {
        m_graph->setName(m_nameEdit->text());
        m_graph->setComment(m_commentEdit->toPlainText());
        m_graph->setColor(m_color);
        // The spin box holds whole numbers only: an untouched box keeps the trace's own velocity, which
        // may have a fraction (from a file), be negative or not be a number at all.
        if (m_velocitySpinBox->value() != m_initialVelocity)
            m_graph->setVelocity(m_velocitySpinBox->value());
        m_graph->setFlyer(m_flyerCheckBox->isChecked());
        m_graph->setVisible(m_showCheckBox->isChecked());
    }
    QDialog::accept();
}

void TraceSetupDlg::showColor(const QColor& color) {
    if (color == Graph::defaultColor()) {
        m_colorPreviewFrame->setStyleSheet(QStringLiteral("background-color: transparent"));
        m_colorPreviewFrame->setText(tr("Default Color"));
        m_clearColorBtn->setEnabled(false);
    } else {
        m_colorPreviewFrame->setStyleSheet(QStringLiteral("background-color: %1").arg(color.name()));
        m_colorPreviewFrame->setText(QString());
        m_clearColorBtn->setEnabled(true);
    }
    m_color = color;
}
