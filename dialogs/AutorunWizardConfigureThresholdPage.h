#pragma once

#include <QWizardPage>

// The autorun wizard's second page: asks for the loaded die on the press and measures it on a
// button press. Next stays disabled until the button has been pressed once.
class AutorunWizardConfigureThresholdPage : public QWizardPage {
    Q_OBJECT
public:
    explicit AutorunWizardConfigureThresholdPage(QWidget* parent = nullptr);

    bool isComplete() const override;

signals:
    // The user asks for the weight with the die on the press to be measured.
    void configureThresholdRequest();

private:
    void onButtonPressed();

    bool m_buttonPressed = false;
};
