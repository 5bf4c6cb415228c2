#pragma once
// DocxPackage: the parts of a package as bytes, the archive they were read
// from, and where the main document part is. It also keeps the package's
// relationships and content-type registry.
#include "DocxContentTypes.h"
#include "DocxRelationships.h"
#include "DocxZip.h"

#include <QString>

class DocxPackage
{
public:
    DocxPackage();
    DocxPackage(const DocxPackage &) = delete;
    DocxPackage &operator=(const DocxPackage &) = delete;

    // The path the package was opened from or is saved to by default.
    const QString &path() const { return path_; }
    void setPath(const QString &path) { path_ = path; }

    DocxEntryMap &entries() { return entries_; }
    const DocxEntryMap &entries() const { return entries_; }
    // The archive as read: unchanged parts are copied from it when packing.
    const DocxZipSource &source() const { return source_; }

    // Reads the archive at `path` into the entry map; false with `err`.
    bool read(const QString &path, QString &err);
    // The same from an archive in memory.
    bool readBytes(const QByteArray &archive, QString &err);
    // Replaces the entry map with `entries`, as if read from no archive.
    void setEntries(const DocxEntryMap &entries);
    // Takes the parts of `other`, with what it read them from, so that the
    // parts neither changes are written as they were read (the bytes are
    // shared until one side changes them); the path stays.
    void copyParts(const DocxPackage &other);
    // Packs the entry map in the fixed DOCX part order (content types, package
    // relationships, document relationships, document, styles, settings, then
    // the rest) and replaces `path` with it; members read from the archive and
    // not changed since are copied as they were.
    bool pack(const QString &path, QString &err) const;
    // The same into `out`.
    bool packBytes(QByteArray &out, QString &err) const;

    // The main document part, as the package relationship of type
    // officeDocument names it.
    const QString &mainPart() const { return mainPart_; }
    // The main part's relationships part ("word/_rels/document.xml.rels") and
    // its folder with a trailing slash ("word/").
    QString mainRelsPart() const;
    QString mainFolder() const;
    // Takes the main part the package relationships name, or else
    // "word/document.xml"; false with `err` when the package has neither.
    bool locateMainPart(QString &err);

    DocxRelationships &relationships() { return relationships_; }
    const DocxRelationships &relationships() const { return relationships_; }
    DocxContentTypes &contentTypes() { return contentTypes_; }
    const DocxContentTypes &contentTypes() const { return contentTypes_; }

private:
    QStringList partOrder() const;

    QString path_;
    DocxEntryMap entries_;
    DocxZipSource source_;
    QString mainPart_;
    DocxRelationships relationships_;
    DocxContentTypes contentTypes_;
};
