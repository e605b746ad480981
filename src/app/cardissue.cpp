// Card issuing with the proximity card reader: switching the reader on and
// off, looking up or writing a presented card's number, clearing a number.
#include "mainwindow.h"

#include "reader/reader.h"

using namespace tessary;

void TVaraDavuz::connectCardIssuing()
{
}

bool TVaraDavuz::OpenReader()
{
    return false;
}

void TVaraDavuz::CloseReader()
{
}

void TVaraDavuz::cbReadCardClick()
{
}

void TVaraDavuz::CardCodeReceived(bool, qint32, qint32, const QDateTime &, qint8)
{
}

void TVaraDavuz::bClearNoClick()
{
}
