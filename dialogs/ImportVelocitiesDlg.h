#pragma once

#include "data/ChronographFile.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QSet>

#include <utility>

class Graph;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The preview of a velocity import: the session's traces in trace-number order beside the shots they would
// get, with what each trace has now. The user shifts the pairing, leaves shots or traces out, picks the unit
// the velocities are written in (ft/s unless changed) and, for a plain CSV file, the columns that hold the
// velocities and the shot numbers. Apply gives assignments(); the dialog itself changes nothing.
class ImportVelocitiesDlg : public QDialog {
    Q_OBJECT
public:
    // A series read from a device's export.
    ImportVelocitiesDlg(const QString& fileName, const QString& layoutName, const ChronographSeries& series,
                        const QList<Graph*>& traces, QWidget* parent = nullptr);
    // The rows of any CSV file; the columns are the user's to pick.
    ImportVelocitiesDlg(const QString& fileName, const QList<QStringList>& rows, const QList<Graph*>& traces,
                        QWidget* parent = nullptr);

    // What Apply writes: each paired trace and its velocity in the unit chosen.
    QList<std::pair<Graph*, double>> assignments() const;
    // "ft/s" or "m/s".
    QString targetUnit() const;
    // The series as the dialog reads it now (for a CSV file, from the columns picked).
    const ChronographSeries& series() const { return m_series; }
    // Why nothing can be applied (a CSV column that does not read); empty otherwise.
    QString problem() const { return m_problem; }

    QSpinBox* offsetSpin() const { return m_offset; }
    QComboBox* targetUnitCombo() const { return m_targetUnit; }
    QTableWidget* traceTable() const { return m_traces; }
    QListWidget* shotList() const { return m_shots; }
    QComboBox* velocityColumnCombo() const { return m_velocityColumn; }
    QComboBox* numberColumnCombo() const { return m_numberColumn; }
    QCheckBox* headerCheck() const { return m_header; }
    QComboBox* fileUnitCombo() const { return m_fileUnit; }
    QPushButton* applyButton() const;

    // Leaves trace i (in trace-number order) or shot i (in file order) out, or takes it back.
    void setTraceUsed(int trace, bool used);
    void setShotUsed(int shot, bool used);

private:
    ImportVelocitiesDlg(const QString& fileName, const QList<Graph*>& traces, QWidget* parent);
    // The summary, the form (given rows first, then the shift and the unit), the lists and the buttons.
    void layOut(QFormLayout* form);
    void buildColumnPickers();
    void readColumns();
    void fillShots();
    void updatePreview();

    QString m_fileName;
    QString m_layoutName;
    QList<QPointer<Graph>> m_traceList;
    QList<QStringList> m_rows; // a CSV file's cells; empty for a device's series
    ChronographSeries m_series;
    QString m_problem;
    QSet<int> m_leftOutTraces;
    QSet<int> m_leftOutShots;
    bool m_filling = false;

    QLabel* m_summary = nullptr;
    QComboBox* m_velocityColumn = nullptr;
    QComboBox* m_numberColumn = nullptr;
    QCheckBox* m_header = nullptr;
    QComboBox* m_fileUnit = nullptr;
    QSpinBox* m_offset = nullptr;
    QComboBox* m_targetUnit = nullptr;
    QTableWidget* m_traces = nullptr;
    QListWidget* m_shots = nullptr;
    QLabel* m_problemLabel = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
