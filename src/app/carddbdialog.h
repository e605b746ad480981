#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Card Database": shows which card database is in use and lets the
// operator choose this computer's file or a database on a server, given by
// its connection string. "Test" connects with the text given and says what
// it found, changing nothing. OK refuses a connection string that holds a
// password (the program never stores one); the caller saves the choice.
class TFmCardDb : public QDialog
{
    Q_OBJECT
public:
    // `inUse` describes the database in use; `server` is the connection
    // string of the `Server` setting (empty: this computer).
    TFmCardDb(const QString &inUse, const QString &server, QWidget *parent = nullptr);

    // The connection string chosen; empty for "This computer".
    QString chosenServer() const;

    QLabel *lbInUse = nullptr;
    QRadioButton *rbLocal = nullptr;
    QRadioButton *rbServer = nullptr;
    QLineEdit *eServer = nullptr;
    QPushButton *bTest = nullptr;
    QLabel *lbTest = nullptr;
    QDialogButtonBox *buttons = nullptr;

    void accept() override;

private:
    void updateStates();
    void bTestClick();
};
