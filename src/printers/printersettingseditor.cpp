#include "printers/printersettingseditor.h"

#include "printers/calibrationcard.h"

namespace tessary {

PrinterSettingsEditor::PrinterSettingsEditor(QStringList printers, const QString &initial, OptionsSource options)
    : m_printers(std::move(printers)), m_source(std::move(options))
{
    if (m_printers.contains(initial))
        select(initial);
    else if (!m_printers.isEmpty())
        select(m_printers.first());
}

void PrinterSettingsEditor::select(const QString &queue)
{
    if (!m_printers.contains(queue))
        return;
    m_current = queue;
    if (m_settings.find(queue) == m_settings.end())
        m_settings.emplace(queue, PrinterSettings::load(queue));
}

PrinterSettings &PrinterSettingsEditor::settings() { return m_settings.at(m_current); }

const std::vector<PpdOption> &PrinterSettingsEditor::options(const QString &queue)
{
    auto it = m_options.find(queue);
    if (it == m_options.end())
        it = m_options.emplace(queue, m_source ? m_source(queue) : std::vector<PpdOption>{}).first;
    return it->second;
}

std::vector<PrinterSettingsEditor::TwoSidedEntry> PrinterSettingsEditor::twoSidedEntries()
{
    const std::vector<PpdOption> &all = options(m_current);
    const TwoSidedOption own = defaultTwoSidedOption(all);
    const QString mark = QStringLiteral(" (printer's default)");
    std::vector<TwoSidedEntry> entries;
    entries.push_back({{}, QStringLiteral("One side only") + (own.printsBothSides() ? QString() : mark)});
    for (const PpdOption &o : all) {
        for (const PpdChoice &c : o.choices) {
            const TwoSidedOption option{o.keyword, c.keyword};
            QString text = QStringLiteral("%1 (%2: %3)").arg(option.text(), o.text, c.text);
            if (option == own)
                text += mark;
            entries.push_back({option, text});
        }
    }
    return entries;
}

int PrinterSettingsEditor::twoSidedEntry()
{
    const TwoSidedOption used = chooseTwoSidedOption(options(m_current), settings().twoSided);
    const std::vector<TwoSidedEntry> entries = twoSidedEntries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].option == used)
            return int(i);
    return 0;
}

void PrinterSettingsEditor::chooseTwoSidedEntry(int entry)
{
    const std::vector<TwoSidedEntry> entries = twoSidedEntries();
    if (entry < 0 || entry >= int(entries.size()))
        return;
    const TwoSidedOption &option = entries[size_t(entry)].option;
    if (option == defaultTwoSidedOption(options(m_current)))
        settings().twoSided.reset();
    else
        settings().twoSided = option;
}

PrinterSetup PrinterSettingsEditor::setup()
{
    return {settings(), chooseTwoSidedOption(options(m_current), settings().twoSided), QPageLayout::Landscape};
}

void PrinterSettingsEditor::save()
{
    for (const auto &[queue, settings] : m_settings)
        settings.save();
    if (!m_current.isEmpty())
        setCalibrationPrinter(m_current);
}

} // namespace tessary
