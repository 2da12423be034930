#include "app/SessionFileActions.h"

#include "chart/GraphModel.h"
#include "core/IFileDialog.h"
#include "core/IMessageBoxes.h"
#include "data/GraphContainer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace {

const QString kFilter = QStringLiteral("GraphFiles (*.SDT)");
const QString kSuffix = QStringLiteral(".SDT");
const QString kFileNameFormat = QStringLiteral("dd-MMM-yyyy hh_mm");

} // namespace

SessionFileActions::SessionFileActions(QString& lastDirectory, IFileDialog& dialog,
                                       IMessageBoxes& messageBoxes, std::shared_ptr<IFileSystem> fileSystem)
    : m_lastDirectory(lastDirectory)
    , m_dialog(dialog)
    , m_messageBoxes(messageBoxes)
    , m_fileSystem(std::move(fileSystem))
    , m_clock(&QDateTime::currentDateTime) {}

QString SessionFileActions::startDirectory() const {
    if (m_fileSystem->dirExists(m_lastDirectory))
        return m_lastDirectory;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool SessionFileActions::openSession(GraphContainer* container) {
    const QString path = m_dialog.getOpenFileName(tr("Open Session"), startDirectory(), kFilter);
    if (path.isEmpty())
        return false;
    m_lastDirectory = m_fileSystem->absoluteDirPath(path);
    QString reason;
    if (!container->loadFromFile(path, &reason)) {
        showOpenFailure(path, reason);
        return false;
    }
    container->emitGraphsAddedFromFile();
    return true;
}

GraphContainer* SessionFileActions::loadCompare(GraphModel* model, QObject* parent) {
    const QString path = m_dialog.getOpenFileName(tr("Load Compare"), startDirectory(), kFilter);
    if (path.isEmpty())
        return nullptr;
    m_lastDirectory = m_fileSystem->absoluteDirPath(path);
    auto* container = new GraphContainer(m_fileSystem, parent);
    QString reason;
    if (!container->loadFromFile(path, &reason)) {
        delete container;
        showOpenFailure(path, reason);
        return nullptr;
    }
    model->addCompareContainer(container);
    return container;
}

bool SessionFileActions::save(GraphContainer* container) {
    if (container->fileName().isEmpty())
        return saveAs(container);
    if (!writeSession(container, container->fileName()))
        return false;
    container->setUnsaved(false);
    return true;
}

bool SessionFileActions::saveAs(GraphContainer* container) {
    QString startPath = container->fileName();
    if (startPath.isEmpty()) {
        const QString name = QLocale::c().toString(m_clock(), kFileNameFormat);
        startPath = startDirectory() + QLatin1Char('/') + name;
    }
    QString path = m_dialog.getSaveFileName(tr("Save Session"), startPath, kFilter, nullptr);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += kSuffix;
        // The dialog asked about replacing the name as typed, not this one.
        if (m_fileSystem->fileExists(path) &&
            m_messageBoxes.question(tr("%1 already exists.").arg(QFileInfo(path).fileName()),
                                    tr("Do you want to replace it?"), QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) != QMessageBox::Yes)
            return false;
    }
    m_lastDirectory = m_fileSystem->absoluteDirPath(path);
    if (!writeSession(container, path))
        return false;
    container->setFileName(path);
    container->setUnsaved(false);
    return true;
}

bool SessionFileActions::writeSession(GraphContainer* container, const QString& path) {
    // The container writes through its own file system; the reason is asked from that one.
    const std::shared_ptr<IFileSystem> fileSystem = container->fileSystem();
    if (container->writeToFile(path))
        return true;
    m_messageBoxes.showWarning(
        tr("Could not save the session."),
        tr("%1\n%2").arg(QDir::toNativeSeparators(path), fileSystem->lastWriteError()));
    return false;
}

void SessionFileActions::showOpenFailure(const QString& path, const QString& reason) {
    m_messageBoxes.showWarning(tr("Could not open the session file."),
                               tr("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
}
