#include "printers/printersettings.h"

#include "data/errors.h"
#include "data/settings.h"

#include <QUrl>

namespace tessary {

namespace {

QString sideKey(const QString &queue, PrintSide side, const char *name)
{
    return printerSettingsGroup(queue) + (side == PrintSide::Front ? QStringLiteral("/Front") : QStringLiteral("/Back")) +
           QLatin1String(name);
}

// A stored integer; the default when missing, unreadable or out of range.
int readBounded(const QString &key, int defaultValue, int lowest, int highest)
{
    try {
        return ReadIntSetting(key, defaultValue, lowest, highest);
    } catch (const Error &) {
        return defaultValue; // not text: hand-edited into the store
    }
}

SideCalibration loadSide(const QString &queue, PrintSide side)
{
    SideCalibration c;
    c.offsetX = readBounded(sideKey(queue, side, "OffsetX"), 0, kCalibrationOffsetMin, kCalibrationOffsetMax);
    c.offsetY = readBounded(sideKey(queue, side, "OffsetY"), 0, kCalibrationOffsetMin, kCalibrationOffsetMax);
    c.scaleX = readBounded(sideKey(queue, side, "ScaleX"), kCalibrationScaleNeutral, kCalibrationScaleMin,
                           kCalibrationScaleMax);
    c.scaleY = readBounded(sideKey(queue, side, "ScaleY"), kCalibrationScaleNeutral, kCalibrationScaleMin,
                           kCalibrationScaleMax);
    if (side == PrintSide::Back)
        c.turned = readBounded(sideKey(queue, side, "Turned"), 0, 0, 1) == 1;
    return c;
}

void saveSide(const QString &queue, PrintSide side, const SideCalibration &c)
{
    WriteIntSetting(sideKey(queue, side, "OffsetX"), c.offsetX);
    WriteIntSetting(sideKey(queue, side, "OffsetY"), c.offsetY);
    WriteIntSetting(sideKey(queue, side, "ScaleX"), c.scaleX);
    WriteIntSetting(sideKey(queue, side, "ScaleY"), c.scaleY);
    if (side == PrintSide::Back)
        WriteBoolSetting(sideKey(queue, side, "Turned"), c.turned);
}

QString twoSidedKey(const QString &queue) { return printerSettingsGroup(queue) + QStringLiteral("/TwoSided"); }

// The stored choice: "option=choice", "none" for one side only.
std::optional<TwoSidedOption> loadTwoSided(const QString &queue)
{
    QString text;
    try {
        text = ReadStringSetting(twoSidedKey(queue), QString());
    } catch (const Error &) {
        return std::nullopt;
    }
    if (text == QLatin1String("none"))
        return TwoSidedOption{};
    if (text.isEmpty())
        return std::nullopt;
    return TwoSidedOption::fromText(text);
}

} // namespace

QString printerSettingsGroup(const QString &queue)
{
    return QStringLiteral("Printers/") + QString::fromLatin1(QUrl::toPercentEncoding(queue, " _-.@#+!$&'()*,;=~:"));
}

PrinterSettings PrinterSettings::load(const QString &queue)
{
    PrinterSettings s;
    s.queue = queue;
    s.front = loadSide(queue, PrintSide::Front);
    s.back = loadSide(queue, PrintSide::Back);
    s.twoSided = loadTwoSided(queue);
    return s;
}

void PrinterSettings::save() const
{
    saveSide(queue, PrintSide::Front, front);
    saveSide(queue, PrintSide::Back, back);
    if (!twoSided)
        WriteStringSetting(twoSidedKey(queue), QString());
    else
        WriteStringSetting(twoSidedKey(queue), twoSided->printsBothSides() ? twoSided->text() : QStringLiteral("none"));
}

} // namespace tessary
