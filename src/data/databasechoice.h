#pragma once

// Which card database the program uses: the file "cardinfo.mdb" on this
// computer, or a database on a PostgreSQL server named by the setting
// `Server` (a libpq connection string or a postgresql:// URI). No widgets:
// the "Card Database" dialog and the start-up only call these.

#include <QString>

namespace tessary {

// The setting that names the server; empty or absent: the file.
inline const QString kServerSetting = QStringLiteral("Server");

// The connection string's parts, as libpq reads them.
struct ServerAddress
{
    bool valid = false;  // libpq could read the text
    QString error;       // why not, when it could not
    QString host;        // as given (may be a socket folder); empty: libpq's default
    QString dbname;      // empty: libpq's default (the user's name)
    bool hasPassword = false;
};
ServerAddress parseServerAddress(const QString &conninfo);

// The message refusing a connection string that carries a password.
QString passwordRefusedText();

// Where a server database is, for messages, before (or without) connecting:
// "<dbname> on <host>" as far as the text names them.
QString serverLocation(const QString &conninfo);

// The `Server` setting, trimmed.
QString readServerSetting();
// Saves the `Server` setting (empty: this computer's file). Throws Error
// with passwordRefusedText() for a text holding a password, and with libpq's
// reason for a text libpq cannot read: nothing is saved then.
void saveServerSetting(const QString &conninfo);

// What a connection string leads to, found by connecting once and reading
// the tables; nothing is changed.
struct ServerProbe
{
    enum class Outcome { Connected, NotPrepared, Failed };
    Outcome outcome = Outcome::Failed;
    QString location; // as the server names it, when connected
    QString error;    // Failed: the reason
    qint64 groups = 0;
    qint64 members = 0;
    // The text the dialog shows for this result.
    QString description() const;
};
ServerProbe probeServer(const QString &conninfo);

} // namespace tessary
