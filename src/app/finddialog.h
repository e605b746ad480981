#pragma once

#include "members/membersearch.h"

#include <QDate>
#include <QTimer>
#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class TVaraDavuz;

// "Find Member": a non-modal window of the main window that lists members of
// every group by part of their name, second-script name, staff number or
// card number, or by the expiry of their card. Choosing a hit lists its
// group in the main window with that member current; "Print Found" prints
// the cards of the listed members.
class TFmFind : public QWidget
{
    Q_OBJECT
public:
    explicit TFmFind(TVaraDavuz &main);

    // The day the expiry windows count from; invalid means today.
    QDate today;
    // How long typing must pause before the list follows, in ms.
    static constexpr int DebounceMs = 150;

    // Lists what the text box or the expiry choice asks for, now.
    void runSearch();
    // Lists the group of the hit on `row` in the main window, with that
    // member current and shown.
    void chooseHit(int row);
    // "Print Found": the cards of the listed members, after a question that
    // says how many print.
    void printFound();
    // The question "Print Found" asks.
    QString printFoundQuestion() const;
    const std::vector<tessary::FoundMember> &found() const { return m_found; }

    QLineEdit *eFind = nullptr;
    QComboBox *cbExpiring = nullptr;
    QTreeWidget *lvFound = nullptr;
    QLabel *lCount = nullptr;
    QPushButton *bPrintFound = nullptr;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void showFound(const tessary::FoundMembers &found);

    TVaraDavuz &m_main;
    tessary::MemberSearch m_search;
    std::vector<tessary::FoundMember> m_found;
    int m_total = 0;
    QTimer m_debounce;
    bool m_searched = false;
};
