#include "app/VelocityImport.h"

#include "core/IFileDialog.h"
#include "core/IFileSystem.h"
#include "core/IMessageBoxes.h"
#include "data/ChronographFile.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/UndoHistory.h"
#include "dialogs/ImportVelocitiesDlg.h"

#include <QAction>
#include <QDebug>
#include <QFileInfo>

#include <memory>

namespace {

QString layoutName(ChronographFile::Layout layout) {
    switch (layout) {
    case ChronographFile::LabRadar:
        return QStringLiteral("LabRadar series report");
    case ChronographFile::XeroC1:
        return QStringLiteral("Garmin Xero C1 CSV");
    case ChronographFile::GenericCsv:
        break;
    }
    return QStringLiteral("CSV file");
}

} // namespace

VelocityImport::VelocityImport(GraphContainer* active, UndoHistory* undo, QAction* action,
                               IFileDialog* fileDialog, IMessageBoxes* messageBoxes,
                               std::shared_ptr<IFileSystem> fileSystem, QString* directory,
                               QWidget* dialogParent, QObject* parent)
    : QObject(parent)
    , m_active(active)
    , m_undo(undo)
    , m_action(action)
    , m_fileDialog(fileDialog)
    , m_messageBoxes(messageBoxes)
    , m_fileSystem(std::move(fileSystem))
    , m_directory(directory)
    , m_dialogParent(dialogParent)
    , m_preview([](ImportVelocitiesDlg& dialog) { return dialog.exec() == QDialog::Accepted; }) {
    if (m_action)
        connect(m_action, &QAction::triggered, this, &VelocityImport::run);
    if (m_active) {
        connect(m_active, &GraphContainer::graphAddedFromPress, this, &VelocityImport::updateEnabled);
        connect(m_active, &GraphContainer::graphRemoved, this, &VelocityImport::updateEnabled);
        connect(m_active, &GraphContainer::bulkGraphAddFinished, this, &VelocityImport::updateEnabled);
    }
    updateEnabled();
}

void VelocityImport::updateEnabled() {
    if (m_action)
        m_action->setEnabled(m_active && !m_active->graphs().isEmpty());
}

void VelocityImport::run() {
    if (!m_active || m_active->graphs().isEmpty() || !m_fileDialog)
        return;
    const QString path =
        m_fileDialog->getOpenFileName(tr("Import Velocities"), m_directory ? *m_directory : QString(),
                                      tr("Chronograph files (*.csv *.CSV *.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    if (m_directory)
        *m_directory = m_fileSystem->absoluteDirPath(path);
    importFile(path);
}

bool VelocityImport::importFile(const QString& path) {
    if (!m_active)
        return false;
    const QString name = QFileInfo(path).fileName();
    const auto refuse = [&](const QString& reason) {
        qWarning() << "Velocity import refused - filename:" << path << "-" << reason;
        if (m_messageBoxes)
            m_messageBoxes->showWarning(tr("Cannot import velocities from \"%1\".").arg(name), reason);
        return false;
    };
    if (!m_fileSystem->fileExists(path))
        return refuse(tr("The file does not exist."));
    const QByteArray bytes = m_fileSystem->readFile(path);
    const std::optional<ChronographFile::Layout> layout = ChronographFile::detect(bytes);
    if (!layout)
        return refuse(tr("line 1: the file is empty"));

    QString reason;
    std::unique_ptr<ImportVelocitiesDlg> dialog;
    if (*layout == ChronographFile::GenericCsv) {
        const QList<QStringList> rows = ChronographFile::rows(bytes, &reason);
        if (rows.isEmpty())
            return refuse(reason);
        dialog = std::make_unique<ImportVelocitiesDlg>(path, rows, m_active->graphs(), m_dialogParent);
    } else {
        const std::optional<ChronographSeries> series = ChronographFile::read(bytes, *layout, &reason);
        if (!series)
            return refuse(reason);
        dialog = std::make_unique<ImportVelocitiesDlg>(path, layoutName(*layout), *series, m_active->graphs(),
                                                       m_dialogParent);
    }
    if (!m_preview || !m_preview(*dialog) || !m_active)
        return false;
    const auto assignments = dialog->assignments();
    if (assignments.isEmpty())
        return false;
    // One edit: every velocity first, then one undo record.
    for (const auto& [graph, velocity] : assignments) {
        if (graph && graph->container() == m_active)
            graph->setVelocity(velocity);
    }
    if (m_undo)
        m_undo->recordSnapshot();
    qInfo() << "Imported" << assignments.size() << "velocities from" << path << "in" << dialog->targetUnit();
    emit velocitiesImported(dialog->targetUnit());
    return true;
}
