#pragma once

#include "data/datasrc.h"
#include "data/errors.h"
#include "members/memberstore.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLockFile;
class QMenu;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class TRfidReader;

namespace tessary {
class CardOutput;
class ImageControl;
class QueryTableModel;
}

// The main window: the group list and the members of the selected group on
// the left, the detail pane of the current member on the right, the menu
// bar and the status-bar counts. The window's operations are spread over
// several source files by subject: listing and display (mainwindow.cpp),
// member editing (members.cpp), groups (groups.cpp), photos (photos.cpp) and
// card issuing (cardissue.cpp).
class TVaraDavuz : public QMainWindow
{
    Q_OBJECT
public:
    // `programFolder` is the folder of the program; empty means the folder
    // of the program file. The card database is there when the folder is
    // writable, else in the user's data folder (tessary::chooseDataFolder,
    // with the check of tessary::folderWritableCheck).
    explicit TVaraDavuz(tessary::Tdsrc &data, const QString &programFolder = QString(), QWidget *parent = nullptr);
    ~TVaraDavuz() override;

    // True when another program had the card database open at start-up:
    // this window then opened nothing and the program ends.
    bool databaseInUse() const { return m_databaseInUse; }

    // State. ProgramFolder is the folder holding the card database and the
    // export template.
    QString ProgramFolder;
    QString DatabasePath;
    // The card database's choice (carddb.cpp): the connection string of the
    // server in use, empty for the file DatabasePath. "Card Database…"
    // changes it and opens the database chosen.
    QString DatabaseServer;
    QAction *actCardDb = nullptr;
    void actCardDbExecute();
    QString SortOrder;
    int CurrentGroupId = 0;

    // Listing and display
    void ReloadAll();
    void UpdateCounts();
    void ShowSelectedGroup();
    void ShowGroupById(int id);
    void ShowCurrentMember();
    void ClearDetails();
    // The ORDER BY text actually used for the member list: SortOrder when it
    // is one the sort command writes, else "name".
    QString effectiveSortOrder() const;

    // Member editing
    void StoreDetails();
    void bSaveClick();
    void bDeleteClick();
    void bDelAllClick();
    void dbgInfoTitleClick(int column);

    // Groups
    void bNewGrpClick();
    void bRemoveClick();
    void MoveMemberToGroup(int groupId);

    // Photos
    void bPhotoClick();
    void bpClearClick();
    void bRotateClick();
    void bResizeAllClick();
    // True once the operator changed the picture of the member shown (Photo,
    // Clear, Rotate); only then is the photo stored anew.
    bool photoChanged() const { return m_photoChanged; }

    // Data exchange (exchange.cpp): backup, restore, import, export.
    void actBackupExecute();
    void actRestoreExecute();
    void actImportExecute();
    void actExportExecute();

    // Card issuing. The reader link exists only while "Allow Reader On
    // Port" is ticked; it serves the port chosen in sePort.
    void cbReadCardClick();
    // Sets up and opens the link; on failure switches the reader off again,
    // tells the operator and answers false.
    bool OpenReader();
    // Closes the link's port (the link itself stays until switched off).
    void CloseReader();
    // A card was presented on `port`: look it up, or store it in the
    // current member when "Add Card No" is ticked.
    void CardCodeReceived(bool offline, qint32 port, qint32 code, const QDateTime &stamp, qint8 cmode);
    void bClearNoClick();
    TRfidReader *reader() const { return m_reader.get(); }

    // The data module and the status-bar panel texts.
    tessary::Tdsrc &data() { return m_data; }

    // Where the card commands send their pages: the default printer and the
    // preview window; replaceable.
    std::unique_ptr<tessary::CardOutput> cardOutput;
    QString statusText(int panel) const;

    // Controls, named as their objectName.
    QComboBox *lstGroup = nullptr;
    QPushButton *bNewGrp = nullptr;
    QPushButton *bRemove = nullptr;
    QTableView *dbgInfo = nullptr;
    QMenu *puMenu = nullptr;
    QPushButton *bDelete = nullptr;
    QPushButton *bDelAll = nullptr;
    QPushButton *bClearNo = nullptr;
    QPushButton *bPreview = nullptr;
    QPushButton *bPrint = nullptr;
    QPushButton *bPrintAll = nullptr;
    QGroupBox *gbList = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *gbDetails = nullptr;
    QLineEdit *eStaffNo = nullptr;
    QLineEdit *eName = nullptr;
    QLineEdit *eCname = nullptr;
    QLineEdit *ePost = nullptr;
    QDateEdit *dpJoin = nullptr;
    QDateEdit *dpExpiry = nullptr;
    QLineEdit *eRemark = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    tessary::ImageControl *imgPhoto = nullptr;
    QPushButton *bRotate = nullptr;
    QPushButton *bPhoto = nullptr;
    QPushButton *bpClear = nullptr;
    QPushButton *bSave = nullptr;
    QPushButton *bClear = nullptr;
    QPushButton *bResizeAll = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QCheckBox *cbReadCard = nullptr;
    QSpinBox *sePort = nullptr;
    QCheckBox *cbWrite = nullptr;
    QGroupBox *gbPostAction = nullptr;
    QButtonGroup *rgPost = nullptr;
    QLabel *sbPanels[3] = {nullptr, nullptr, nullptr};
    // Shown while the card database server is away.
    QLabel *sbServer = nullptr;
    static QString reconnectingText();

