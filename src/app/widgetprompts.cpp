#include "widgetprompts.h"

#include "fontdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace tessary {

QString qtFileFilter(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Descriptions often already name their patterns in brackets.
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (") + patterns + QLatin1Char(')');
        else
            description = description.left(description.indexOf(QLatin1Char('('))).trimmed() +
                          QStringLiteral(" (") + patterns + QLatin1Char(')');
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

MessageResult WidgetPrompts::message(MessageKind kind, const QString &title, const QString &text, bool withCancel)
{
    QMessageBox box;
    switch (kind) {
    case MessageKind::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageKind::Information: box.setIcon(QMessageBox::Information); break;
    case MessageKind::Confirmation: box.setIcon(QMessageBox::Question); break;
    case MessageKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageKind::Plain: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setWindowTitle(title);
    box.setText(text);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    QPushButton *cancel = nullptr;
    if (withCancel) {
        cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.exec();
    if (withCancel && box.clickedButton() != ok)
        return MessageResult::Cancel;
    return MessageResult::Ok;
}

bool WidgetPrompts::askYesNo(MessageKind kind, const QString &title, const QString &text)
{
    QMessageBox box;
    box.setIcon(kind == MessageKind::Confirmation ? QMessageBox::Question : QMessageBox::Warning);
    box.setWindowTitle(title);
    box.setText(text);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<QString> WidgetPrompts::inputText(const QString &caption, const QString &prompt, int maxLength,
                                                const QString &initial)
{
    QInputDialog dialog;
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (QLineEdit *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(maxLength);
    dialog.setTextValue(initial);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString WidgetPrompts::openFileName(const QString &title, const QString &filter, const QString &initialDir,
                                    const QString &defaultExt)
{
    QFileDialog dialog(nullptr, title, initialDir, qtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile); // the chosen file must exist
    if (!defaultExt.isEmpty())
        dialog.setDefaultSuffix(defaultExt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString WidgetPrompts::saveFileName(const QString &title, const QString &filter, const QString &initialDir,
                                    const QString &defaultExt)
{
    QFileDialog dialog(nullptr, title, initialDir, qtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Commands that replace a file ask their own question (or none).
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!defaultExt.isEmpty())
        dialog.setDefaultSuffix(defaultExt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<FontChoice> WidgetPrompts::chooseFont(const FontChoice &initial, FontSizes sizes)
{
    FontDialog dialog(initial, sizes);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

void WidgetPrompts::beep()
{
    QApplication::beep();
}

} // namespace tessary
