#pragma once
// The package container: reading a ZIP archive into an entry map and writing an
// entry map back as a ZIP archive that replaces its target atomically.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// Part name ("word/document.xml") to the part's uncompressed bytes.
using DocxEntryMap = QHash<QString, QByteArray>;

// Bounds on what an archive may inflate to. A deflate stream cannot expand more
// than about 1032 times, so a member declaring more than that is lying.
constexpr qint64 kDocxMaxMemberSize = qint64(1) << 30;   // 1 GiB per part
constexpr qint64 kDocxMaxPackageSize = qint64(2) << 30;  // 2 GiB for all parts together
constexpr qint64 kDocxMaxDeflateRatio = 1032;

// What the reader keeps of one member so that the writer can copy the member's
// compressed bytes unchanged when its part was not edited.
struct DocxZipMember
{
    QByteArray inflated;        // shares its buffer with the entry map until the part is replaced
    qint64 dataOffset = 0;      // of the compressed bytes in DocxZipSource::archive
    quint32 compressedSize = 0;
    quint32 crc = 0;            // computed from the inflated bytes
    quint16 method = 0;
};

// The archive as it was read: its bytes, its members and their order.
struct DocxZipSource
{
    QByteArray archive;
    QHash<QString, DocxZipMember> members;
    QStringList order;

    // The member's record when `bytes` is still the very buffer read from the
    // archive (so its compressed form is current), else null.
    const DocxZipMember *unchangedMember(const QString &name, const QByteArray &bytes) const;
};

// Reads the archive at `path` into `entries`. False with `err` set when the file
// cannot be read, is not a ZIP archive, breaks a size bound or has no
// "word/document.xml". `source`, when given, receives what the writer needs to
// copy unchanged members.
bool docxZipRead(const QString &path, DocxEntryMap &entries, QString &err,
                 DocxZipSource *source = nullptr);
// The same on archive bytes already in memory.
bool docxZipReadBytes(const QByteArray &archive, DocxEntryMap &entries, QString &err,
                      DocxZipSource *source = nullptr);

// Builds the archive in memory: the names of `order` first (those present), then
// the source's remaining members in their original order, then new parts sorted
// by name.
bool docxZipBuild(const DocxEntryMap &entries, const QStringList &order, QByteArray &out,
                  QString &err, const DocxZipSource *source = nullptr);

// Writes `bytes` to `path` + ".tmp", syncs it and renames it over `path`. On any
// failure the file at `path` is left as it was and the temporary file is removed.
bool docxReplaceFile(const QString &path, const QByteArray &bytes, QString &err);

// docxZipBuild followed by docxReplaceFile.
bool docxZipWrite(const DocxEntryMap &entries, const QStringList &order, const QString &path,
                  QString &err, const DocxZipSource *source = nullptr);
