#include "core/Logging.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace Logging {
namespace {

// The run's log file lives for the whole process.
QFile& logFile() {
    static QFile file;
    return file;
}

QString levelTag(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("[Debug]");
    case QtWarningMsg:
        return QStringLiteral("[Warning]");
    case QtCriticalMsg:
        return QStringLiteral("[Critical]");
    case QtFatalMsg:
        return QStringLiteral("[Fatal]");
    case QtInfoMsg:
        return QStringLiteral("[Info]");
    }
    return QString();
}

} // namespace

QString logDirectory() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (path.isEmpty() || !ensureDirectory(path))
        return QString();
    return path;
}

bool ensureDirectory(const QString& path) {
    QDir dir(path);
    if (dir.exists())
        return true;
    qDebug() << path << "does not exist. Creating it.";
    if (!dir.mkpath(QStringLiteral("."))) {
        qWarning() << "Failed to create" << path;
        return false;
    }
    return true;
}

void openLogDirectory() {
    const QString path = logDirectory();
    if (path.isEmpty()) {
        qWarning() << "Directory path is empty";
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        qWarning() << "Unable to open directory:" << path;
}

QString logFileName(const QDateTime& localTime) {
    return localTime.toString(QStringLiteral("yyMMdd_hhmmss")) + QStringLiteral(".log");
}

QString formatLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                      const QDateTime& localTime) {
    QString line = localTime.toString(QStringLiteral("dd/MM/yy hh:mm:ss.zzz "));
    line += levelTag(type);
    if (context.file && *context.file)
        line += QStringLiteral(" : ") + QFileInfo(QString::fromUtf8(context.file)).fileName();
    if (context.line != 0)
        line += QLatin1Char(':') + QString::number(context.line);
    line += QStringLiteral(" : ") + message + QLatin1Char('\n');
    return line;
}

bool openLogFile(const QString& path) {
    QFile& file = logFile();
    if (file.isOpen())
        file.close();
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
}

void closeLogFile() {
    logFile().close();
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    QFile& file = logFile();
    if (!file.isOpen())
        return;
    QTextStream stream(&file);
    stream << formatLogLine(type, context, message, QDateTime::currentDateTime());
    stream.flush();
}

} // namespace Logging
