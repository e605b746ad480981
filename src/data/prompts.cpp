#include "prompts.h"
#include "errors.h"

#include <stdexcept>
#include <utility>

namespace tessary {

namespace {

// Used until the program installs its window-based service: answers every
// question negatively and never blocks.
class RefusingPrompts : public PromptService
{
public:
    MessageResult message(MessageKind, const QString &, const QString &, bool withCancel) override
    {
        return withCancel ? MessageResult::Cancel : MessageResult::Ok;
    }
    std::optional<QString> inputText(const QString &, const QString &, int, const QString &) override
    {
        return std::nullopt;
    }
    QString openFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    std::optional<FontChoice> chooseFont(const FontChoice &, FontSizes) override { return std::nullopt; }
    void beep() override {}
};

std::unique_ptr<PromptService> &installed()
{
    static std::unique_ptr<PromptService> service = std::make_unique<RefusingPrompts>();
    return service;
}

} // namespace

PromptService &prompts()
{
    return *installed();
}

std::unique_ptr<PromptService> setPromptService(std::unique_ptr<PromptService> service)
{
    if (!service)
        service = std::make_unique<RefusingPrompts>();
    std::unique_ptr<PromptService> previous = std::move(installed());
    installed() = std::move(service);
    return previous;
}

void ShowErrorBox(const QString &text)
{
    prompts().message(MessageKind::Error, QStringLiteral("Error"), text, false);
}

void ShowInformationBox(const QString &text)
{
    prompts().message(MessageKind::Information, QStringLiteral("Information"), text, false);
}

void ShowPlainMessage(const QString &text)
{
    prompts().message(MessageKind::Plain, QStringLiteral("Tessary"), text, false);
}

void ShowPostError()
{
    ShowErrorBox(QStringLiteral("Unable to post the data."));
}

void ShowCreateError()
{
    ShowErrorBox(QStringLiteral("Unable to create the new object."));
}

void ShowSettingsSaved()
{
    ShowInformationBox(QStringLiteral("Settings are saved."));
}

static bool confirm(const QString &text)
{
    return prompts().message(MessageKind::Confirmation, QStringLiteral("Confirm"), text, true) == MessageResult::Ok;
}

bool ConfirmYesNo(const QString &text)
{
    return prompts().askYesNo(MessageKind::Confirmation, QStringLiteral("Confirm"), text);
}

bool ConfirmDelete()
{
    return confirm(QStringLiteral("Delete the record?"));
}

bool ConfirmOverwrite()
{
    return confirm(QStringLiteral("Overwrite the record?"));
}

QString errorReportText(const QString &text)
{
    // A full stop is added when the last character sorts after '.', so
    // messages ending in a letter or digit read as sentences while those
    // already ending in punctuation such as '!' or '.' stay as they are.
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

void ShowErrorReport(const QString &text)
{
    prompts().message(MessageKind::Error, QStringLiteral("Tessary"), errorReportText(text), false);
}

bool guarded(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const Error &e) {
        ShowErrorReport(e.message());
    } catch (const std::exception &e) {
        ShowErrorReport(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorReport(QStringLiteral("Unknown error"));
    }
    return false;
}

// ---------------------------------------------------------------------------

void ScriptedPrompts::unscripted(const QString &what)
{
    const QString text = QStringLiteral("ScriptedPrompts: no answer scripted for the %1").arg(what);
    if (onUnscripted)
        onUnscripted(text);
    else
        qFatal("%s", qPrintable(text));
    // A handler that returns still must not let the code go on as if answered.
    throw std::logic_error(text.toStdString());
}

MessageResult ScriptedPrompts::message(MessageKind kind, const QString &title, const QString &text, bool withCancel)
{
    asked.push_back({QStringLiteral("message"), kind, title, text, withCancel});
    if (!withCancel)
        return MessageResult::Ok;
    if (whileAsked)
        std::exchange(whileAsked, nullptr)();
    if (messageAnswers.empty())
        unscripted(QStringLiteral("question: ") + text);
    MessageResult answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedPrompts::inputText(const QString &caption, const QString &prompt, int,
                                                  const QString &initial)
{
    asked.push_back({QStringLiteral("input"), MessageKind::Information, caption, prompt, true});
    asked.back().initial = initial;
    if (inputAnswers.empty())
        unscripted(QStringLiteral("input dialog: ") + caption);
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

QString ScriptedPrompts::openFileName(const QString &title, const QString &filter, const QString &initialDir,
                                     const QString &defaultExt)
{
    asked.push_back({QStringLiteral("open"), MessageKind::Information, title, filter, true});
    asked.back().initial = initialDir;
    asked.back().defaultExt = defaultExt;
    if (fileAnswers.empty())
        unscripted(QStringLiteral("open dialog: ") + title);
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &filter, const QString &initialDir,
                                     const QString &defaultExt)
{
    asked.push_back({QStringLiteral("save"), MessageKind::Information, title, filter, true});
    asked.back().initial = initialDir;
    asked.back().defaultExt = defaultExt;
    if (fileAnswers.empty())
        unscripted(QStringLiteral("save dialog: ") + title);
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<FontChoice> ScriptedPrompts::chooseFont(const FontChoice &initial, FontSizes sizes)
{
    asked.push_back({QStringLiteral("font"), MessageKind::Information, {}, {}, true});
    asked.back().font = initial;
    asked.back().sizes = sizes;
    if (fontAnswers.empty())
        unscripted(QStringLiteral("font dialog"));
    auto answer = fontAnswers.front();
    fontAnswers.pop_front();
    return answer;
}

bool ScriptedPrompts::askYesNo(MessageKind kind, const QString &title, const QString &text)
{
    const bool yes = message(kind, title, text, true) == MessageResult::Ok;
    asked.back().yesNo = true;
    return yes;
}

QStringList ScriptedPrompts::messages() const
{
    QStringList out;
    for (const Asked &a : asked)
        if (a.what == QLatin1String("message"))
            out << a.text;
    return out;
}

ScopedScriptedPrompts::ScopedScriptedPrompts()
{
    auto owned = std::make_unique<ScriptedPrompts>();
    m_prompts = owned.get();
    m_previous = setPromptService(std::move(owned));
}

ScopedScriptedPrompts::~ScopedScriptedPrompts()
{
    setPromptService(std::move(m_previous));
}

} // namespace tessary
