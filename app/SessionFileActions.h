#pragma once

#include "core/IFileSystem.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class GraphContainer;
class GraphModel;
class IFileDialog;
class IMessageBoxes;
class QObject;

// The session file commands: open, save, save as and load a comparison file. One object per command.
// Failures are shown in a warning box and leave the session as it was.
class SessionFileActions {
    Q_DECLARE_TR_FUNCTIONS(SessionFileActions)
public:
    // lastDirectory is the remembered folder of the settings; it is read and updated in place.
    SessionFileActions(QString& lastDirectory, IFileDialog& dialog, IMessageBoxes& messageBoxes,
                       std::shared_ptr<IFileSystem> fileSystem);

    // Asks for a session file and loads it into the container. True when a file was loaded.
    bool openSession(GraphContainer* container);
    // Writes the container to its file, or asks for one when it has none. True when written.
    bool save(GraphContainer* container);
    // Asks for a file and writes the container to it. True when written.
    bool saveAs(GraphContainer* container);
    // Asks for a session file and adds it to the model as a comparison container owned by parent.
    // Returns the new container, or none when cancelled or unreadable.
    GraphContainer* loadCompare(GraphModel* model, QObject* parent);
    // The remembered folder when it exists, else the user's documents folder.
    QString startDirectory() const;

    // The clock used for the proposed file name; local time unless a test replaces it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    bool writeSession(GraphContainer* container, const QString& path);
    void showOpenFailure(const QString& path, const QString& reason);

    QString& m_lastDirectory;
    IFileDialog& m_dialog;
    IMessageBoxes& m_messageBoxes;
    std::shared_ptr<IFileSystem> m_fileSystem;
    std::function<QDateTime()> m_clock;
};