    QAction *actAbout = nullptr;
    QAction *actExit = nullptr;
    QAction *actBackup = nullptr;
    QAction *actRestore = nullptr;
    QAction *actImport = nullptr;
    QAction *actLayout = nullptr;
    QAction *actPreview = nullptr;
    QAction *actPrint = nullptr;
    QAction *actCheckList = nullptr;
    QAction *actExport = nullptr;
    // Keys without a menu item: Ctrl+S clicks Save, Delete in the grid
    // clicks Delete.
    QAction *actSave = nullptr;
    QAction *actDelete = nullptr;

signals:
    // The operator saved, deleted or moved members here.
    void membersChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    // Shortcuts of the menu items and buttons (keyboard.cpp).
    void buildShortcuts();
    // Disables what cannot work without a card database, or while its
    // server is away, each with a tooltip that says why (the status bar
    // says the server is away); enables it again once one is open.
    void updateCommandStates();
    void startUp();
    void shutDown();
    void connectListing();
    void connectMemberEditing();
    void connectGroupCommands();
    void connectPhotoCommands();
    void connectCardIssuing();
    void connectExchangeCommands();
    void syncGridToQuery(int row);
    // Takes the lock file beside the card database; false (after telling
    // the operator) when another program holds it.
    bool lockDatabase();
    // Opens the card database the settings choose (carddb.cpp); false after
    // telling the operator why it could not be opened. Lists nothing.
    bool openCardDatabase();
    // Closes the database in use and opens the one chosen now, listed anew;
    // on failure the window is left empty with the commands disabled.
    void reopenCardDatabase();
    // What the commands' tooltips and the dialog name as the database.
    QString databaseWhereabouts() const;
    // After a failed start-up: lists the group shown in the group box, or
    // nothing.
    void listShownGroupOrNothing();
    // Rebuilds the context menu, lists the members of CurrentGroupId and
    // refreshes the counts.
    void listCurrentGroup();
    // Live lists (liveupdate.cpp): another station changed the card
    // database; the group list, the member list and the counts follow,
    // keeping the group and member shown, and the edits typed in the pane.
    void connectLiveUpdates();
    void followRemoteChanges();
    // The server away and back (reconnect.cpp).
    void connectReconnection();
    void followReconnect();
    // Runs a refill of the lists that no operator asked for: a server found
    // away meanwhile is shown by the status bar, not by a message.
    void quietWhileServerAway(const std::function<void()> &refill);
    // Lists the current group again and makes the member `seq` current
    // where it is still listed.
    void relistKeeping(qint64 seq);
    // A save or move found the member changed at another station: says so
    // and shows the member as it is now.
    void showChangedElsewhere(qint64 seq, const tessary::RowChangedError &error);
    void showDeletedElsewhere();
    bool shownMemberGone(const QString &name);
    QString editedMemberName() const;
    // True when the pane holds edits: it differs from what it was filled with.
    bool paneEdited() const;
    QStringList paneTexts() const;
    void showAbout();
    // "Card Layout": the layout dialog, modal; its previews go to cardOutput.
    void actLayoutExecute();

    tessary::Tdsrc &m_data;
    std::shared_ptr<QLockFile> m_lock;
    bool m_databaseInUse = false;
    // The stored photo bytes of the member shown, and whether the operator
    // has changed the picture since it was shown.
    QByteArray m_shownPhoto;
    bool m_photoChanged = false;
    // The member shown in the pane as it was read, and what the pane showed.
    tessary::MemberRef m_shown;
    QStringList m_shownTexts;
    QTimer *m_remoteChange = nullptr;
    QTimer *m_reconnectRefill = nullptr;
    void changePhoto(const std::function<void()> &command);
    std::unique_ptr<tessary::QueryTableModel> m_model;
    std::unique_ptr<TRfidReader> m_reader;
    // While a bulk command walks the list the grid is brought to the current
    // row once at the end instead of after every row.
    bool m_deferGridSync = false;
    bool m_syncingGrid = false;
};
