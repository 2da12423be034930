#pragma once

#include "core/Units.h"
#include "data/ToleranceLimits.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;

// Sets a session's tolerance limits: the measurement judged, and either a nominal value with a band on
// both sides or a low and a high limit (either of which may be left open), all in the units shown. Ok
// gives the limits; Remove Limits gives none; Cancel changes nothing. Ok is offered only for limits that
// make sense, with a line saying what is missing otherwise.
class ToleranceLimitsDlg : public QDialog {
    Q_OBJECT
public:
    // The current limits are shown converted to units. typicalValue, when finite, is what an empty form
    // starts from for the nominal value and the limits (the mean of the session's peak forces, say).
    ToleranceLimitsDlg(const ToleranceLimits& current, Units units, double typicalValue = std::nan(""),
                       QWidget* parent = nullptr);

    // The limits as the form stands, in the units shown; none (hasLimits() false) after Remove Limits or
    // while the form is not valid.
    ToleranceLimits limits() const;
    // The form gives limits Ok can accept.
    bool isValid() const;
    // Why it does not; empty when it does.
    QString problem() const;

    QComboBox* measurementCombo() const { return m_measurement; }
    QRadioButton* bandButton() const { return m_bandButton; }
    QRadioButton* rangeButton() const { return m_rangeButton; }
    QDoubleSpinBox* nominalSpin() const { return m_nominal; }
    QDoubleSpinBox* bandSpin() const { return m_band; }
    QCheckBox* lowCheck() const { return m_lowCheck; }
    QDoubleSpinBox* lowSpin() const { return m_low; }
    QCheckBox* highCheck() const { return m_highCheck; }
    QDoubleSpinBox* highSpin() const { return m_high; }
    QPushButton* okButton() const;
    QPushButton* removeButton() const { return m_removeButton; }

private:
    Measurement currentMeasurement() const;
    void showLimits(const ToleranceLimits& limits);
    void onMeasurementChanged();
    void updateState();

    ToleranceLimits m_current;
    Units m_units;
    bool m_edited = false;
    bool m_removed = false;
    QComboBox* m_measurement = nullptr;
    QRadioButton* m_bandButton = nullptr;
    QRadioButton* m_rangeButton = nullptr;
    QDoubleSpinBox* m_nominal = nullptr;
    QDoubleSpinBox* m_band = nullptr;
    QCheckBox* m_lowCheck = nullptr;
    QDoubleSpinBox* m_low = nullptr;
    QCheckBox* m_highCheck = nullptr;
    QDoubleSpinBox* m_high = nullptr;
    QList<QLabel*> m_unitLabels;
    QLabel* m_problemLabel = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QPushButton* m_removeButton = nullptr;
};
