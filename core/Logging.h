#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The run log: one time-stamped, level-tagged line per Qt message, in one file per run.
namespace Logging {

// The per-user application data directory, created when missing; empty when it cannot be created.
QString logDirectory();
// Creates the directory with its parents when missing; false (and a warning) when that fails.
bool ensureDirectory(const QString& path);
// Shows the application data directory in the desktop's file browser.
void openLogDirectory();

// The name of a log file started at that local time: "yyMMdd_hhmmss.log".
QString logFileName(const QDateTime& localTime);
// One log line, ending in "\n", for a message logged at that time.
QString formatLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                      const QDateTime& localTime);

// Opens (truncating) the process-wide log file; false when it cannot be opened.
bool openLogFile(const QString& path);
// Closes the process-wide log file; messages after this reach no file.
void closeLogFile();
// The installed Qt message handler: appends one line to the log file and flushes it.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

} // namespace Logging
