// Feeds arbitrary bytes to the session reader: loading a file, restoring an undo snapshot, and the
// trace reader, then checks that what was read serialises consistently (compact, and indented as the
// autosave writes it).
#include "core/IFileSystem.h"
#include "data/Graph.h"
#include "data/GraphContainer.h"
#include "data/JsonIndenter.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

const QString kPath = QStringLiteral("/fuzz/session.SDT");

// One read-only file holding the input.
class SingleFileSystem : public IFileSystem {
public:
    explicit SingleFileSystem(QByteArray bytes)
        : m_bytes(std::move(bytes)) {}
    bool writeFile(const QString&, const QByteArray&) override { return false; }
    bool fileExists(const QString& path) const override { return path == kPath; }
    bool dirExists(const QString&) const override { return false; }
    QByteArray readFile(const QString& path) const override { return path == kPath ? m_bytes : QByteArray(); }
    QString absoluteDirPath(const QString&) const override { return QStringLiteral("/fuzz"); }
    QString lastWriteError() const override { return QStringLiteral("read-only"); }

private:
    QByteArray m_bytes;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    auto fileSystem = std::make_shared<SingleFileSystem>(bytes);
    GraphContainer container(fileSystem, true, nullptr);
    container.addGraphFromPress({{0.5, 1.0}, {0.4, 2.0}}, true);

    const bool loaded = container.loadFromFile(kPath);
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    check(loaded == document.isObject());
    if (!loaded)
        return 0;
    check(container.fileName() == kPath);
    check(!container.unsaved());

    // The assembled compact text must equal the serialisation of the whole object, and the autosave's
    // indented text made from its pieces the session file that Save writes.
    check(container.toJsonBytes() == QJsonDocument(container.toJson()).toJson(QJsonDocument::Compact));
    check(JsonIndenter::indent(container.toJsonPieces()) ==
          QJsonDocument(container.toJson()).toJson(QJsonDocument::Indented));
    for (Measurement measurement : {PeakForce, WorkDone, TerminalForce, StartingPosition, Velocity})
        container.applyMeasurementColors(measurement);
    container.setHighlightFlyers(true);
    for (Graph* graph : container.graphs())
        graph->effectiveColor();
    container.renumber();

    // An undo snapshot of the same text replaces the traces at once.
    container.restoreFromJson(document.object());
    check(container.unsaved());
    const QByteArray again = container.toJsonBytes();
    container.restoreFromJson(QJsonDocument::fromJson(again).object());
    check(container.toJsonBytes() == again);
    return 0;
}
