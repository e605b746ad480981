#include "printers/ppdoptions.h"

#include "printers/calibrationcard.h"
#include "printers/printersettings.h"

#include <QFile>
#include <QPrinterInfo>
#include <QStringDecoder>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <unistd.h>

namespace tessary {

namespace {

// One statement of a PPD file: *Main Option/Text: Value.
struct Statement
{
    QByteArray main;
    QByteArray option;
    QByteArray text;
    QByteArray value;
};

// The statements, one a line; a quoted value running over several lines is
// read to its closing quote and kept only up to the end of its first line.
std::vector<Statement> statements(const QByteArray &ppd)
{
    std::vector<Statement> out;
    const QList<QByteArray> lines = ppd.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (!line.startsWith('*') || line.startsWith("*%"))
            continue;
        const qsizetype colon = line.indexOf(':');
        const QByteArray head = colon < 0 ? line.mid(1) : line.mid(1, colon - 1);
        Statement s;
        s.value = colon < 0 ? QByteArray() : line.mid(colon + 1).trimmed();
        const qsizetype space = head.indexOf(' ');
        s.main = (space < 0 ? head : head.left(space)).trimmed();
        if (space >= 0) {
            const QByteArray rest = head.mid(space + 1).trimmed();
            const qsizetype slash = rest.indexOf('/');
            s.option = (slash < 0 ? rest : rest.left(slash)).trimmed();
            s.text = slash < 0 ? QByteArray() : rest.mid(slash + 1).trimmed();
        }
        // An open quote: skip the value's further lines.
        if (s.value.startsWith('"') && s.value.count('"') % 2 == 1) {
            while (i + 1 < lines.size() && !lines.at(i + 1).contains('"'))
                ++i;
            ++i;
        }
        out.push_back(std::move(s));
    }
    return out;
}

QString decode(const QByteArray &text, bool utf8)
{
    if (utf8) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString s = decoder(text);
        if (!decoder.hasError())
            return s;
    }
    return QString::fromLatin1(text);
}

} // namespace

const PpdChoice *PpdOption::choice(const QByteArray &name) const
{
    for (const PpdChoice &c : choices)
        if (c.keyword == name)
            return &c;
    return nullptr;
}

std::vector<PpdOption> parsePpdOptions(const QByteArray &ppd)
{
    const std::vector<Statement> all = statements(ppd);
    bool utf8 = true;
    for (const Statement &s : all)
        if (s.main == "LanguageEncoding")
            utf8 = s.value.compare("ISOLatin1", Qt::CaseInsensitive) != 0;

    std::vector<PpdOption> options;
    const auto find = [&options](const QByteArray &keyword) -> PpdOption * {
        for (PpdOption &o : options)
            if (o.keyword == keyword)
                return &o;
        return nullptr;
    };
    for (const Statement &s : all) {
        if ((s.main == "OpenUI" || s.main == "JCLOpenUI") && s.option.startsWith('*') && s.option.size() > 1 &&
            !find(s.option.mid(1))) {
            PpdOption o;
            o.keyword = s.option.mid(1);
            o.text = s.text.isEmpty() ? QString::fromLatin1(o.keyword) : decode(s.text, utf8);
            options.push_back(std::move(o));
        }
    }
    for (const Statement &s : all) {
        if (s.main.startsWith("Default")) {
            if (PpdOption *o = find(s.main.mid(7)))
                o->defaultChoice = s.value;
        } else if (PpdOption *o = find(s.main); o && !s.option.isEmpty() && !o->choice(s.option)) {
            o->choices.push_back({s.option, s.text.isEmpty() ? QString::fromLatin1(s.option) : decode(s.text, utf8)});
        }
    }
    return options;
}

QString TwoSidedOption::text() const
{
    if (!printsBothSides())
        return QString();
    return QString::fromLatin1(option) + QLatin1Char('=') + QString::fromLatin1(choice);
}

std::optional<TwoSidedOption> TwoSidedOption::fromText(const QString &text)
{
    if (text.isEmpty())
        return TwoSidedOption{};
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0 || equals == text.size() - 1 || text.count(QLatin1Char('=')) != 1 ||
        text.contains(QLatin1Char(' ')))
        return std::nullopt;
    return TwoSidedOption{text.left(equals).toLatin1(), text.mid(equals + 1).toLatin1()};
}

TwoSidedOption defaultTwoSidedOption(const std::vector<PpdOption> &options)
{
    static const TwoSidedOption known[] = {{"Duplex", "DuplexNoTumble"},
                                           {"UTDuplex", "1Both"},
                                           {"DualSidePrinting", "1true"}};
    for (const TwoSidedOption &k : known)
        for (const PpdOption &o : options)
            if (o.keyword == k.option && o.choice(k.choice))
                return k;
    return {};
}

TwoSidedOption chooseTwoSidedOption(const std::vector<PpdOption> &options, const std::optional<TwoSidedOption> &chosen)
{
    if (chosen && !chosen->printsBothSides())
        return *chosen;
    if (chosen)
        for (const PpdOption &o : options)
            if (o.keyword == chosen->option && o.choice(chosen->choice))
                return *chosen;
    return defaultTwoSidedOption(options);
}

QByteArray queuePpd(const QString &queue)
{
    const QByteArray name = queue.section(QLatin1Char('/'), 0, 0).toUtf8();
    if (name.isEmpty())
        return {};
    // libcups keeps the PPD interface only as deprecated; there is no other
    // way to a queue's PPD through the server.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const char *file = cupsGetPPD2(CUPS_HTTP_DEFAULT, name.constData());
#pragma GCC diagnostic pop
    if (!file)
        return {};
    QFile ppd(QString::fromLocal8Bit(file));
    QByteArray text;
    if (ppd.open(QIODevice::ReadOnly))
        text = ppd.read(16 * 1024 * 1024);
    ::unlink(file); // a temporary copy made for us
    return text;
}

std::vector<PpdOption> printerOptions(const QString &queue)
{
    return parsePpdOptions(queuePpd(queue));
}

TwoSidedOption twoSidedOption(const QString &queue)
{
    return chooseTwoSidedOption(printerOptions(queue), PrinterSettings::load(queue).twoSided);
}

PrinterSetup printerSetup(const QString &queue)
{
    PrinterSetup setup{PrinterSettings::load(queue), {}};
    setup.twoSided = chooseTwoSidedOption(printerOptions(queue), setup.settings.twoSided);
    const bool cardSize = cardStockSize(QPrinterInfo::printerInfo(queue).supportedPageSizes()).has_value();
    setup.measuredOn = cardSize ? QPageLayout::Landscape : QPageLayout::Portrait;
    return setup;
}

} // namespace tessary
