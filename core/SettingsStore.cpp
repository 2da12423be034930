#include "core/SettingsStore.h"

#include "core/Settings.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

struct BoolKey {
    const char* key;
    bool Settings::*field;
};

// The keys read as plain booleans, in the order they are loaded.
const BoolKey kBoolKeys[] = {
    {"DarkMode", &Settings::darkMode},
    {"HighlightFlyers", &Settings::highlightFlyers},
    {"ShowStatistics", &Settings::showStatistics},
};

const BoolKey kLegendKeys[] = {
    {"LegendColumnVisibleTitle", &Settings::legendColumnVisibleTitle},
    {"LegendColumnVisibleWorkDone", &Settings::legendColumnVisibleWorkDone},
    {"LegendColumnVisiblePeakForce", &Settings::legendColumnVisiblePeakForce},
    {"LegendColumnVisibleTerminalForce", &Settings::legendColumnVisibleTerminalForce},
    {"LegendColumnVisibleStartingPosition", &Settings::legendColumnVisibleStartingPosition},
    {"LegendColumnVisibleVelocity", &Settings::legendColumnVisibleVelocity},
    {"LegendColumnVisibleFlyer", &Settings::legendColumnVisibleFlyer},
};

// The whole number nearest to the file's value within [min, max] (a value of another type reads as 0
// first, as the other keys do); a value outside is logged.
int boundedInt(const QJsonObject& json, const char* key, int min, int max) {
    const QJsonValue value = json.value(QLatin1String(key));
    const double number = value.toDouble();
    const double bounded = std::clamp(std::round(number), static_cast<double>(min), static_cast<double>(max));
    if (bounded != number)
        qWarning() << "Settings.json:" << key << "of" << value.toVariant().toString() << "is outside" << min
                   << "to" << max << "; using" << bounded;
    return static_cast<int>(bounded);
}

} // namespace

SettingsStore::SettingsStore(std::shared_ptr<IFileSystem> fileSystem, const QString& directory)
    : m_fileSystem(std::move(fileSystem))
    , m_filePath(directory + QStringLiteral("/Settings.json")) {}

void SettingsStore::load(Settings& settings) const {
    if (!m_fileSystem->fileExists(m_filePath))
        return;
    // A file that does not parse gives an empty object: the defaults stand.
    const QJsonObject json = QJsonDocument::fromJson(m_fileSystem->readFile(m_filePath)).object();

    if (json.contains(QLatin1String("MaxPressure")))
        settings.setMaxPressure(json.value(QLatin1String("MaxPressure")).toDouble());
    if (json.contains(QLatin1String("JamDetectionTime")))
        settings.setJamDetectionTime(json.value(QLatin1String("JamDetectionTime")).toInt());
    if (json.contains(QLatin1String("UserDirectory")))
        settings.userDirectory = json.value(QLatin1String("UserDirectory")).toString();
    if (json.contains(QLatin1String("MM")))
        settings.units = json.value(QLatin1String("MM")).toBool() ? Metric : Imperial;
    for (const BoolKey& key : kBoolKeys) {
        if (json.contains(QLatin1String(key.key)))
            settings.*key.field = json.value(QLatin1String(key.key)).toBool();
    }
    if (json.contains(QLatin1String("AutorunMinDiffAdc")))
        settings.autorunMinDiffAdc = json.value(QLatin1String("AutorunMinDiffAdc")).toDouble();
    if (json.contains(QLatin1String("AutorunThresholdRatio")))
        settings.autorunThresholdRatio = json.value(QLatin1String("AutorunThresholdRatio")).toDouble();
    if (json.contains(QLatin1String("AutorunTimeoutMs")))
        settings.autorunTimeoutMs = boundedInt(json, "AutorunTimeoutMs", Settings::kMinAutorunTimeoutMs,
                                               Settings::kMaxAutorunTimeoutMs);
    if (json.contains(QLatin1String("AutorunFilterLength")))
        settings.autorunFilterLength =
            boundedInt(json, "AutorunFilterLength", Settings::kMinAutorunFilterLength,
                       Settings::kMaxAutorunFilterLength);
    for (const BoolKey& key : kLegendKeys) {
        if (json.contains(QLatin1String(key.key)))
            settings.*key.field = json.value(QLatin1String(key.key)).toBool();
    }
}

bool SettingsStore::save(const Settings& settings) const {
    QJsonObject json;
    json.insert(QLatin1String("MaxPressure"), settings.maxPressure());
    json.insert(QLatin1String("JamDetectionTime"), settings.jamDetectionTime());
    json.insert(QLatin1String("UserDirectory"), settings.userDirectory);
    json.insert(QLatin1String("MM"), settings.units == Metric);
    for (const BoolKey& key : kBoolKeys)
        json.insert(QLatin1String(key.key), settings.*key.field);
    json.insert(QLatin1String("AutorunMinDiffAdc"), settings.autorunMinDiffAdc);
    json.insert(QLatin1String("AutorunThresholdRatio"), settings.autorunThresholdRatio);
    json.insert(QLatin1String("AutorunTimeoutMs"), settings.autorunTimeoutMs);
    json.insert(QLatin1String("AutorunFilterLength"), settings.autorunFilterLength);
    for (const BoolKey& key : kLegendKeys)
        json.insert(QLatin1String(key.key), settings.*key.field);

    if (!m_fileSystem->writeFile(m_filePath, QJsonDocument(json).toJson(QJsonDocument::Indented))) {
        qWarning() << "Failed to write" << m_filePath << m_fileSystem->lastWriteError();
        return false;
    }
    return true;
}
