#pragma once

#include <QDialog>
#include <QIcon>

// The about box, "About Vara Davuz": product name, version, logo and a few
// words about the program.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);

    // The program's logo: a small identity card, drawn rather than loaded so
    // the program needs no image files.
    static QIcon logo();
};
