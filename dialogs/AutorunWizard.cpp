#include "dialogs/AutorunWizard.h"

#include "dialogs/AutorunWizardConfigureThresholdPage.h"
#include "dialogs/AutorunWizardZeroPage.h"
#include "dialogs/ProgressDialog.h"
#include "session/Autorun.h"
#include "session/BaseProcedure.h"

#include <QDebug>
#include <QFormLayout>
#include <QLabel>
#include <QWizardPage>

AutorunWizard::AutorunWizard(Autorun* autorun, QWidget* parent)
    : QWizard(parent)
    , m_autorun(autorun) {
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("AutorunWizard"));
    setWindowTitle(tr("Autorun Setup"));
    resize(400, 300);

    m_zeroPage = new AutorunWizardZeroPage(this);
    m_configureThresholdPage = new AutorunWizardConfigureThresholdPage(this);
    m_resultPage = new QWizardPage(this);
    m_resultPage->setObjectName(QStringLiteral("resultPage"));
    m_resultPage->setTitle(tr("Complete"));
    m_resultFormLayout = new QFormLayout(m_resultPage);
    m_resultFormLayout->setObjectName(QStringLiteral("formLayout"));
    m_resultLabel = new QLabel(tr("Autorun setup complete."), m_resultPage);
    m_resultLabel->setObjectName(QStringLiteral("resultLabel"));
    m_resultLabel->setWordWrap(true);
    m_resultFormLayout->addRow(m_resultLabel);

    m_zeroPageId = addPage(m_zeroPage);
    m_configureThresholdPageId = addPage(m_configureThresholdPage);
    m_resultPageId = addPage(m_resultPage);

    connect(m_zeroPage, &AutorunWizardZeroPage::zeroRequest, this, &AutorunWizard::onZeroRequest);
    connect(m_configureThresholdPage, &AutorunWizardConfigureThresholdPage::configureThresholdRequest, this,
            &AutorunWizard::onConfigureThresholdRequest);
    connect(this, &QWizard::currentIdChanged, this, &AutorunWizard::onCurrentIdChanged);
}

void AutorunWizard::done(int result) {
    if (result == QDialog::Accepted && !m_checkPassed)
        result = QDialog::Rejected;
    // Nobody else takes over an autorun whose set-up did not complete.
    if (result == QDialog::Rejected && m_autorun)
        m_autorun->deleteLater();
    QWizard::done(result);
}

void AutorunWizard::onZeroRequest() {
    if (!m_autorun)
        return;
    BaseProcedure* procedure = m_autorun->measureNoDieWeight();
    if (!procedure)
        return;
    showMeasurement(procedure, tr("Finding no-die weight ..."));
    connect(procedure, &BaseProcedure::finished, this, &AutorunWizard::onZeroingDone);
}

void AutorunWizard::onConfigureThresholdRequest() {
    if (!m_autorun)
        return;
    BaseProcedure* procedure = m_autorun->measureWithDieWeight();
    if (!procedure)
        return;
    showMeasurement(procedure, tr("Finding threshold weight ..."));
    connect(procedure, &BaseProcedure::finished, this, &AutorunWizard::onCalibratingThresholdDone);
}

void AutorunWizard::showMeasurement(BaseProcedure* procedure, const QString& title) {
    auto* dialog = new ProgressDialog(title, this);
    dialog->bindToProcedure(procedure);
    dialog->show();
}

void AutorunWizard::onZeroingDone() {
    m_noDieMeasured = true;
    if (currentId() == m_zeroPageId)
        next();
}

void AutorunWizard::onCalibratingThresholdDone() {
    m_withDieMeasured = true;
    if (currentId() == m_configureThresholdPageId)
        next();
}

void AutorunWizard::onCurrentIdChanged(int id) {
    // Checked on every entry: Back and a new measurement must never reach an earlier verdict.
    if (id == m_resultPageId)
        checkWeights();
}

void AutorunWizard::checkWeights() {
    const bool measured = m_noDieMeasured && m_withDieMeasured;
    m_checkPassed = measured && m_autorun && m_autorun->isWeightDifferenceSufficient();
    if (m_checkPassed) {
        m_resultPage->setTitle(tr("Complete"));
        m_resultLabel->setText(tr("Autorun setup complete."));
    } else {
        qInfo() << "Autorun setup failed:"
                << (measured ? "weight difference too small" : "weights not measured");
        m_resultPage->setTitle(tr("Failed"));
        m_resultLabel->setText(measured ? tr("The weight difference is not great enough.")
                                        : tr("The weights have not been measured."));
    }
    // The page's height follows the wrapped verdict, but the wizard measures a page again only when the
    // page says so: a verdict that needs one more line would otherwise be cut to the last one's height.
    m_resultPage->updateGeometry();
}
