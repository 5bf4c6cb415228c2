#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <zlib.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace testing_support {

namespace {

// `bytes` little-endian bytes of `v`.
void le(QByteArray &b, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

const QByteArray kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

}  // namespace

QString corpusDir()
{
    const QString fromEnvironment = qEnvironmentVariable("LXDOCX_CORPUS_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(LXDOCX_CORPUS_DIR) : fromEnvironment;
}

QStringList corpusFiles()
{
    const QDir dir(corpusDir());
    QStringList files = corpusDir().isEmpty() ? QStringList() : dir.entryList({"*.docx"}, QDir::Files, QDir::Name);
    for (QString &name : files)
        name = dir.absoluteFilePath(name);
    return files;
}

QByteArray makeZip(const Members &members)
{
    QByteArray out, dir;
    for (const auto &[name, data] : members) {
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
        // Flags, method, time and date 0; CRC, both sizes, name length, no extra field.
        auto common = [&](QByteArray &b) {
            le(b, 0, 8), le(b, crc, 4), le(b, quint32(data.size()), 4), le(b, quint32(data.size()), 4);
            le(b, quint32(name.size()), 2), le(b, 0, 2);
        };
        le(dir, 0x02014b50, 4), le(dir, 20, 2), le(dir, 20, 2), common(dir);
        le(dir, 0, 8), le(dir, 0, 2), le(dir, quint32(out.size()), 4);  // no comment, disk, attributes
        dir += name;
        le(out, 0x04034b50, 4), le(out, 20, 2), common(out);
        out += name + data;
    }
    const quint32 dirOffset = quint32(out.size());
    out += dir;
    le(out, 0x06054b50, 4), le(out, 0, 4), le(out, members.size(), 2), le(out, members.size(), 2);
    le(out, quint32(dir.size()), 4), le(out, dirOffset, 4), le(out, 0, 2);
    return out;
}

QByteArray documentXml(const QByteArray &bodyXml)
{
    return kXmlDeclaration
        + "<w:document xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
          "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
          "xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\" "
          "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
          "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
          "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\" "
          "mc:Ignorable=\"w14\"><w:body>" + bodyXml + "</w:body></w:document>";
}

QByteArray makePackage(const QByteArray &document, const Members &extraParts)
{
    Members members = {
        {"[Content_Types].xml",
         kXmlDeclaration + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {"_rels/.rels",
         kXmlDeclaration + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml", document},
    };
    members.insert(members.end(), extraParts.begin(), extraParts.end());
    return makeZip(members);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        return f.readAll();
    ADD_FAILURE() << "cannot read " << path.toStdString() << ": " << f.errorString().toStdString();
    return {};
}

DocxEntryMap readEntries(const QString &path)
{
    DocxEntryMap entries;
    QString err;
    if (!docxZipRead(path, entries, err))
        ADD_FAILURE() << "cannot read the archive " << path.toStdString() << ": " << err.toStdString();
    return entries;
}

int run(const QString &program, const QStringList &args, QString *out, QString *err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << program.toStdString() << ": " << p.errorString().toStdString();
        return -1;
    }
    if (!p.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << program.toStdString() << " did not finish within " << timeoutMs << " ms";
        p.kill(), p.waitForFinished();
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

qint64 statusKb(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

void resetPeakMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

}  // namespace testing_support
