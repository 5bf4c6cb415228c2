#include "DocxNotes.h"

#include "DocxBodyWalk.h"
#include "DocxPartTypes.h"
#include "DocxXml.h"

#include <limits>

namespace {

// Relationship types end alike in transitional and strict markup.
bool isFootnotesRel(const QString &type) { return type.endsWith(QLatin1String("/footnotes")); }
bool isEndnotesRel(const QString &type) { return type.endsWith(QLatin1String("/endnotes")); }
bool isImageRel(const QString &type) { return type == QLatin1String(kRelTypeImage); }

// The notes part of `kind` the main part names; empty when it names none.
QString notesPart(const DocxDocument &doc, DocxNoteKind kind)
{
    const QHash<QString, QString> parts = doc.package().relationships().relatedParts(
        doc.package().mainPart(), kind == DocxNoteKind::Footnote ? isFootnotesRel : isEndnotesRel);
    return parts.isEmpty() ? QString() : parts.begin().value();
}

// A note the text shows: one without a type, or of the type "normal".
bool isContentNote(const QDomElement &note)
{
    const QString type = wAttr(note, QStringLiteral("type"));
    return type.isEmpty() || type == QLatin1String("normal");
}

}  // namespace

QList<std::shared_ptr<QTextDocument>> docxNotes(const DocxDocument &doc, DocxNoteKind kind)
{
    QList<std::shared_ptr<QTextDocument>> notes;
    const QString path = notesPart(doc, kind);
    QDomDocument part;
    QString err;
    if (path.isEmpty() || !parseXml(doc.package().entries().value(path), part, err))
        return notes;
    const DocxImageRels imageRels = doc.package().relationships().relatedParts(path, isImageRel);
    const DocxSectionRange whole{QString(), 0, std::numeric_limits<int>::max()};
    const QLatin1String noteName(kind == DocxNoteKind::Footnote ? "footnote" : "endnote");
    for (QDomElement note = part.documentElement().firstChildElement(); !note.isNull();
         note = note.nextSiblingElement()) {
        if (note.localName() != noteName || !isContentNote(note))
            continue;
        auto qd = std::make_shared<QTextDocument>();
        DocxBodyWalk(doc, whole, *qd, imageRels).run(note);
        notes.append(qd);
    }
    return notes;
}
