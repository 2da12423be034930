#include "dialogs/AutorunWizardZeroPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

AutorunWizardZeroPage::AutorunWizardZeroPage(QWidget* parent)
    : QWizardPage(parent) {
    setObjectName(QStringLiteral("zeroPage"));
    setTitle(tr("Zeroing"));
    auto* formLayout = new QFormLayout(this);
    formLayout->setObjectName(QStringLiteral("formLayout"));
    auto* label = new QLabel(tr("Remove any weights from the press to get zero-weight reading."), this);
    label->setObjectName(QStringLiteral("label"));
    label->setWordWrap(true);
    formLayout->addRow(label);
    auto* button = new QPushButton(tr("Zero"), this);
    button->setObjectName(QStringLiteral("zeroPushButton"));
    formLayout->addRow(button);
    connect(button, &QPushButton::clicked, this, &AutorunWizardZeroPage::onButtonPressed);
}

bool AutorunWizardZeroPage::isComplete() const {
    return QWizardPage::isComplete() && m_buttonPressed;
}

void AutorunWizardZeroPage::onButtonPressed() {
    emit zeroRequest();
    m_buttonPressed = true;
    emit completeChanged();
}
