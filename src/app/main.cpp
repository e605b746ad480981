#include "app/mainwindow.h"
#include "app/widgetprompts.h"
#include "data/datasrc.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setOrganizationName(QStringLiteral("KESMAR"));
    tessary::setPromptService(std::make_unique<tessary::WidgetPrompts>());

    // The data module first, then the main window; destroyed in reverse.
    tessary::Tdsrc data;
    TVaraDavuz window(data);
    // Another program has this card database open: nothing was opened.
    if (window.databaseInUse())
        return 1;
    window.show();
    return app.exec();
}
