#include "app/ExportCommands.h"

#include "app/ChartImageExporter.h"
#include "app/CsvExporter.h"
#include "app/PdfReport.h"
#include "chart/GraphModel.h"
#include "core/IFileDialog.h"
#include "core/IMessageBoxes.h"
#include "core/Settings.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"

#include <QDir>
#include <QFileInfo>

namespace {

QList<Graph*> activeTraces(const GraphModel& model) {
    const GraphContainer* container = model.activeContainer();
    return container ? container->graphs() : QList<Graph*>();
}

} // namespace

ExportCommands::ExportCommands(Settings& settings, IFileDialog& dialog, IMessageBoxes& messageBoxes,
                               std::shared_ptr<IFileSystem> fileSystem)
    : m_settings(settings)
    , m_dialog(dialog)
    , m_messageBoxes(messageBoxes)
    , m_fileSystem(std::move(fileSystem)) {}

bool ExportCommands::exportTraceToCsv(const Graph* trace) {
    if (!trace)
        return false;
    const QString path = askPath(tr("Export to CSV"), trace->name(), tr("Comma-Separated Values (*.csv)"));
    if (path.isEmpty())
        return false;
    QString reason;
    if (!CsvExporter(path, m_settings.units).exportTrace(*trace, *m_fileSystem, &reason))
        return reportFailure(path, reason);
    return true;
}

bool ExportCommands::exportAllTracesToCsv(const GraphModel& model) {
    if (model.isEmpty())
        return false;
    const QString path =
        askPath(tr("Export All to CSV"), sessionBaseName(model), tr("Comma-Separated Values (*.csv)"));
    if (path.isEmpty())
        return false;
    QString reason;
    if (!CsvExporter(path, m_settings.units).exportAll(activeTraces(model), *m_fileSystem, &reason))
        return reportFailure(path, reason);
    return true;
}

bool ExportCommands::exportToImage(const GraphModel& model, GraphView* view) {
    if (model.isEmpty())
        return false;
    const QString png = tr("PNG image (*.png)");
    const QString filters =
        QStringList{tr("JPEG image (*.jpg *.jpeg)"), png, tr("Windows BMP image (*.bmp)")}.join(
            QStringLiteral(";;"));
    const QString path = askPath(tr("Export to Image"), sessionBaseName(model), filters, png);
    if (path.isEmpty())
        return false;
    QString reason;
    if (!ChartImageExporter::exportImage(path, view, *m_fileSystem, &reason))
        return reportFailure(path, reason);
    return true;
}

bool ExportCommands::exportToPdf(const GraphModel& model, GraphView* view, int sortColumn,
                                 Qt::SortOrder sortOrder) {
    if (model.isEmpty())
        return false;
    const QString path =
        askPath(tr("Export to PDF"), sessionBaseName(model), tr("Portable Document Format (*.pdf)"));
    if (path.isEmpty())
        return false;
    QString reason;
    if (!PdfReport::exportPdf(path, view, activeTraces(model), m_settings.units, sortColumn, sortOrder,
                              *m_fileSystem, &reason))
        return reportFailure(path, reason);
    return true;
}

QString ExportCommands::askPath(const QString& caption, const QString& proposedName, const QString& filter,
                                const QString& preselectedFilter) {
    const QString proposal = QDir(m_settings.userDirectory).filePath(proposedName);
    QString selectedFilter = preselectedFilter;
    const QString path = m_dialog.getSaveFileName(caption, proposal, filter,
                                                  preselectedFilter.isEmpty() ? nullptr : &selectedFilter);
    if (!path.isEmpty())
        m_settings.userDirectory = m_fileSystem->absoluteDirPath(path);
    return path;
}

QString ExportCommands::sessionBaseName(const GraphModel& model) {
    const GraphContainer* container = model.activeContainer();
    return container ? QFileInfo(container->fileName()).completeBaseName() : QString();
}

bool ExportCommands::reportFailure(const QString& path, const QString& reason) {
    m_messageBoxes.showWarning(tr("Could not export to the file."),
                               tr("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
    return false;
}
