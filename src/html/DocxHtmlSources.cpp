// Where a page's text and pictures come from: its bytes, decoded as the page
// says; pictures a host means to embed, from files of one folder.
#include "DocxHtmlSources.h"
#include "DocxHtmlTokens.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>
#include <QUrl>

namespace {

constexpr qsizetype kCharsetScanBytes = 1024;

// The charset a page declares in its first bytes: <meta charset=X> or
// <meta http-equiv="Content-Type" content="...; charset=X">.
QByteArray declaredCharset(QByteArrayView bytes)
{
    const QString head = QString::fromLatin1(bytes.first(qMin(bytes.size(), kCharsetScanBytes)));
    qsizetype i = 0;
    while ((i = head.indexOf(QLatin1Char('<'), i)) >= 0) {
        DocxHtmlTag tag;
        qsizetype next = i + 1;
        if (readHtmlToken(head, i, tag, next) == DocxHtmlToken::Tag && !tag.end && tag.is("meta")) {
            if (const DocxHtmlAttribute *charset = tag.attribute("charset"))
                return charset->value.trimmed().toLatin1();
            const DocxHtmlAttribute *content = tag.attribute("content");
            const qsizetype at = content ? content->value.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive) : -1;
            if (at >= 0) {
                QStringView v = content->value.mid(at + 8).trimmed();
                const qsizetype end = v.indexOf(QLatin1Char(';'));
                return (end < 0 ? v : v.left(end)).trimmed().toLatin1();
            }
        }
        i = next;
    }
    return {};
}

bool isUtf8Name(const QByteArray &charset)
{
    const QByteArray name = charset.toLower();
    return name == "utf-8" || name == "utf8";
}

// The data URL of a picture file inside `root` named by `src`; empty when the
// name leaves the folder, is no file or holds no picture.
QString pictureDataUrl(const QString &src, const QDir &root)
{
    const DocxLocalPicture picture = readLocalPicture(src, root.path());
    if (picture.status != DocxLocalPicture::Read)
        return {};
    const QString type = picture.format == "svg" ? QStringLiteral("image/svg+xml")
                                                 : QStringLiteral("image/") + QString::fromLatin1(picture.format);
    return QStringLiteral("data:") + type + QStringLiteral(";base64,") + QString::fromLatin1(picture.bytes.toBase64());
}

}  // namespace

QByteArray dataUrlBytes(const QString &name)
{
    if (!name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return {};
    const qsizetype comma = name.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    const QStringView meta = QStringView(name).mid(5, comma - 5);
    const QByteArray payload = QStringView(name).mid(comma + 1).toUtf8();
    return meta.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive) ? QByteArray::fromBase64(payload)
                                                                          : QByteArray::fromPercentEncoding(payload);
}

DocxLocalPicture readLocalPicture(const QString &src, const QString &folder)
{
    DocxLocalPicture picture;
    QString path = src;
    const QUrl url(src);
    if (url.isLocalFile())
        path = url.toLocalFile();
    else if (!url.scheme().isEmpty() && url.scheme().size() > 1)
        return picture;  // another scheme, data URLs included
    path = QUrl::fromPercentEncoding(path.toUtf8());
    const QDir root(folder);
    const QString base = root.canonicalPath();
    if (path.isEmpty() || folder.isEmpty() || base.isEmpty())
        return picture;
    picture.status = DocxLocalPicture::Outside;
    const QString canonical = QFileInfo(QDir::isAbsolutePath(path) ? path : root.filePath(path)).canonicalFilePath();
    if (canonical.isEmpty()) {
        const QString cleaned = QDir::cleanPath(QDir::isAbsolutePath(path) ? path : root.absoluteFilePath(path));
        if (cleaned.startsWith(QDir(folder).absolutePath() + QLatin1Char('/')))
            picture.status = DocxLocalPicture::Missing;
        return picture;
    }
    if (!canonical.startsWith(base + QLatin1Char('/')))
        return picture;
    picture.status = DocxLocalPicture::Missing;
    QFile f(canonical);
    if (!f.open(QIODevice::ReadOnly))
        return picture;
    picture.bytes = f.readAll();
    QBuffer buffer;
    buffer.setData(picture.bytes);
    buffer.open(QIODevice::ReadOnly);
    picture.format = QImageReader::imageFormat(&buffer);
    picture.status = picture.format.isEmpty() ? DocxLocalPicture::NoPicture : DocxLocalPicture::Read;
    return picture;
}

QString decodeHtml(QByteArrayView bytes)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.sliced(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes[0] == '\xFF' ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = decoder.decode(bytes.sliced(2));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            // Not UTF-8 whatever the page says: the encoding it declares, or
            // the one most pages in an 8-bit encoding are in.
            QByteArray declared = declaredCharset(bytes);
            if (declared.isEmpty() || isUtf8Name(declared) || !QStringDecoder(declared.constData()).isValid())
                declared = "windows-1252";
            QStringDecoder decoder(declared.constData());
            text = decoder.decode(bytes);
        }
    }
    text.remove(QChar(0));
    return text;
}

QString inlineLocalImages(const QString &html, const QString &folder)
{
    const QDir root(folder);
    if (!root.exists())
        return html;
    QString out;
    qsizetype copied = 0;
    qsizetype i = 0;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        DocxHtmlTag tag;
        qsizetype next = i + 1;
        if (readHtmlToken(html, i, tag, next) == DocxHtmlToken::Tag && !tag.end && tag.is("img")) {
            if (const DocxHtmlAttribute *src = tag.attribute("src")) {
                const QString url = pictureDataUrl(src->value.trimmed().toString(), root);
                if (!url.isEmpty()) {
                    DocxHtmlTagEdit edit(html, tag);
                    edit.replaceValue(*src, url);
                    out += QStringView(html).mid(copied, tag.start - copied);
                    edit.appendTo(out);
                    copied = tag.next;
                }
            }
        }
        i = next;
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    return out;
}
