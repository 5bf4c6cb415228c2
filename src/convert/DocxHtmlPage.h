#pragma once
// An HTML page from a file as the library's HTML calls take it.
#include <QByteArrayView>
#include <QString>

// The page's text decoded as the page says (see decodeHtml), with the
// pictures it names inside `resourceFolder` put in as data URLs when a
// folder is given (see inlineLocalImages).
QString docxHtmlPage(QByteArrayView bytes, const QString &resourceFolder);
