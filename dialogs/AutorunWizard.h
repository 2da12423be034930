#pragma once

#include <QPointer>
#include <QWizard>

class Autorun;
class AutorunWizardConfigureThresholdPage;
class AutorunWizardZeroPage;
class BaseProcedure;
class QFormLayout;
class QLabel;
class QWizardPage;

// Walks the user through measuring autorun's two reference weights (press empty, loaded die on
// it) and checks that they lie far enough apart. Ends accepted only when both were measured in
// this run and the check passed; a rejected wizard deletes the autorun it was given.
class AutorunWizard : public QWizard {
    Q_OBJECT
public:
    // The autorun is not owned while the wizard runs and may be deleted meanwhile (with its session).
    explicit AutorunWizard(Autorun* autorun, QWidget* parent = nullptr);

    int zeroPageId() const { return m_zeroPageId; }
    int configureThresholdPageId() const { return m_configureThresholdPageId; }
    int resultPageId() const { return m_resultPageId; }

    // Finish after a failed check ends the wizard rejected.
    void done(int result) override;

private slots:
    void onZeroRequest();
    void onConfigureThresholdRequest();
    void onZeroingDone();
    void onCalibratingThresholdDone();

private:
    void onCurrentIdChanged(int id);
    void checkWeights();
    void showMeasurement(BaseProcedure* procedure, const QString& title);

    QPointer<Autorun> m_autorun;
    AutorunWizardZeroPage* m_zeroPage = nullptr;
    AutorunWizardConfigureThresholdPage* m_configureThresholdPage = nullptr;
    QWizardPage* m_resultPage = nullptr;
    QFormLayout* m_resultFormLayout = nullptr;
    QLabel* m_resultLabel = nullptr;
    int m_zeroPageId = -1;
    int m_configureThresholdPageId = -1;
    int m_resultPageId = -1;
    bool m_noDieMeasured = false;
    bool m_withDieMeasured = false;
    bool m_checkPassed = false;
};
