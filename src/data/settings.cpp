#include "settings.h"
#include "errors.h"

#include <QSettings>

#include <memory>
#include <optional>

namespace tessary {

namespace {

// The settings section: organisation "KESMAR", application "VaraDavuz".
// A fresh QSettings per value keeps the store closed between calls.
std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
}

// Reads a value's text; nullopt when the value does not exist. A value that
// is present but not text (hand-edited into the store) is refused.
std::optional<QString> readText(const QString &name)
{
    auto store = openStore();
    if (!store->contains(name))
        return std::nullopt;
    const QVariant value = store->value(name);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromLocal8Bit(value.toByteArray());
    // A text with commas typed into the file without quotes
    // ("SortField=staffno,name") is read back as a list: it is that text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    throw Error(QStringLiteral("Invalid data type for '%1'").arg(name));
}

void writeText(const QString &name, const QString &text)
{
    auto store = openStore();
    store->setValue(name, text);
    store->sync();
    if (store->status() != QSettings::NoError)
        throw Error(QStringLiteral("Failed to set data for '%1'").arg(name));
}

// Decimal integer text, as the store writes it: optional sign and digits,
// nothing else.
std::optional<int> parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.trimmed() != text)
        return std::nullopt;
    return value;
}

} // namespace

bool ReadBoolSetting(const QString &name, bool defaultValue)
{
    return ReadIntSetting(name, defaultValue ? 1 : 0) != 0;
}

void WriteBoolSetting(const QString &name, bool value)
{
    writeText(name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int ReadIntSetting(const QString &name, int defaultValue)
{
    const std::optional<QString> text = readText(name);
    if (!text)
        return defaultValue;
    return parseInt(*text).value_or(defaultValue);
}

int ReadIntSetting(const QString &name, int defaultValue, int lowest, int highest)
{
    const int value = ReadIntSetting(name, defaultValue);
    return value < lowest || value > highest ? defaultValue : value;
}

void WriteIntSetting(const QString &name, int value)
{
    writeText(name, QString::number(value));
}

QString ReadStringSetting(const QString &name, const QString &defaultValue)
{
    return readText(name).value_or(defaultValue);
}

void WriteStringSetting(const QString &name, const QString &value)
{
    writeText(name, value);
}

int defaultColumnWidth(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::AnsiText: return 200;
    case ColumnKind::Boolean: return 50;
    case ColumnKind::DateTime: return 150;
    case ColumnKind::Other: break;
    }
    return 100;
}

void RestoreColumnWidths(const QString &prefix, ColumnWidthTarget &grid)
{
    for (int i = 0; i < grid.columnCount(); ++i) {
        // A width no grid column can have (negative, or wider than any
        // screen) gives the default.
        const int width = ReadIntSetting(prefix + QLatin1Char('_') + QString::number(i),
                                         defaultColumnWidth(grid.columnKind(i)), 0, kLargestColumnWidth);
        grid.setColumnWidth(i, width);
    }
}

void SaveColumnWidths(const QString &prefix, const ColumnWidthTarget &grid)
{
    for (int i = 0; i < grid.columnCount(); ++i)
        WriteIntSetting(prefix + QLatin1Char('_') + QString::number(i), grid.columnWidth(i));
}

} // namespace tessary
