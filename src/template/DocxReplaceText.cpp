// Replacing text across the stories of a document.
#include "DocxReplaceText.h"

#include "DocxPartParagraphs.h"
#include "DocxStories.h"

#include <QHash>

bool docxReplaceText(DocxDocument &doc, const DocxTextReplace &replace, int &count, QString &err)
{
    count = 0;
    doc.body().store();  // the main part's bytes hold every pending body edit
    DocxEntryMap &entries = doc.package().entries();
    const DocxParagraphEdit edit = [&](const QDomElement &p) {
        DocxParagraphText text(p);
        const int made = replace.apply(text);
        count += made;
        return made > 0;
    };
    QHash<QString, QByteArray> changed;
    for (const QString &part : docxStoryParts(doc)) {
        if (!entries.contains(part))
            continue;
        QByteArray out;
        QString why;
        if (!editPartParagraphs(entries.value(part), edit, out, why)) {
            err = QStringLiteral("%1: %2").arg(part, why);
            count = 0;
            return false;
        }
        if (!out.isEmpty())
            changed.insert(part, out);
    }
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        if (it.key() == doc.package().mainPart())
            doc.body().setBytes(it.value());
        else
            entries.insert(it.key(), it.value());
    }
    return true;
}
