#pragma once
// The text document HTML from outside is read into.
#include <QTextDocument>

// A text document for HTML from outside: its images come from data URLs
// only. A path or file URL in the HTML would otherwise put any image file the
// process can read into the document; such images are left out.
class DocxHtmlDocument : public QTextDocument
{
public:
    static bool takesImage(const QString &name);

protected:
    QVariant loadResource(int type, const QUrl &name) override;
};
