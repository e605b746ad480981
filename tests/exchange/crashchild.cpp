// A child process for the crash-consistency test: does one backup, restore
// or import on a program folder, every question answered by script, and
// tells on stdout how far it got, so the test can kill it at chosen moments.
//
// usage: crashchild backup  <program folder> <target>
//        crashchild restore <program folder> <source>
//        crashchild import  <program folder> <workbook>

#include "data/datasrc.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "exchange/databasefiles.h"
#include "exchange/spreadsheetimport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace tessary;

namespace {

// One line per stored row: the test may kill the child right after one.
class ReportingProgress : public CountingProgress
{
public:
    void StepIt() override
    {
        CountingProgress::StepIt();
        std::printf("row %d\n", steps());
        std::fflush(stdout);
    }
};

void say(const char *what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: crashchild backup|restore|import <program folder> <file>\n");
        return 2;
    }
    const QString operation = args.at(1);
    const QString database = QDir(args.at(2)).filePath(kCardDatabaseName);
    const QString file = args.at(3);

    ScopedScriptedPrompts prompts;
    Tdsrc data;
    data.src.setConnectionString(cardConnectionString(database));
    data.src.connect();
    data.QGroup.open();
    data.QStaff.open();
    say("ready");

    bool done = false;
    if (operation == QLatin1String("backup")) {
        prompts->fileAnswers.push_back(file);
        prompts->messageAnswers.push_back(MessageResult::Ok); // "Overwrite the file?"
        done = DatabaseFiles(data, database).Backup();
    } else if (operation == QLatin1String("restore")) {
        prompts->fileAnswers.push_back(file);
        prompts->messageAnswers.push_back(MessageResult::Ok);
        done = DatabaseFiles(data, database).Restore();
    } else if (operation == QLatin1String("import")) {
        ReportingProgress progress;
        done = SpreadsheetImport(data, progress).importFile(file) == SpreadsheetImport::Outcome::Completed;
    }
    say(done ? "done" : "failed");
    return done ? 0 : 1;
}
