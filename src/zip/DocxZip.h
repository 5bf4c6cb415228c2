#pragma once
// The package container: reading a ZIP archive into an entry map and writing an
// entry map back as a ZIP archive that replaces its target atomically.
#include <QByteArray>
#include <QByteArrayView>
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

// File names and member names as the bytes the system or the archive holds.
// Valid UTF-8 is decoded; every byte that is not part of valid UTF-8 becomes
// one of U+DC80..U+DCFF, which encoding turns back into that very byte, so a
// name that is no UTF-8 (legal on Linux) survives the trip through a QString.
QString docxDecodeName(QByteArrayView bytes);
QByteArray docxEncodeName(const QString &name);

// True when a member name stays inside the package: relative, with forward
// slashes only and no "." or ".." segment.
bool docxMemberNameIsInside(const QString &name);

// What the reader keeps of one member so that the writer can copy the member
// unchanged when its part was not edited.
struct DocxZipMember
{
    QByteArray inflated;  // shares its buffer with the entry map until the part is replaced
    QByteArray stored;    // the member's data as the archive holds it (the same buffer when stored)
    quint32 crc = 0;
    quint16 method = 0;
    quint16 dosTime = 0;  // as the archive gives them
    quint16 dosDate = 0;
};

// The archive as it was read: its members and their order.
struct DocxZipSource
{
    QHash<QString, DocxZipMember> members;
    QStringList order;

    // The member's record when `bytes` is still the very buffer read from the
    // archive (so its stored form is current), else null.
    const DocxZipMember *unchangedMember(const QString &name, const QByteArray &bytes) const;
};

// Reads the archive at `path` into `entries`: the end record from the file's
// tail, then the central directory and the members it names, each checked
// against its CRC. False with `err` set when the file is no regular file,
// cannot be read, is not a ZIP archive, breaks a size bound, or holds a member
// that cannot be decoded exactly or whose name leaves the package. `source`,
// when given, receives what the writer needs to copy unchanged members.
bool docxZipRead(const QString &path, DocxEntryMap &entries, QString &err,
                 DocxZipSource *source = nullptr);
// The same on archive bytes already in memory.
bool docxZipReadBytes(const QByteArray &archive, DocxEntryMap &entries, QString &err,
                      DocxZipSource *source = nullptr);

// Builds the archive in memory: the names of `order` first (those present), then
// the source's remaining members in their original order, then new parts sorted
// by name. Unchanged members keep their stored bytes and date; the others are
// dated with the local time of the build.
bool docxZipBuild(const DocxEntryMap &entries, const QStringList &order, QByteArray &out,
                  QString &err, const DocxZipSource *source = nullptr);

// Writes `bytes` to a new temporary file beside `path`, syncs it and renames it
// over `path` (through symbolic links, the file at their end). On any failure
// the file at `path` is left as it was, the temporary file is removed and `err`
// names the path and the system's reason.
bool docxReplaceFile(const QString &path, const QByteArray &bytes, QString &err);

// docxZipBuild followed by docxReplaceFile.
bool docxZipWrite(const DocxEntryMap &entries, const QStringList &order, const QString &path,
                  QString &err, const DocxZipSource *source = nullptr);
