#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

class QWidget;

namespace tessary {

// Every modal question the program asks goes through one replaceable
// service. The real program installs one that shows Qt dialogs; tests install
// a ScriptedPrompts and answer by script.
enum class MessageKind { Error, Information, Confirmation, Warning, Plain };

enum class MessageResult { Ok, Cancel };

// What a font dialog edits: the font (face, size, style, underline,
// strike-out) and the colour of its text.
struct FontChoice
{
    QFont font;
    QColor color = Qt::black;

    bool operator==(const FontChoice &other) const { return font == other.font && color == other.color; }
};

// The point sizes a font dialog offers; 0 for either bound leaves the
// dialog's own list.
struct FontSizes
{
    int minimum = 0;
    int maximum = 0;
};

class PromptService
{
public:
    virtual ~PromptService() = default;

    // A modal message box. `title` is the window caption; with `withCancel`
    // the box shows OK and Cancel (OK default, Cancel on Escape and close).
    virtual MessageResult message(MessageKind kind, const QString &title, const QString &text, bool withCancel) = 0;

    // A modal question with the buttons Yes and No (Yes the default, No on
    // Escape and the close box); true only for Yes. By default it is asked
    // as an OK / Cancel message box.
    virtual bool askYesNo(MessageKind kind, const QString &title, const QString &text)
    {
        return message(kind, title, text, true) == MessageResult::Ok;
    }

    // A text-input dialog whose input starts with `initial`; nullopt when
    // cancelled.
    virtual std::optional<QString> inputText(const QString &caption, const QString &prompt, int maxLength,
                                             const QString &initial = QString()) = 0;

    // File dialogs; the empty text when cancelled. `initialDir` may name a
    // file, which is then proposed. The save dialog asks no replace
    // question of its own: the commands that replace a file decide that. `filter` uses the Windows-style
    // "Description|*.ext;*.ext2|..." form (converted by the implementation).
    // `defaultExt` (without the dot) is added to a typed name that has none.
    virtual QString openFileName(const QString &title, const QString &filter, const QString &initialDir,
                                 const QString &defaultExt = QString()) = 0;
    virtual QString saveFileName(const QString &title, const QString &filter, const QString &initialDir,
                                 const QString &defaultExt) = 0;

    // A font dialog with effects (colour, underline, strike-out) offering the
    // point sizes of `sizes`; nullopt when cancelled.
    virtual std::optional<FontChoice> chooseFont(const FontChoice &initial, FontSizes sizes = {}) = 0;

    // The system's default message beep.
    virtual void beep() = 0;
};

// The installed service. Never null: before anything is installed, a service
// that refuses every question (Cancel / empty) is used, so data code never
// blocks on a missing window.
PromptService &prompts();
// Installs `service` and returns the one it replaces.
std::unique_ptr<PromptService> setPromptService(std::unique_ptr<PromptService> service);

// The fixed prompts shared across the program.
void ShowPostError();          // "Unable to post the data."
void ShowCreateError();        // "Unable to create the new object."
void ShowSettingsSaved();      // "Settings are saved."
bool ConfirmDelete();          // "Delete the record?"
bool ConfirmOverwrite();       // "Overwrite the record?"
// A confirmation titled "Confirm" with Yes and No; true only for Yes.
bool ConfirmYesNo(const QString &text);
void ShowErrorBox(const QString &text);       // titled "Error", OK
void ShowInformationBox(const QString &text); // titled "Information", OK
// A plain message box without an icon, titled "Tessary", OK.
void ShowPlainMessage(const QString &text);

// The general error report: titled "Tessary", error icon, OK. A full stop is
// appended when the text's last character sorts after '.'.
QString errorReportText(const QString &text);
void ShowErrorReport(const QString &text);

// Runs `handler`, showing any exception it raises through the general error
// report, so no error escapes into the event loop. Answers false on error.
bool guarded(const std::function<void()> &handler);

// A service for tests: answers are taken from queues, every question is
// recorded. Message boxes with OK only are answered OK. A question with
// Cancel, an input, file or font dialog with no scripted answer ends the test
// program at once (qFatal) with a message naming the question: an exception
// could be caught by the code under test and turned into a second error box,
// and the test would pass by accident.
class ScriptedPrompts : public PromptService
{
public:
    struct Asked
    {
        QString what;   // "message", "input", "open", "save", "font"
        MessageKind kind = MessageKind::Information;
        QString title;
        QString text;
        bool withCancel = false;
        bool yesNo = false; // a Yes / No question (answered like OK / Cancel)
        QString initial{};  // input dialogs: the text the input starts with; file dialogs: the proposed folder or name
        QString defaultExt{}; // file dialogs: the default extension
        FontChoice font{};  // font dialogs: the font offered at the start
        FontSizes sizes{};  // font dialogs: the sizes offered
    };

    std::vector<Asked> asked;
    std::deque<MessageResult> messageAnswers;        // for questions with Cancel; none left: fatal
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QString> fileAnswers;
    std::deque<std::optional<FontChoice>> fontAnswers;
    int beeps = 0;

    MessageResult message(MessageKind kind, const QString &title, const QString &text, bool withCancel) override;
    // Recorded as a message with yesNo set; Ok in messageAnswers is Yes.
    bool askYesNo(MessageKind kind, const QString &title, const QString &text) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt, int maxLength,
                                     const QString &initial = QString()) override;
    QString openFileName(const QString &title, const QString &filter, const QString &initialDir,
                         const QString &defaultExt = QString()) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &initialDir,
                         const QString &defaultExt) override;
    std::optional<FontChoice> chooseFont(const FontChoice &initial, FontSizes sizes = {}) override;
    void beep() override { ++beeps; }

    // Runs once, while the next question with Cancel is on screen (what
    // changes while the operator reads it), before it is answered.
    std::function<void()> whileAsked;

    // Replaces the fatal end for an unscripted question (tests of this class):
    // called with the message; the question then throws std::logic_error.
    std::function<void(const QString &)> onUnscripted;

    // Texts of all message boxes shown so far, in order.
    QStringList messages() const;
    void clear() { asked.clear(); }

private:
    [[noreturn]] void unscripted(const QString &what);
};

// Installs a ScriptedPrompts for the lifetime of this object and restores the
// previous service afterwards.
class ScopedScriptedPrompts
{
public:
    ScopedScriptedPrompts();
    ~ScopedScriptedPrompts();
    ScriptedPrompts &operator*() { return *m_prompts; }
    ScriptedPrompts *operator->() { return m_prompts; }

private:
    ScriptedPrompts *m_prompts;
    std::unique_ptr<PromptService> m_previous;
};

} // namespace tessary
