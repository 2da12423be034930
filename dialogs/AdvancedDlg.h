#pragma once

#include <functional>
#include <memory>
#include <QDialog>
#include <QPointer>
#include <QString>

class IMessageBoxes;
class Protocol;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class Session;
struct Settings;

// The rarely needed press settings (force limit, jam detection time), the press's raw sensor
// values and the firmware upgrade, on three tabs whose titles always show whole.
class AdvancedDlg : public QDialog {
    Q_OBJECT
public:
    // Any other value shows the first tab.
    enum Tab : int { SettingsTab = 0, DiagnosticsTab = 1, FirmwareUpgradeTab = 2 };

    // Runs the firmware upgrade modally on the press behind the protocol; returns when it is over.
    using FirmwareUpgrade = std::function<void(Protocol* protocol, QWidget* parent)>;

    static constexpr double kDefaultMaxWeightKg = 80.0;
    static constexpr double kDefaultJamDetectionTimeMs = 200.0;
    // The firmware image the application carries.
    static constexpr int kAvailableFirmwareMajor = 2;
    static constexpr int kAvailableFirmwareMinor = 24;

    // The settings must outlive the dialog; the session (null without a press) may go at any time,
    // after which the dialog behaves as without one. Boxes go through messageBoxes when given,
    // otherwise through real message boxes.
    AdvancedDlg(Settings* settings, Session* session, bool usingBluetooth, Tab startingTab,
                QWidget* parent = nullptr, IMessageBoxes* messageBoxes = nullptr);
    ~AdvancedDlg() override;

    // What the Firmware Upgrade button runs; without it the button only logs.
    void setFirmwareUpgrade(FirmwareUpgrade upgrade) { m_firmwareUpgrade = std::move(upgrade); }

    // The version of the carried firmware image, "2.24".
    static QString availableFirmwareVersion();
    // Firmware 2.23 and later (two decimal parts) accept the jam detection time.
    static bool supportsJamDetectionTime(const QString& firmwareVersion);

private slots:
    void setDefaultSettings();
    void applySettings();
    void onPointReceived(int position, int value, int current);
    void onFirmwareUpgrade();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The press's firmware version and whether it takes the jam detection time, as the session
    // knows them now; without a session the dialog keeps what it showed.
    void updateFirmwareDetails();
    void buildInterface();
    // Opens at 320 x 267, or wider and taller where the tab titles and the pages' minimums need it.
    void fitToContents();
    // Taller where a page's wrapped text needs it at the width it is shown with.
    void fitPagesToTheirText();
    QWidget* buildSettingsTab();
    QWidget* buildDiagnosticsTab();
    QWidget* buildFirmwareUpgradeTab();
    void onSessionGone();

    Settings* m_settings;
    QPointer<Session> m_session;
    bool m_usingBluetooth;
    std::unique_ptr<IMessageBoxes> m_ownMessageBoxes;
    IMessageBoxes* m_messageBoxes;
    FirmwareUpgrade m_firmwareUpgrade;
    bool m_pagesFitted = false;

    QTabWidget* m_advancedTabs = nullptr;
    QDialogButtonBox* m_advancedBtns = nullptr;
    QDoubleSpinBox* m_maxWeightSpinBox = nullptr;
    QLabel* m_jamDetectionTimeLabel = nullptr;
    QDoubleSpinBox* m_jamDetectionTimeSpinBox = nullptr;
    QDialogButtonBox* m_settingsBtns = nullptr;
    QLineEdit* m_positionRawEdit = nullptr;
    QLineEdit* m_loadcellRawEdit = nullptr;
    QLineEdit* m_currentRawEdit = nullptr;
    QLabel* m_currentFirmwareVersionDisplay = nullptr;
    QLabel* m_availableFirmwareVersionDisplay = nullptr;
    QPushButton* m_firmwareUpgradeBtn = nullptr;
    QLabel* m_firmwareUpgradeNote = nullptr;
};
