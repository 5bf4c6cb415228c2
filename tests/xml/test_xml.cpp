// Parsing and writing XML parts: what the package model must keep of a part.
#include "DocxXml.h"
#include "DocxNamespaces.h"

#include <gtest/gtest.h>

namespace {

QDomDocument parsed(const QByteArray &xml)
{
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml(xml, dom, err)) << err.toStdString();
    return dom;
}

}  // namespace

// New elements in an undeclared namespace declare it once, on the root; a part comes back byte for byte (indented on
// request) however many names it has; markup is escaped and characters XML cannot carry are dropped.
TEST(Xml, WritingKeepsNamesNamespacesAndEscapes)
{
    QDomDocument dom = parsed("<w:body xmlns:w=\"" + QByteArray(kNsW) + "\"/>");
    for (int i = 0; i < 3; ++i)
        dom.documentElement().appendChild(dom.createElementNS(kNsW, "w:hyperlink")).toElement().setAttributeNS(
            kNsR, "r:id", QString("rId%1").arg(i));
    QByteArray out = serializeXml(dom, 0);
    EXPECT_TRUE(out.startsWith("<w:body xmlns:r=") && out.count("xmlns:r=") == 1) << out.toStdString();
    EXPECT_EQ(parsed(out).elementsByTagNameNS(kNsW, "hyperlink").at(2).toElement().attributeNS(kNsR, "id"), "rId2");
    const QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\""
                            + QByteArray(kNsPackageRels) + "\"><Relationship Id=\"rId1\" Target=\"a&amp;b.xml\" Type=\"t\"/>"
                            "</Relationships>";
    EXPECT_EQ(serializeXml(parsed(rels), 0), rels);
    EXPECT_TRUE(serializeXml(parsed(rels), 2).contains("\n  <Relationship "));
    QByteArray many = "<r xmlns:a=\"urn:a\" xmlns:b=\"urn:b\">";  // the parser's name table grows while names are in use
    for (int i = 0; i < 200; ++i)
        many += QString("<a:e%1 a:m%1=\"x\" b:k%1=\"%1\"/>").arg(i).toUtf8();
    EXPECT_EQ(serializeXml(parsed(many + "</r>"), 0), many + "</r>");
    dom = parsed("<a/>");
    dom.documentElement().setAttribute("v", "x\"<&>\ny");
    dom.documentElement().appendChild(dom.createTextNode(QString("1<2 & 3>2 ") + QChar(0xFFFE) + QChar(0x1) + "\r"));
    out = serializeXml(dom, 0);
    EXPECT_EQ(out, "<a v=\"x&quot;&lt;&amp;&gt;&#10;y\">1&lt;2 &amp; 3&gt;2 &#13;</a>");
    EXPECT_EQ(parsed(out).documentElement().attribute("v"), "x\"<&>\ny");
}

// What is not XML, or could expand without bound, is refused by both readers with where and why; names the stream
// reader takes but XML does not allow would make a part no reader opens (found by fuzzing the re-save path).
TEST(Xml, RefusesMalformedMarkupSayingWhere)
{
    static const char withNul[] = "<a xmlns:w='urn:w' w:lin\0e='1'/>";
    const QByteArray dtd = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;"
                           "&x;&x;&x;\">]><a>&y;</a>";
    const QString line1 = "XML parse error at line 1 col ";
    const std::pair<QByteArray, QString> bad[] = {
        {"<a>\n<b>\n  <c x='1'></b></a>", "XML parse error at line 3 col 15: Opening and ending tag mismatch."},
        {"", "XML parse error at line"}, {dtd, line1},
        {"<a xmlns:w='urn:w' w: ='1'/>", line1}, {"<a xmlns:w='urn:w' w:li\x01ne='1' w:line='2'/>", line1},
        {QByteArray(withNul, sizeof withNul - 1), line1}, {"<a:b:c xmlns:a='urn:a'/>", line1},
        {"<a xmlns:w='urn:w' xmlns:w='urn:v'/>", line1}, {"<a x~y='1'/>", line1}};
    for (const auto &[xml, text] : bad) {
        QDomDocument dom;
        QString parseErr, checkErr;
        EXPECT_FALSE(parseXml(xml, dom, parseErr) || checkXml(xml, checkErr)) << xml.toStdString();
        EXPECT_TRUE(parseErr.startsWith(text) && parseErr == checkErr) << parseErr.toStdString();
        EXPECT_FALSE(parseErr.contains(QChar(0)) || parseErr.contains(QChar(1))) << "control characters in the message";
        EXPECT_TRUE(xml != dtd || parseErr.contains("Document type declarations are not allowed")) << parseErr.toStdString();
    }
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml("<\xC3\xBC:\xC3\xA4 xmlns:\xC3\xBC='urn:x' \xC3\xBC:o\xC2\xB7-.9='1' \xF0\x90\x80\x80x='2'/>", dom,
                         err)) << err.toStdString();
    EXPECT_EQ(dom.documentElement().attributeNS("urn:x", "o\u00B7-.9"), "1");
    EXPECT_TRUE(checkXml("<a xmlns='urn:a' xmlns:b='urn:b'><b:c/></a>", err)) << err.toStdString();
}
