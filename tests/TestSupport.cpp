#include "TestSupport.h"

#include "DocxZip_Qt.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <zlib.h>

namespace testing_support {

namespace {

void u16(QByteArray &b, quint32 v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void u32(QByteArray &b, quint32 v)
{
    u16(b, v & 0xFFFF);
    u16(b, v >> 16);
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
        const quint32 offset = quint32(out.size());
        u32(out, 0x04034b50);
        u16(out, 20);
        u16(out, 0);
        u16(out, 0);
        u16(out, 0);
        u16(out, 0);
        u32(out, crc);
        u32(out, quint32(data.size()));
        u32(out, quint32(data.size()));
        u16(out, quint32(name.size()));
        u16(out, 0);
        out += name + data;
        u32(dir, 0x02014b50);
        u16(dir, 20);
        u16(dir, 20);
        u16(dir, 0);
        u16(dir, 0);
        u16(dir, 0);
        u16(dir, 0);
        u32(dir, crc);
        u32(dir, quint32(data.size()));
        u32(dir, quint32(data.size()));
        u16(dir, quint32(name.size()));
        u16(dir, 0);
        u16(dir, 0);
        u16(dir, 0);
        u16(dir, 0);
        u32(dir, 0);
        u32(dir, offset);
        dir += name;
    }
    const quint32 dirOffset = quint32(out.size());
    out += dir;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, quint32(members.size()));
    u16(out, quint32(members.size()));
    u32(out, quint32(dir.size()));
    u32(out, dirOffset);
    u16(out, 0);
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
