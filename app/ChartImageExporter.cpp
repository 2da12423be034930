#include "app/ChartImageExporter.h"

#include "chart/GraphView.h"
#include "core/IFileSystem.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QtDebug>

QByteArray ChartImageExporter::formatFor(const QString& fileName) {
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix))
        return suffix;
    return QByteArrayLiteral("png");
}

QByteArray ChartImageExporter::imageBytes(GraphView* view, const QString& fileName) {
    QWidget* viewport = view->viewport();
    QImage image(viewport->size(), QImage::Format_RGB32);
    // The chart's rounded background leaves the corners to the view's own colour.
    image.fill(viewport->palette().color(viewport->backgroundRole()));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        view->render(&painter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, formatFor(fileName).constData()))
        return {};
    return bytes;
}

bool ChartImageExporter::exportImage(const QString& fileName, GraphView* view, IFileSystem& fileSystem,
                                     QString* errorText) {
    const QByteArray bytes = imageBytes(view, fileName);
    QString reason;
    if (bytes.isEmpty())
        reason = QCoreApplication::translate("ChartImageExporter", "The image could not be encoded.");
    else if (!fileSystem.writeFile(fileName, bytes))
        reason = fileSystem.lastWriteError();
    else
        return true;
    qWarning() << "Failed to write image file - filename:" << fileName << "- error:" << reason;
    if (errorText)
        *errorText = reason;
    return false;
}
