#pragma once

#include <QString>
#include <QVector>

namespace tessary {

// The per-user settings store: organisation "KESMAR", application
// "VaraDavuz". Every value is kept as text; each call opens the store, reads
// or writes one value and closes it again, so nothing is cached.
// Errors ("Invalid data type for '%s'", "Failed to set data for '%s'",
// "Failed to create key %s") are raised as tessary::Error.
bool ReadBoolSetting(const QString &name, bool defaultValue);
void WriteBoolSetting(const QString &name, bool value);
int ReadIntSetting(const QString &name, int defaultValue);
// As above; a value outside lowest..highest also gives the default.
int ReadIntSetting(const QString &name, int defaultValue, int lowest, int highest);
void WriteIntSetting(const QString &name, int value);
QString ReadStringSetting(const QString &name, const QString &defaultValue);
void WriteStringSetting(const QString &name, const QString &value);

// Window placement lives with the widgets (app/placement.h); the values it
// uses are ordinary integer and boolean settings.

// Column kinds that decide a column's default width.
enum class ColumnKind { AnsiText, Boolean, DateTime, Other };
int defaultColumnWidth(ColumnKind kind);
// Stored column widths above this (or below 0) are not taken.
constexpr int kLargestColumnWidth = 4096;

// Column widths under `prefix` + "_" + position. The grid abstraction keeps
// this free of any particular view class.
class ColumnWidthTarget
{
public:
    virtual ~ColumnWidthTarget() = default;
    virtual int columnCount() const = 0;
    virtual ColumnKind columnKind(int column) const = 0;
    virtual int columnWidth(int column) const = 0;
    virtual void setColumnWidth(int column, int width) = 0;
};
void RestoreColumnWidths(const QString &prefix, ColumnWidthTarget &grid);
void SaveColumnWidths(const QString &prefix, const ColumnWidthTarget &grid);

} // namespace tessary
