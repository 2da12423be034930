#pragma once

#include "core/IFileSystem.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

class Graph;
class GraphModel;
class GraphView;
class IFileDialog;
class IMessageBoxes;
struct Settings;

// The four export commands of the main window: ask for a file, remember its folder in the settings and
// write the export in the settings' units. A cancelled dialog changes nothing; a failed export shows the
// warning "Could not export to the file." and leaves any old file as it was.
class ExportCommands {
    Q_DECLARE_TR_FUNCTIONS(ExportCommands)
public:
    // Nothing is owned; settings.userDirectory is read and updated, settings.units read at each export.
    ExportCommands(Settings& settings, IFileDialog& dialog, IMessageBoxes& messageBoxes,
                   std::shared_ptr<IFileSystem> fileSystem);

    // The trace's measurements and points; nothing without a trace. True when a file was written.
    bool exportTraceToCsv(const Graph* trace);
    // The active container's traces on a common position grid; nothing while the model is empty.
    bool exportAllTracesToCsv(const GraphModel& model);
    // The chart as a JPEG, PNG or BMP image; nothing while the model is empty.
    bool exportToImage(const GraphModel& model, GraphView* view);
    // The chart and the table of the active container's visible traces, in the legend's order given by
    // its sort column (a SessionModel::Columns value) and order; nothing while the model is empty.
    bool exportToPdf(const GraphModel& model, GraphView* view, int sortColumn, Qt::SortOrder sortOrder);

private:
    // The path chosen in the save dialog, with its folder remembered; empty when cancelled.
    QString askPath(const QString& caption, const QString& proposedName, const QString& filter,
                    const QString& preselectedFilter = QString());
    // The proposal for the whole-session exports: the active session file's base name.
    static QString sessionBaseName(const GraphModel& model);
    bool reportFailure(const QString& path, const QString& reason);

    Settings& m_settings;
    IFileDialog& m_dialog;
    IMessageBoxes& m_messageBoxes;
    std::shared_ptr<IFileSystem> m_fileSystem;
};
