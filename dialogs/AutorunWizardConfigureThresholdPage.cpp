#include "dialogs/AutorunWizardConfigureThresholdPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

AutorunWizardConfigureThresholdPage::AutorunWizardConfigureThresholdPage(QWidget* parent)
    : QWizardPage(parent) {
    setObjectName(QStringLiteral("configureThresholdPage"));
    setTitle(tr("Weight Threshold Configuration"));
    auto* formLayout = new QFormLayout(this);
    formLayout->setObjectName(QStringLiteral("formLayout"));
    auto* label = new QLabel(tr("Place die on the press to configure the weight threshold."), this);
    label->setObjectName(QStringLiteral("label"));
    label->setWordWrap(true);
    formLayout->addRow(label);
    auto* button = new QPushButton(tr("Configure Weight"), this);
    button->setObjectName(QStringLiteral("configureThresholdButton"));
    formLayout->addRow(button);
    connect(button, &QPushButton::clicked, this, &AutorunWizardConfigureThresholdPage::onButtonPressed);
}

bool AutorunWizardConfigureThresholdPage::isComplete() const {
    return QWizardPage::isComplete() && m_buttonPressed;
}

void AutorunWizardConfigureThresholdPage::onButtonPressed() {
    emit configureThresholdRequest();
    m_buttonPressed = true;
    emit completeChanged();
}
