#pragma once
// Helpers of the page-setup, header/footer, property, style and document-model tests.
#include "DocxDocument.h"
#include "DocxXml.h"
#include "DocxHandle.h"
#include "DocxNamespaces.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

namespace edit_support {
using namespace testing_support;
using Handle = std::unique_ptr<DocxHandle, void (*)(DocxHandle *)>;
using Ints = std::vector<int>;
const QString kRels = QStringLiteral("word/_rels/document.xml.rels"), kTypes = QStringLiteral("[Content_Types].xml");
const QByteArray kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";  // + a type's name

// Writes `package`, when given, to `path` and opens `path` through the C interface.
inline Handle openPackage(const QString &path, const QByteArray &package = {})
{
    EXPECT_TRUE(package.isEmpty() || writeFile(path, package));
    return Handle(lxDocx_open(path.toUtf8().constData()), lxDocx_close);
}

// top, bottom, left, right, header, footer, gutter, mirror.
inline Ints margins(DocxHandle *h)
{
    Ints m(8, -7);
    EXPECT_EQ(lxDocx_get_margins(h, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]), 1);
    return m;
}

inline QDomDocument parsed(const QByteArray &xml)
{
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml(xml, dom, err)) << err.toStdString() << "\n" << xml.toStdString();
    return dom;
}

inline QString childNames(const QDomElement &el)
{
    QStringList names;
    for (QDomElement c = el.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        names << c.localName();
    return names.join(' ');
}

// Per element `ns`:`localName`, the values of `attributes` ("w:", "r:" bound) cut after the last '/' (or '.' of +xml).
inline QStringList attrs(const QByteArray &xml, const char *ns, const char *localName, const QStringList &attributes)
{
    QStringList out;
    const QDomNodeList list = parsed(xml).elementsByTagNameNS(ns, localName);
    for (int i = 0; i < list.size(); ++i) {
        const QDomElement el = list.at(i).toElement();
        QStringList values;
        for (const QString &a : attributes) {
            const char *aNs = a.startsWith("w:") ? kNsW : a.startsWith("r:") ? kNsR : nullptr;
            const QString v = (aNs ? el.attributeNS(aNs, a.mid(2)) : el.attribute(a)).section('/', -1);
            values << (v.endsWith("+xml") ? v.section('.', -1) : v);
        }
        out << values.join(' ');
    }
    return out;
}
// The relationships ("Id Type Target") and content-type overrides ("PartName ContentType") of a part.
inline QStringList relations(const QByteArray &xml) { return attrs(xml, kNsPackageRels, "Relationship", {"Id", "Type", "Target"}); }
inline QStringList overrides(const QByteArray &xml) { return attrs(xml, kNsContentTypes, "Override", {"PartName", "ContentType"}); }

// A relationships part holding `rels`, and one relationship of it.
inline QByteArray relsPart(const QByteArray &rels)
{
    return "<Relationships xmlns=\"" + QByteArray(kNsPackageRels) + "\">" + rels + "</Relationships>";
}
inline QByteArray relEntry(const QByteArray &id, const QByteArray &type, const QByteArray &target, const char *mode = nullptr)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target
        + (mode ? QByteArray("\" TargetMode=\"") + mode : QByteArray()) + "\"/>";
}

// A PNG of one colour; with quality 100, not as Qt would write it again.
inline QByteArray png(int width, int height, const QColor &colour, int quality = -1)
{
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    img.save(&buffer, "PNG", quality);
    return bytes;
}

// Per file, what tools/docx_dump.py reads with python-docx: "body", "links" and "images".
inline QList<QVariantMap> dumped(const QStringList &files)
{
    QString out, err;
    EXPECT_EQ(run(systemPython(), QStringList{toolScript("docx_dump.py")} + files, &out, &err), 0) << err.toStdString();
    QList<QVariantMap> maps;
    for (const QJsonValue &v : QJsonDocument::fromJson(out.toUtf8()).array())
        maps << v.toObject().toVariantMap();
    return maps;
}

}  // namespace edit_support
