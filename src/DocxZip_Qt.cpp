#include "DocxZip_Qt.h"

#include "DocxLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr quint32 kEndRecordSignature = 0x06054b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr qint64 kEndRecordSize = 22;
constexpr qint64 kCentralHeaderSize = 46;
constexpr qint64 kLocalHeaderSize = 30;
constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;
constexpr quint16 kVersion = 20;
constexpr qint64 kMaxZipCount = 0xFFFF;
constexpr qint64 kMaxZipSize = 0xFFFFFFFFLL;
constexpr qint64 kReservePerEntry = 2048;
constexpr qint64 kDeflateStreamSlack = 64;

quint16 readU16(const uchar *p) { return quint16(p[0] | (p[1] << 8)); }
quint32 readU32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

void appendU16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void appendU32(QByteArray &out, quint32 v)
{
    appendU16(out, v & 0xFFFF);
    appendU16(out, v >> 16);
}

quint32 crcOf(const QByteArray &data)
{
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()),
                         uInt(data.size())));
}

// One inflate call into a buffer of exactly the declared size; empty unless the
// stream ends within it. A stream that ends early leaves zero bytes at the end;
// `exact` tells whether the stream filled the buffer exactly.
QByteArray inflateRaw(const char *data, quint32 size, quint32 declaredSize, bool &exact)
{
    exact = size == 0 && declaredSize == 0;
    if (size == 0)
        return {};
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return {};
    QByteArray out(qsizetype(declaredSize), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    zs.avail_in = size;
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = declaredSize;
    const int rc = inflate(&zs, Z_FINISH);
    const uLong produced = zs.total_out;
    exact = rc == Z_STREAM_END && produced == declaredSize && zs.avail_in == 0;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    std::memset(out.data() + produced, 0, declaredSize - produced);  // a stream that ended early
    return out;
}

// One deflate call into a buffer large enough for incompressible data; empty
// when the call does not finish the stream.
QByteArray deflateRaw(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(data.size() + data.size() / 10 + kDeflateStreamSlack, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    const qsizetype produced = qsizetype(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    out.truncate(produced);
    return out;
}

// The highest position of the end record's signature, or -1.
qint64 findEndRecord(const uchar *d, qint64 len)
{
    for (qint64 p = len - kEndRecordSize; p >= 0; --p) {
        if (readU32(d + p) == kEndRecordSignature)
            return p;
    }
    return -1;
}

struct CentralEntry
{
    QString name;
    quint16 method = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint32 localOffset = 0;
};

// Checks the sizes a member declares against what its data could possibly hold
// and against the package bounds; `total` accumulates the inflated sizes.
bool checkDeclaredSize(const CentralEntry &e, qint64 &total, QString &err)
{
    qint64 inflated = e.compressedSize;
    if (e.method == kMethodDeflated) {
        inflated = e.uncompressedSize;
        if (inflated > qint64(e.compressedSize) * kDocxMaxDeflateRatio + kDeflateStreamSlack) {
            err = QStringLiteral("Corrupt ZIP: member \"%1\" declares %2 bytes from %3 compressed bytes")
                      .arg(e.name).arg(e.uncompressedSize).arg(e.compressedSize);
            return false;
        }
    }
    if (inflated > kDocxMaxMemberSize) {
        err = QStringLiteral("Package too large: member \"%1\" holds %2 bytes (limit %3)")
                  .arg(e.name).arg(inflated).arg(kDocxMaxMemberSize);
        return false;
    }
    total += inflated;
    if (total > kDocxMaxPackageSize) {
        err = QStringLiteral("Package too large: parts hold more than %1 bytes").arg(kDocxMaxPackageSize);
        return false;
    }
    return true;
}

struct LocalRecord
{
    QString name;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint32 localOffset = 0;
};

void appendLocalHeader(QByteArray &out, const LocalRecord &r, const QByteArray &name)
{
    appendU32(out, kLocalHeaderSignature);
    appendU16(out, kVersion);
    appendU16(out, 0);  // flags
    appendU16(out, r.method);
    appendU16(out, 0);  // time
    appendU16(out, 0);  // date
    appendU32(out, r.crc);
    appendU32(out, r.compressedSize);
    appendU32(out, r.uncompressedSize);
    appendU16(out, quint32(name.size()));
    appendU16(out, 0);  // extra field
    out.append(name);
}

void appendCentralHeader(QByteArray &out, const LocalRecord &r, const QByteArray &name)
{
    appendU32(out, kCentralHeaderSignature);
    appendU16(out, kVersion);  // made by
    appendU16(out, kVersion);  // needed
    appendU16(out, 0);         // flags
    appendU16(out, r.method);
    appendU16(out, 0);  // time
    appendU16(out, 0);  // date
    appendU32(out, r.crc);
    appendU32(out, r.compressedSize);
    appendU32(out, r.uncompressedSize);
    appendU16(out, quint32(name.size()));
    appendU16(out, 0);  // extra field
    appendU16(out, 0);  // comment
    appendU16(out, 0);  // disk number
    appendU16(out, 0);  // internal attributes
    appendU32(out, 0);  // external attributes
    appendU32(out, r.localOffset);
    out.append(name);
}

QStringList memberOrder(const DocxEntryMap &entries, const QStringList &order, const DocxZipSource *source)
{
    QStringList names;
    QSet<QString> seen;
    auto take = [&](const QString &name) {
        if (entries.contains(name) && !seen.contains(name)) {
            seen.insert(name);
            names.append(name);
        }
    };
    for (const QString &name : order)
        take(name);
    if (source) {
        for (const QString &name : source->order)
            take(name);
    }
    QStringList added;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (!seen.contains(it.key()))
            added.append(it.key());
    }
    std::sort(added.begin(), added.end());
    names += added;
    return names;
}

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qint64>(left, qint64(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace

const DocxZipMember *DocxZipSource::unchangedMember(const QString &name, const QByteArray &bytes) const
{
    const auto it = members.constFind(name);
    if (it == members.cend() || !it->inflated.isSharedWith(bytes) || it->inflated.size() != bytes.size())
        return nullptr;
    return &*it;
}

bool docxZipRead(const QString &path, DocxEntryMap &entries, QString &err, DocxZipSource *source)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        err = QStringLiteral("Cannot open: ") + path;
        return false;
    }
    if (file.size() > kMaxZipSize) {
        err = QStringLiteral("Package too large: %1 is 4 GiB or larger").arg(path);
        return false;
    }
    const QByteArray archive = file.readAll();
    if (archive.size() != file.size()) {
        err = QStringLiteral("Cannot open: ") + path;
        return false;
    }
    file.close();
    return docxZipReadBytes(archive, entries, err, source);
}

bool docxZipReadBytes(const QByteArray &archive, DocxEntryMap &entries, QString &err, DocxZipSource *source)
{
    const auto *d = reinterpret_cast<const uchar *>(archive.constData());
    const qint64 len = archive.size();
    const qint64 end = findEndRecord(d, len);
    if (end < 0) {
        err = QStringLiteral("Not a valid ZIP (EOCD not found)");
        return false;
    }
    const quint16 count = readU16(d + end + 10);
    const quint32 dirSize = readU32(d + end + 12);
    const quint32 dirOffset = readU32(d + end + 16);
    if (qint64(dirOffset) + dirSize > len) {
        err = QStringLiteral("Corrupt ZIP: central directory out of bounds");
        return false;
    }
    if (source) {
        source->archive = archive;
        source->members.clear();
        source->order.clear();
    }

    qint64 pos = dirOffset;
    qint64 total = 0;
    for (int i = 0; i < count; ++i) {
        if (pos + kCentralHeaderSize > len || readU32(d + pos) != kCentralHeaderSignature)
            break;
        const uchar *h = d + pos;
        CentralEntry e;
        e.method = readU16(h + 10);
        e.compressedSize = readU32(h + 20);
        e.uncompressedSize = readU32(h + 24);
        const quint16 nameLen = readU16(h + 28);
        const quint16 extraLen = readU16(h + 30);
        const quint16 commentLen = readU16(h + 32);
        e.localOffset = readU32(h + 42);
        if (pos + kCentralHeaderSize + nameLen > len)
            break;  // a name running past the data ends the walk like a truncated record
        e.name = QString::fromUtf8(reinterpret_cast<const char *>(h + kCentralHeaderSize), nameLen);
        pos += kCentralHeaderSize + nameLen + extraLen + commentLen;
        if (e.name.endsWith(QLatin1Char('/')))
            continue;

        const qint64 local = e.localOffset;
        if (local + kLocalHeaderSize > len || readU32(d + local) != kLocalHeaderSignature)
            continue;
        const qint64 dataStart = local + kLocalHeaderSize + readU16(d + local + 26) + readU16(d + local + 28);
        if (dataStart + qint64(e.compressedSize) > len)
            continue;
        if (e.method != kMethodStored && e.method != kMethodDeflated) {
            zipWarning() << "DocxZip: unsupported compression method" << e.method << "for" << e.name;
            continue;
        }
        if (!checkDeclaredSize(e, total, err))
            return false;

        const char *data = archive.constData() + dataStart;
        QByteArray bytes;
        bool exact = true;  // the member's data gives exactly its bytes, so they can be copied as they are
        if (e.method == kMethodStored) {
            bytes = QByteArray(data, e.compressedSize);
        } else {
            bytes = inflateRaw(data, e.compressedSize, e.uncompressedSize, exact);
            if (bytes.isEmpty() && e.uncompressedSize > 0) {
                zipWarning() << "DocxZip: inflate failed for" << e.name;
                continue;
            }
        }
        if (source) {
            if (!entries.contains(e.name))
                source->order.append(e.name);
            if (exact)
                source->members.insert(e.name, {bytes, dataStart, e.compressedSize, crcOf(bytes), e.method});
            else
                source->members.remove(e.name);
        }
        entries.insert(e.name, bytes);
    }

    if (!entries.contains(QStringLiteral("word/document.xml"))) {
        err = QStringLiteral("Not a valid DOCX: missing word/document.xml");
        return false;
    }
    return true;
}

bool docxZipBuild(const DocxEntryMap &entries, const QStringList &order, QByteArray &out, QString &err,
                  const DocxZipSource *source)
{
    const QStringList names = memberOrder(entries, order, source);
    if (names.size() > kMaxZipCount) {
        err = QStringLiteral("Cannot write ZIP: %1 parts, at most %2 fit").arg(names.size()).arg(kMaxZipCount);
        return false;
    }
    out.clear();
    out.reserve(names.size() * kReservePerEntry);
    QList<LocalRecord> records;
    QList<QByteArray> encodedNames;
    records.reserve(names.size());
    encodedNames.reserve(names.size());

    for (const QString &name : names) {
        const QByteArray &data = entries[name];
        const QByteArray encodedName = name.toUtf8();
        if (encodedName.size() > kMaxZipCount) {
            err = QStringLiteral("Cannot write ZIP: part name longer than %1 bytes: %2").arg(kMaxZipCount).arg(name.left(64));
            return false;
        }
        if (data.size() >= kMaxZipSize) {
            err = QStringLiteral("Cannot write ZIP: part %1 is 4 GiB or larger").arg(name);
            return false;
        }
        LocalRecord r;
        r.name = name;
        r.uncompressedSize = quint32(data.size());
        QByteArray deflated;
        const char *stored = nullptr;
        if (const DocxZipMember *m = source ? source->unchangedMember(name, data) : nullptr) {
            r.method = m->method;
            r.crc = m->crc;
            r.compressedSize = m->compressedSize;
            stored = source->archive.constData() + m->dataOffset;
        } else {
            r.crc = crcOf(data);
            deflated = deflateRaw(data);
            const bool deflateHelps = !deflated.isEmpty() && deflated.size() < data.size();
            r.method = deflateHelps ? kMethodDeflated : kMethodStored;
            const QByteArray &body = deflateHelps ? deflated : data;
            r.compressedSize = quint32(body.size());
            stored = body.constData();
        }
        if (qint64(out.size()) + kLocalHeaderSize + encodedName.size() + r.compressedSize >= kMaxZipSize) {
            err = QStringLiteral("Cannot write ZIP: the archive would be 4 GiB or larger");
            return false;
        }
        r.localOffset = quint32(out.size());
        appendLocalHeader(out, r, encodedName);
        out.append(stored, r.compressedSize);
        records.append(r);
        encodedNames.append(encodedName);
    }

    const qint64 dirOffset = out.size();
    for (qsizetype i = 0; i < records.size(); ++i)
        appendCentralHeader(out, records[i], encodedNames[i]);
    const qint64 dirSize = out.size() - dirOffset;
    if (out.size() + kEndRecordSize >= kMaxZipSize) {
        err = QStringLiteral("Cannot write ZIP: the archive would be 4 GiB or larger");
        return false;
    }
    appendU32(out, kEndRecordSignature);
    appendU16(out, 0);
    appendU16(out, 0);
    appendU16(out, quint32(records.size()));
    appendU16(out, quint32(records.size()));
    appendU32(out, quint32(dirSize));
    appendU32(out, quint32(dirOffset));
    appendU16(out, 0);
    return true;
}

bool docxReplaceFile(const QString &requestedPath, const QByteArray &bytes, QString &err)
{
    // Replace the file a symbolic link points at, not the link itself (nor, for
    // a chain of links, a link in between).
    const QFileInfo requested(requestedPath);
    const QString path = !requested.isSymLink() ? requestedPath
        : requested.exists()                    ? requested.canonicalFilePath()
                                                : requested.symLinkTarget();
    const QByteArray targetName = QFile::encodeName(path);
    struct stat old;
    const bool hadTarget = ::stat(targetName.constData(), &old) == 0;
    // A file marked read-only is not replaced, whoever runs the library.
    const bool readOnly = hadTarget && ((old.st_mode & 0222) == 0 || ::access(targetName.constData(), W_OK) != 0);
    if (hadTarget && (S_ISDIR(old.st_mode) || readOnly)) {
        err = QStringLiteral("Cannot write to: ") + path;
        return false;
    }
    const QString tmpPath = path + QStringLiteral(".tmp");
    const QByteArray tmpName = QFile::encodeName(tmpPath);
    const int fd = ::open(tmpName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        err = QStringLiteral("Cannot write to: ") + tmpPath;
        return false;
    }
    bool ok = writeAll(fd, bytes);
    if (ok && hadTarget)
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (!ok)
        err = QStringLiteral("Cannot write to: %1: %2").arg(tmpPath, systemError());
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = QStringLiteral("Cannot write to: %1: %2").arg(tmpPath, systemError());
    }
    if (ok && ::rename(tmpName.constData(), targetName.constData()) != 0) {
        ok = false;
        err = QStringLiteral("Cannot rename %1 to %2: %3").arg(tmpPath, path, systemError());
    }
    if (!ok) {
        ::unlink(tmpName.constData());
        return false;
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);  // best effort: makes the rename itself durable
        ::close(dirFd);
    }
    return true;
}

bool docxZipWrite(const DocxEntryMap &entries, const QStringList &order, const QString &path, QString &err,
                  const DocxZipSource *source)
{
    QByteArray archive;
    return docxZipBuild(entries, order, archive, err, source) && docxReplaceFile(path, archive, err);
}
