#pragma once

#include "data/prompts.h"

namespace tessary {

// The prompt service of the running program: Qt dialogs, modal, centred on
// the screen.
class WidgetPrompts : public PromptService
{
public:
    MessageResult message(MessageKind kind, const QString &title, const QString &text, bool withCancel) override;
    bool askYesNo(MessageKind kind, const QString &title, const QString &text) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt, int maxLength,
                                     const QString &initial = QString()) override;
    QString openFileName(const QString &title, const QString &filter, const QString &initialDir,
                         const QString &defaultExt = QString()) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &initialDir,
                         const QString &defaultExt) override;
    std::optional<FontChoice> chooseFont(const FontChoice &initial, FontSizes sizes = {}) override;
    void beep() override;
};

// "Bitmaps (*.bmp)|*.bmp|All (*.*)|*.*" -> "Bitmaps (*.bmp);;All (*.*)"
QString qtFileFilter(const QString &windowsFilter);

} // namespace tessary
