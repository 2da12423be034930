#pragma once

#include <QByteArray>
#include <QString>

class GraphView;
class IFileSystem;

// Saves what the chart view shows as an image file of the view's size.
class ChartImageExporter {
public:
    // The image format for a file name: its suffix when Qt can write that format, otherwise "png".
    static QByteArray formatFor(const QString& fileName);
    // The encoded image of the view (its viewport's size, antialiased) in the format for the file
    // name; empty when it cannot be encoded.
    static QByteArray imageBytes(GraphView* view, const QString& fileName);
    // Writes imageBytes to the file. False (errorText says why, the old file untouched) on failure.
    static bool exportImage(const QString& fileName, GraphView* view, IFileSystem& fileSystem,
                            QString* errorText = nullptr);
};
