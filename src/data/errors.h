#pragma once

#include <QString>
#include <exception>
#include <string>

namespace tessary {

// The one exception type the program raises for expected failures: database
// errors, settings errors, range errors. Its text is shown to the operator by
// the general error report, so it is written for people.
class Error : public std::exception
{
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// A write refused because another row holds the same value of a unique
// key (on the server: a concurrent station took it first).
class UniqueKeyError : public Error
{
public:
    using Error::Error;
};

// A save found its row changed or deleted since it was read (by another
// station, or another window): nothing was written.
class RowChangedError : public Error
{
public:
    RowChangedError() : Error(QStringLiteral("The record was changed at another station.")) {}

protected:
    explicit RowChangedError(QString message) : Error(std::move(message)) {}
};

// A save found its row gone since it was read (deleted at another station,
// or replaced by a restore or an import there): nothing was written.
class RowDeletedError : public RowChangedError
{
public:
    RowDeletedError() : RowChangedError(QStringLiteral("The record was deleted at another station.")) {}
};

// The card database server could not be reached: the connection was lost
// and could not be opened again. A write that was under way when it broke
// is lost whole (never half done), and says so.
class ServerLostError : public Error
{
public:
    explicit ServerLostError(bool writing)
        : Error(writing ? QStringLiteral("The card database server could not be reached. Nothing was saved.")
                        : QStringLiteral("The card database server could not be reached.")),
          m_writing(writing)
    {
    }
    bool writing() const { return m_writing; }

private:
    bool m_writing;
};

} // namespace tessary
