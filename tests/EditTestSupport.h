#pragma once
// Helpers of the page-setup, header/footer, property and style tests: handles
// through the C interface, XML inspection, the command line, and python-docx's
// reading of saved packages.
#include "DocxDocumentXml.h"
#include "DocxHandle.h"
#include "DocxNamespaces.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace edit_support {

using Handle = std::unique_ptr<DocxHandle, void (*)(DocxHandle *)>;

inline Handle openFile(const QString &path) { return Handle(lxDocx_open(path.toUtf8().constData()), lxDocx_close); }
// Writes `package` to `path` and opens it through the C interface.
inline Handle openPackage(const QString &path, const QByteArray &package)
{
    EXPECT_TRUE(testing_support::writeFile(path, package));
    return openFile(path);
}
inline Handle createBlank(const QString &path)
{
    return Handle(lxDocx_create_blank(path.toUtf8().constData()), lxDocx_close);
}
inline bool saveAs(DocxHandle *h, const QString &path) { return lxDocx_save_as(h, path.toUtf8().constData()) == 1; }

// top, bottom, left, right, header, footer, gutter, mirror as the C interface reads them.
inline std::vector<int> margins(DocxHandle *h)
{
    std::vector<int> m(8, -7);
    EXPECT_EQ(lxDocx_get_margins(h, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]), 1);
    return m;
}

// The DOM of `xml`; fails the test when it is not well-formed.
inline QDomDocument parsed(const QByteArray &xml)
{
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml(xml, dom, err)) << err.toStdString() << "\n" << xml.toStdString();
    return dom;
}

// Every element of `xml` in `ns` named `localName`, in document order.
inline QList<QDomElement> elements(const QByteArray &xml, const char *ns, const char *localName)
{
    const QDomNodeList list = parsed(xml).elementsByTagNameNS(QString::fromLatin1(ns), QString::fromLatin1(localName));
    QList<QDomElement> out;
    for (int i = 0; i < list.size(); ++i)
        out << list.at(i).toElement();
    return out;
}

// Local names of the element children of `el`, in order.
inline QStringList childNames(const QDomElement &el)
{
    QStringList names;
    for (QDomElement c = el.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        names << c.localName();
    return names;
}

// "Id type Target" of each relationship, the type shortened to its last segment.
inline QStringList relations(const QByteArray &rels)
{
    QStringList out;
    for (const QDomElement &r : elements(rels, kNsPackageRels, "Relationship"))
        out << r.attribute("Id") + " " + r.attribute("Type").section('/', -1) + " " + r.attribute("Target");
    return out;
}

// "PartName type" of each content-type override, the type shortened after its last '.'.
inline QStringList overrides(const QByteArray &types)
{
    QStringList out;
    for (const QDomElement &o : elements(types, kNsContentTypes, "Override"))
        out << o.attribute("PartName") + " " + o.attribute("ContentType").section('.', -1);
    return out;
}

// Runs the lxdocx command line.
inline int cli(const QStringList &args, QString *out, QString *err)
{
    return testing_support::run(QStringLiteral(LXDOCX_CLI), args, out, err, 60000);
}

// What python-docx reads of each file (tools/docx_sections.py), in one run.
inline QJsonObject pythonRead(const QStringList &paths)
{
    QString out, err;
    const int rc = testing_support::run(testing_support::systemPython(),
                                        QStringList{testing_support::toolScript("docx_sections.py")} + paths, &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    const QJsonObject all = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(all.size(), paths.size()) << out.toStdString() << err.toStdString();
    return all;
}

}  // namespace edit_support
