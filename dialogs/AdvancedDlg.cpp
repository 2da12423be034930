#include "dialogs/AdvancedDlg.h"

#include "core/MessageBoxes.h"
#include "core/Settings.h"
#include "link/Protocol.h"
#include "session/Session.h"

#include <algorithm>
#include <cmath>
#include <QDebug>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QStringList>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// The size the dialog opens with unless its contents need more.
constexpr int kInitialWidth = 320;
constexpr int kInitialHeight = 267;

int decimalOrZero(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

AdvancedDlg::AdvancedDlg(Settings* settings, Session* session, bool usingBluetooth, Tab startingTab,
                         QWidget* parent, IMessageBoxes* messageBoxes)
    : QDialog(parent)
    , m_settings(settings)
    , m_session(session)
    , m_usingBluetooth(usingBluetooth)
    , m_messageBoxes(messageBoxes) {
    if (!m_messageBoxes) {
        m_ownMessageBoxes = std::make_unique<MessageBoxes>(this);
        m_messageBoxes = m_ownMessageBoxes.get();
    }
    buildInterface();

    connect(m_settingsBtns->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            &AdvancedDlg::setDefaultSettings);
    connect(m_settingsBtns->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &AdvancedDlg::applySettings);
    if (m_session) {
        connect(m_session, &ISession::pointReceived, this, &AdvancedDlg::onPointReceived);
        // Once the link has closed the dialog behaves as without a press.
        connect(m_session, &Session::closed, this, &AdvancedDlg::onSessionGone);
        connect(m_session, &QObject::destroyed, this, &AdvancedDlg::onSessionGone);
    }

    m_maxWeightSpinBox->setRange(Settings::kMinMaxPressure, Settings::kMaxMaxPressure);
    m_maxWeightSpinBox->setValue(m_settings->maxPressure());
    m_jamDetectionTimeSpinBox->setRange(Settings::kMinJamDetectionTime, Settings::kMaxJamDetectionTime);
    m_jamDetectionTimeSpinBox->setValue(m_settings->jamDetectionTime());

    if (m_session) {
        // An upgrade changes the firmware while the dialog is open.
        connect(m_session, &Session::firmwareVersionReceived, this, &AdvancedDlg::updateFirmwareDetails);
    }
    updateFirmwareDetails();

    connect(m_firmwareUpgradeBtn, &QPushButton::clicked, this, &AdvancedDlg::onFirmwareUpgrade);
    // Not only for a started session: a press that only answers from its bootloader needs it most.
    m_firmwareUpgradeBtn->setEnabled(m_session && !m_usingBluetooth);
    m_availableFirmwareVersionDisplay->setText(availableFirmwareVersion());
    if (m_usingBluetooth) {
        m_firmwareUpgradeNote->setText(tr("A firmware upgrade cannot be performed when using Bluetooth. "
                                          "Please restart the app to reconnect using USB."));
    }

    fitToContents();

    switch (startingTab) {
    case SettingsTab:
    case DiagnosticsTab:
    case FirmwareUpgradeTab:
        m_advancedTabs->setCurrentIndex(startingTab);
        break;
    default:
        m_advancedTabs->setCurrentIndex(SettingsTab);
        break;
    }
}

AdvancedDlg::~AdvancedDlg() = default;

QString AdvancedDlg::availableFirmwareVersion() {
    return QStringLiteral("%1.%2")
        .arg(kAvailableFirmwareMajor)
        .arg(kAvailableFirmwareMinor, 2, 10, QLatin1Char('0'));
}

bool AdvancedDlg::supportsJamDetectionTime(const QString& firmwareVersion) {
    const QStringList parts = firmwareVersion.split(QLatin1Char('.'));
    if (parts.size() != 2)
        return false;
    const int major = decimalOrZero(parts.at(0));
    const int minor = decimalOrZero(parts.at(1));
    return major > 1 && (major != 2 || minor > 22);
}

void AdvancedDlg::showEvent(QShowEvent* event) {
    updateFirmwareDetails();
    QDialog::showEvent(event);
    if (!m_pagesFitted) {
        m_pagesFitted = true;
        fitPagesToTheirText();
    }
}

void AdvancedDlg::updateFirmwareDetails() {
    if (!m_session)
        return;
    const QString version = m_session->firmwareVersion();
    m_currentFirmwareVersionDisplay->setText(version);
    const bool supported = supportsJamDetectionTime(version);
    const QString tip =
        supported ? QString()
                  : tr("Configuring the jam detection timeout is not supported for firmware versions less "
                       "than 2.23.");
    m_jamDetectionTimeSpinBox->setEnabled(supported);
    m_jamDetectionTimeLabel->setStyleSheet(
        supported ? QString() : QStringLiteral("QLabel { background-color: rgb(255, 75, 75); }"));
    m_jamDetectionTimeLabel->setToolTip(tip);
    m_jamDetectionTimeSpinBox->setToolTip(tip);
}

void AdvancedDlg::fitToContents() {
    // The tab bar neither scrolls nor elides, so the layout's minimum width holds every title whole.
    const QSize minimum = minimumSizeHint();
    resize(std::max(kInitialWidth, minimum.width()), std::max(kInitialHeight, minimum.height()));
}

void AdvancedDlg::fitPagesToTheirText() {
    // A wrapped note takes as many lines as its page's width leaves it, which no minimum size says (a
    // layout that trades height for width gives its window none): each page gets the height it asks for
    // at the width the tabs give it, measured once they are laid out.
    const QWidget* current = m_advancedTabs->currentWidget();
    int missing = 0;
    for (int tab = 0; tab < m_advancedTabs->count(); ++tab) {
        const QWidget* page = m_advancedTabs->widget(tab);
        const int wanted = page->hasHeightForWidth() ? page->heightForWidth(current->width())
                                                     : page->minimumSizeHint().height();
        missing = std::max(missing, wanted - current->height());
    }
    if (missing > 0)
        resize(width(), height() + missing);
}

void AdvancedDlg::buildInterface() {
    setWindowTitle(tr("Advanced"));
    auto* gridLayout = named(new QGridLayout(this), "gridLayout");
    m_advancedTabs = named(new QTabWidget(this), "advancedTabs");
    // Every title whole on one row: no scroll arrows, no elided titles; the dialog is as wide as they are.
    m_advancedTabs->setUsesScrollButtons(false);
    m_advancedTabs->setElideMode(Qt::ElideNone);
    m_advancedTabs->addTab(buildSettingsTab(), tr("Settings"));
    m_advancedTabs->addTab(buildDiagnosticsTab(), tr("Diagnostics"));
    m_advancedTabs->addTab(buildFirmwareUpgradeTab(), tr("Firmware Upgrade"));
    gridLayout->addWidget(m_advancedTabs, 0, 0);
    m_advancedBtns = named(new QDialogButtonBox(QDialogButtonBox::Close, this), "advancedBtns");
    gridLayout->addWidget(m_advancedBtns, 1, 0);
    connect(m_advancedBtns, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QWidget* AdvancedDlg::buildSettingsTab() {
    auto* tab = named(new QWidget, "settingsTab");
    auto* layout = named(new QFormLayout(tab), "settingsLayout");
    auto* maxForceLabel = named(new QLabel(tr("Max Force"), tab), "maxForceLabel");
    m_maxWeightSpinBox = named(new QDoubleSpinBox(tab), "maxWeightSpinBox");
    m_maxWeightSpinBox->setDecimals(1);
    m_maxWeightSpinBox->setSuffix(tr("kg"));
    layout->addRow(maxForceLabel, m_maxWeightSpinBox);
    m_jamDetectionTimeLabel = named(new QLabel(tr("Jam Detection Time"), tab), "jamDetectionTimeLabel");
    m_jamDetectionTimeSpinBox = named(new QDoubleSpinBox(tab), "jamDetectionTimeSpinBox");
    m_jamDetectionTimeSpinBox->setDecimals(0);
    m_jamDetectionTimeSpinBox->setSuffix(tr("ms"));
    layout->addRow(m_jamDetectionTimeLabel, m_jamDetectionTimeSpinBox);
    m_settingsBtns =
        named(new QDialogButtonBox(QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Apply, tab),
              "settingsBtns");
    layout->addRow(m_settingsBtns);
    return tab;
}

QWidget* AdvancedDlg::buildDiagnosticsTab() {
    auto* tab = named(new QWidget, "diagnosticsTab");
    auto* layout = named(new QVBoxLayout(tab), "diagnosticsLayout");
    auto* group = named(new QGroupBox(tr("Raw Sensor Data"), tab), "rawSensorDataGroupBox");
    auto* form = named(new QFormLayout(group), "formLayout");
    const auto addRow = [group, form](const QString& text, const char* labelName, const char* editName) {
        auto* edit = named(new QLineEdit(group), editName);
        edit->setReadOnly(true);
        form->addRow(named(new QLabel(text, group), labelName), edit);
        return edit;
    };
    m_positionRawEdit = addRow(tr("Position"), "positionRawLabel", "positionRawEdit");
    m_loadcellRawEdit = addRow(tr("Loadcell"), "loadcellRawLabel", "loadcellRawEdit");
    m_currentRawEdit = addRow(tr("Current"), "currentRawLabel", "currentRawEdit");
    layout->addWidget(group);
    return tab;
}

QWidget* AdvancedDlg::buildFirmwareUpgradeTab() {
    auto* tab = named(new QWidget, "firmwareUpgradeTab");
    auto* layout = named(new QVBoxLayout(tab), "firmwareUpgradeTabLayout");

    auto* details = named(new QGroupBox(tr("Firmware Details"), tab), "firmwareDetailsGroupBox");
    auto* detailsLayout = named(new QFormLayout(details), "firmwareDetailsLayout");
    m_currentFirmwareVersionDisplay = named(new QLabel(details), "currentFirmwareVersionDisplay");
    m_currentFirmwareVersionDisplay->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    detailsLayout->addRow(
        named(new QLabel(tr("Current firmware version"), details), "currentFirmwareVersionLabel"),
        m_currentFirmwareVersionDisplay);
    m_availableFirmwareVersionDisplay = named(new QLabel(details), "availableFirmwareVersionDisplay");
    m_availableFirmwareVersionDisplay->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    detailsLayout->addRow(
        named(new QLabel(tr("Available firmware version"), details), "availableFirmwareVersionLabel"),
        m_availableFirmwareVersionDisplay);
    layout->addWidget(details);

    auto* buttonLayout = named(new QHBoxLayout, "buttonLayout");
    buttonLayout->addStretch();
    m_firmwareUpgradeBtn = named(new QPushButton(tr("Firmware Upgrade"), tab), "firmwareUpgradeBtn");
    buttonLayout->addWidget(m_firmwareUpgradeBtn);
    buttonLayout->addStretch();
    layout->addLayout(buttonLayout);

    auto* expectedTimeLabel =
        named(new QLabel(tr("Firmware upgrades can take up to 10 minutes."), tab), "expectedTimeLabel");
    expectedTimeLabel->setWordWrap(true);
    layout->addWidget(expectedTimeLabel);
    layout->addStretch();
    m_firmwareUpgradeNote = named(new QLabel(tab), "firmwareUpgradeNote");
    m_firmwareUpgradeNote->setWordWrap(true);
    layout->addWidget(m_firmwareUpgradeNote);
    return tab;
}

void AdvancedDlg::setDefaultSettings() {
    m_maxWeightSpinBox->setValue(kDefaultMaxWeightKg);
    m_jamDetectionTimeSpinBox->setValue(kDefaultJamDetectionTimeMs);
}

void AdvancedDlg::applySettings() {
    const double maxWeight = m_maxWeightSpinBox->value();
    const double jamDetectionTime = m_jamDetectionTimeSpinBox->value();
    const QString informative = tr("Press OK to continue.");
    if (!m_session || !m_session->isInitialized()) {
        m_messageBoxes->showWarning(tr("Press not connected."), informative);
        return;
    }
    const double previousMaxPressure = m_settings->maxPressure();
    const int previousJamDetectionTime = m_settings->jamDetectionTime();
    m_settings->setMaxPressure(maxWeight);
    m_settings->setJamDetectionTime(int(std::trunc(jamDetectionTime)));
    if (!m_session->applyPressSettings()) {
        // Not applied: the record keeps its values, as when no press is connected.
        m_settings->setMaxPressure(previousMaxPressure);
        m_settings->setJamDetectionTime(previousJamDetectionTime);
        m_messageBoxes->showWarning(tr("Settings not applied: the press is not connected."), informative);
        return;
    }
    m_messageBoxes->showMessage(tr("Settings applied."), informative);
}

void AdvancedDlg::onPointReceived(int position, int value, int current) {
    m_positionRawEdit->setText(QString::number(position));
    m_loadcellRawEdit->setText(QString::number(value));
    m_currentRawEdit->setText(QString::number(current));
}

void AdvancedDlg::onFirmwareUpgrade() {
    qDebug() << "Firmware upgrade button clicked";
    if (!m_session || !m_session->protocol())
        return;
    if (!m_firmwareUpgrade) {
        qWarning() << "No firmware upgrade is available";
        return;
    }
    // The press belongs to the upgrade alone: a running procedure would interleave its commands with
    // the upgrade's, and the session must neither command the press nor take the restarted firmware
    // for a new start while the upgrade's dialog is open.
    if (!m_session->handOverToFirmwareUpgrade()) {
        m_messageBoxes->showWarning(
            tr("The firmware cannot be upgraded while the press is running a procedure."),
            tr("Wait until it has finished, then try again."));
        return;
    }
    const QPointer<Protocol> protocol = m_session->protocol();
    m_firmwareUpgrade(protocol, this);
    // Whatever became of the upgrade, the press has been told to restart and the session is over:
    // closing the link lets the normal search find and zero the press afresh, so nothing of this
    // session (its zero, its X zero) outlives the firmware it was made with.
    if (protocol)
        protocol->closePort();
}

void AdvancedDlg::onSessionGone() {
    m_firmwareUpgradeBtn->setEnabled(false);
}
