#pragma once

#include <QWizardPage>

// The autorun wizard's first page: asks for the empty press and measures it on a button press.
// Next stays disabled until the button has been pressed once.
class AutorunWizardZeroPage : public QWizardPage {
    Q_OBJECT
public:
    explicit AutorunWizardZeroPage(QWidget* parent = nullptr);

    bool isComplete() const override;

signals:
    // The user asks for the no-die weight to be measured.
    void zeroRequest();

private:
    void onButtonPressed();

    bool m_buttonPressed = false;
};
