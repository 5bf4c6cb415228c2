#include "TestSupport.h"

#include "DocxZip_Qt.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <zlib.h>

namespace testing_support {

namespace {

// `bytes` little-endian bytes of `v`.
void le(QByteArray &b, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

QString corpusDir()
{
    const QString fromEnvironment = qEnvironmentVariable("LXDOCX_CORPUS_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(LXDOCX_CORPUS_DIR) : fromEnvironment;
}

QStringList corpusFiles()
{
    const QString folder = corpusDir();
    if (folder.isEmpty())
        return {};
    QDir dir(folder);
    QStringList files;
    for (const QString &name : dir.entryList({QStringLiteral("*.docx")}, QDir::Files, QDir::Name))
        files.append(dir.absoluteFilePath(name));
    return files;
}

QByteArray makeZip(const std::vector<std::pair<QByteArray, QByteArray>> &members)
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
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<w:document xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
           "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
           "xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\" "
           "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\" "
           "mc:Ignorable=\"w14\"><w:body>"
        + bodyXml + "</w:body></w:document>";
}

QByteArray makePackage(const QByteArray &document, const std::vector<std::pair<QByteArray, QByteArray>> &extraParts)
{
    std::vector<std::pair<QByteArray, QByteArray>> members = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/word/document.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml", document},
    };
    for (const auto &p : extraParts)
        members.push_back(p);
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
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

DocxEntryMap readEntries(const QString &path)
{
    DocxEntryMap entries;
    QString err;
    docxZipRead(path, entries, err);
    return entries;
}

int run(const QString &program, const QStringList &args, QString *out, QString *err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    p.waitForFinished(timeoutMs);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString systemPython() { return QStringLiteral(LXDOCX_PYTHON); }
QString unzipProgram() { return QStringLiteral(LXDOCX_UNZIP); }
QString toolScript(const QString &name) { return QStringLiteral(LXDOCX_TOOLS_DIR "/") + name; }

}  // namespace testing_support
