#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class GraphContainer;
class IFileDialog;
class IFileSystem;
class IMessageBoxes;
class ImportVelocitiesDlg;
class QAction;
class QWidget;
class UndoHistory;

// File › Import Velocities: reads a chronograph's export (a device's own layout, or any CSV file whose
// columns the user picks), shows the pairing of shots and traces for the user to adjust, and writes the
// velocities into the active session's traces as one undoable edit. A file that cannot be read is named
// with the line and the reason, and nothing changes. The command is offered while the session has traces.
class VelocityImport : public QObject {
    Q_OBJECT
public:
    // Runs the preview; true when the user applied it. Replaceable so a test can answer it.
    using PreviewDialog = std::function<bool(ImportVelocitiesDlg& dialog)>;

    // None of the arguments is owned; the directory is where the file dialog starts and is updated.
    VelocityImport(GraphContainer* active, UndoHistory* undo, QAction* action, IFileDialog* fileDialog,
                   IMessageBoxes* messageBoxes, std::shared_ptr<IFileSystem> fileSystem, QString* directory,
                   QWidget* dialogParent, QObject* parent = nullptr);

    void setPreviewDialog(PreviewDialog dialog) { m_preview = std::move(dialog); }

public slots:
    // Asks for the file, then imports it.
    void run();
    // Imports that file; true when velocities were written.
    bool importFile(const QString& path);

signals:
    // The unit the velocities were written in ("ft/s" or "m/s").
    void velocitiesImported(const QString& unit);

private:
    void updateEnabled();

    QPointer<GraphContainer> m_active;
    UndoHistory* m_undo;
    QPointer<QAction> m_action;
    IFileDialog* m_fileDialog;
    IMessageBoxes* m_messageBoxes;
    std::shared_ptr<IFileSystem> m_fileSystem;
    QString* m_directory;
    QWidget* m_dialogParent;
    PreviewDialog m_preview;
};
