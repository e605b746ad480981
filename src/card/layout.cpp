#include "layout.h"

#include "data/errors.h"
#include "data/prompts.h"

namespace tessary {

TFmLayout::TFmLayout(Tdsrc &data, QWidget *parent)
    : QDialog(parent)
    , param(&data.src, QStringLiteral("param"), this)
    , fields(&data.src, QStringLiteral("fields"), this)
    , m_data(data)
{
    setObjectName(QStringLiteral("FmLayout"));
    setWindowTitle(QStringLiteral("Card Layout"));
    param.setSql(layoutParamSql());
    param.setDeclaredColumns(layoutParamColumns());
    fields.setSql(layoutFieldsSql());
    fields.setDeclaredColumns(layoutFieldsColumns());
    guarded([this] { LoadSettings(); });
}

TFmLayout::~TFmLayout() = default;

void TFmLayout::LoadSettings()
{
    loadLayoutSettings(param, fields, settings);
}

void TFmLayout::SaveSettings()
{
    saveLayoutSettings(param, fields, settings);
    ShowSettingsSaved();
}

void TFmLayout::ReloadFieldLists()
{
    param.first();
    reloadFieldLists(param, fields, settings);
}

int TFmLayout::ReadStoredInteger(const QString &column)
{
    if (!param.isOpen())
        param.open();
    return param.fieldByName(column).asInteger();
}

void TFmLayout::CardRun(CardMode mode, CardOutput &output)
{
    const bool a4 = ReadStoredInteger(QStringLiteral("psize")) != 0;
    runCards(settings, a4, mode, m_data.QList, output);
}

} // namespace tessary
