// Feeds arbitrary bytes to the settings reader as "Settings.json": whatever the file holds, the record
// stays within its limits, and what is then written reads back as the same record.
#include "core/IFileSystem.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"

#include <QMap>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

const QString kDirectory = QStringLiteral("/fuzz");

class MapFileSystem : public IFileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes) override {
        files[path] = bytes;
        return true;
    }
    bool fileExists(const QString& path) const override { return files.contains(path); }
    bool dirExists(const QString& path) const override { return path == kDirectory; }
    QByteArray readFile(const QString& path) const override { return files.value(path); }
    QString absoluteDirPath(const QString&) const override { return kDirectory; }
    QString lastWriteError() const override { return QString(); }

    QMap<QString, QByteArray> files;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool same(const Settings& a, const Settings& b) {
    return same(a.maxPressure(), b.maxPressure()) && a.jamDetectionTime() == b.jamDetectionTime() &&
           a.userDirectory == b.userDirectory && a.units == b.units && a.darkMode == b.darkMode &&
           a.highlightFlyers == b.highlightFlyers && same(a.autorunMinDiffAdc, b.autorunMinDiffAdc) &&
           same(a.autorunThresholdRatio, b.autorunThresholdRatio) &&
           a.autorunTimeoutMs == b.autorunTimeoutMs && a.autorunFilterLength == b.autorunFilterLength &&
           a.legendColumnVisibleTitle == b.legendColumnVisibleTitle &&
           a.legendColumnVisibleWorkDone == b.legendColumnVisibleWorkDone &&
           a.legendColumnVisiblePeakForce == b.legendColumnVisiblePeakForce &&
           a.legendColumnVisibleTerminalForce == b.legendColumnVisibleTerminalForce &&
           a.legendColumnVisibleStartingPosition == b.legendColumnVisibleStartingPosition &&
           a.legendColumnVisibleVelocity == b.legendColumnVisibleVelocity &&
           a.legendColumnVisibleFlyer == b.legendColumnVisibleFlyer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto files = std::make_shared<MapFileSystem>();
    const SettingsStore store(files, kDirectory);
    files->files[store.filePath()] =
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    Settings read;
    read.setDefaults();
    store.load(read);
    check(read.maxPressure() >= Settings::kMinMaxPressure && read.maxPressure() <= Settings::kMaxMaxPressure);
    check(read.jamDetectionTime() >= Settings::kMinJamDetectionTime &&
          read.jamDetectionTime() <= Settings::kMaxJamDetectionTime);
    check(read.units == Metric || read.units == Imperial);
    check(read.autorunFilterLength >= Settings::kMinAutorunFilterLength &&
          read.autorunFilterLength <= Settings::kMaxAutorunFilterLength);
    check(read.autorunTimeoutMs >= Settings::kMinAutorunTimeoutMs &&
          read.autorunTimeoutMs <= Settings::kMaxAutorunTimeoutMs);

    // What the program writes at exit must bring the same record back next time.
    check(store.save(read));
    Settings again;
    again.setDefaults();
    store.load(again);
    // JSON has no NaN or infinity: such a value cannot come from a file in the first place.
    check(std::isfinite(read.autorunMinDiffAdc) && std::isfinite(read.autorunThresholdRatio));
    check(same(read, again));
    return 0;
}
