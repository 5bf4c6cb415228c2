// Parsing and writing XML parts: what the package model must keep of a part.
#include "DocxDocumentXml.h"
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

QByteArray roundTrip(const QByteArray &xml, int indent = 0)
{
    return serializeXml(parsed(xml), indent);
}

}  // namespace

TEST(Xml, NewElementsInUndeclaredNamespacesAreDeclaredOnceOnTheRoot)
{
    QDomDocument dom = parsed("<w:body xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>");
    QDomElement body = dom.documentElement();
    for (int i = 0; i < 3; ++i) {
        QDomElement link = dom.createElementNS(kNsW, "w:hyperlink");
        link.setAttributeNS(kNsR, "r:id", QString("rId%1").arg(i));
        body.appendChild(link);
    }
    const QByteArray out = serializeXml(dom, 0);
    EXPECT_EQ(out.count("xmlns:r="), 1) << out.toStdString();
    EXPECT_TRUE(out.startsWith("<w:body xmlns:r=")) << out.toStdString();
    QDomDocument again;
    QString err;
    ASSERT_TRUE(parseXml(out, again, err)) << err.toStdString();
    EXPECT_EQ(again.elementsByTagNameNS(kNsW, "hyperlink").at(2).toElement().attributeNS(kNsR, "id"), "rId2");
}

TEST(Xml, DefaultNamespacePartsRoundTrip)
{
    const QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                            "<Relationship Id=\"rId1\" Target=\"a&amp;b.xml\" Type=\"t\"/></Relationships>";
    EXPECT_EQ(roundTrip(rels), rels);
    const QByteArray indented = roundTrip(rels, 2);
    EXPECT_TRUE(indented.contains("\n  <Relationship ")) << indented.toStdString();
}

TEST(Xml, EscapesMarkupAndDropsCharactersXmlCannotCarry)
{
    QDomDocument dom = parsed("<a/>");
    dom.documentElement().setAttribute("v", "x\"<&>\ny");
    dom.documentElement().appendChild(dom.createTextNode(QString("1<2 & 3>2 ") + QChar(0xFFFE) + QChar(0x1) + "\r"));
    const QByteArray out = serializeXml(dom, 0);
    EXPECT_EQ(out, "<a v=\"x&quot;&lt;&amp;&gt;&#10;y\">1&lt;2 &amp; 3&gt;2 &#13;</a>");
    QDomDocument back = parsed(out);
    EXPECT_EQ(back.documentElement().attribute("v"), "x\"<&>\ny");
}

TEST(Xml, ParseErrorsNameLineAndColumn)
{
    QDomDocument dom;
    QString err;
    EXPECT_FALSE(parseXml("<a>\n<b>\n  <c x='1'></b></a>", dom, err));
    EXPECT_EQ(err, "XML parse error at line 3 col 15: Opening and ending tag mismatch.");
    EXPECT_FALSE(checkXml("<a>\n<b>\n  <c x='1'></b></a>", err));
    EXPECT_EQ(err, "XML parse error at line 3 col 15: Opening and ending tag mismatch.");
    EXPECT_FALSE(parseXml("", dom, err));
    EXPECT_TRUE(err.startsWith("XML parse error at line"));
}

TEST(Xml, RefusesDocumentTypeDeclarations)
{
    const QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\">"
                              "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;</a>";
    QDomDocument dom;
    QString err;
    EXPECT_FALSE(parseXml(laughs, dom, err));
    EXPECT_TRUE(err.contains("Document type declarations are not allowed")) << err.toStdString();
    EXPECT_FALSE(checkXml(laughs, err));
}

// Names the stream reader takes but XML does not allow; written back they would
// make a part no reader opens (found by fuzzing the re-save path).
TEST(Xml, RefusesNamesTheStreamReaderLetsThrough)
{
    static const char withNul[] = "<a xmlns:w='urn:w' w:lin\0e='1'/>";
    const QByteArray bad[] = {
        QByteArray("<a xmlns:w='urn:w' w: ='1'/>"),
        QByteArray("<a xmlns:w='urn:w' w:li\x01ne='1' w:line='2'/>"),
        QByteArray(withNul, sizeof withNul - 1),
        QByteArray("<a:b:c xmlns:a='urn:a'/>"),
        QByteArray("<a xmlns:w='urn:w' xmlns:w='urn:v'/>"),
        QByteArray("<a x~y='1'/>"),
    };
    for (const QByteArray &xml : bad) {
        QDomDocument dom;
        QString err;
        EXPECT_FALSE(parseXml(xml, dom, err)) << xml.toStdString();
        EXPECT_TRUE(err.startsWith("XML parse error at line 1 col ")) << err.toStdString();
        EXPECT_FALSE(checkXml(xml, err)) << xml.toStdString();
        EXPECT_FALSE(err.contains(QChar(0)) || err.contains(QChar(1))) << "control characters in the message";
    }
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml("<\xC3\xBC:\xC3\xA4 xmlns:\xC3\xBC='urn:x' \xC3\xBC:o\xC2\xB7-.9='1' "
                         "\xF0\x90\x80\x80x='2'/>", dom, err)) << err.toStdString();
    EXPECT_EQ(dom.documentElement().attributeNS("urn:x", "o\u00B7-.9"), "1");
    EXPECT_TRUE(checkXml("<a xmlns='urn:a' xmlns:b='urn:b'><b:c/></a>", err)) << err.toStdString();
}

TEST(Xml, ElementLookups)
{
    const QDomDocument dom = parsed(
        "<w:p xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" xmlns:x=\"urn:x\">"
        "<x:pPr/><w:pPr><w:pStyle w:val=\"Heading2\"/></w:pPr>"
        "<w:r><w:t>Hello</w:t></w:r><w:ins><w:r><w:t xml:space=\"preserve\"> World</w:t></w:r></w:ins>"
        "<w:del><w:r><w:delText>gone</w:delText></w:r></w:del></w:p>");
    const QDomElement p = dom.documentElement();
    const QDomElement pPr = childElementNS(p, "pPr", kNsW);
    ASSERT_FALSE(pPr.isNull());
    EXPECT_EQ(wVal(childElementNS(pPr, "pStyle", kNsW)), "Heading2");
    EXPECT_TRUE(childElementNS(pPr, "jc", kNsW).isNull());
    EXPECT_EQ(wVal(QDomElement()), "");
    EXPECT_EQ(paragraphText(p), "Hello World");
    EXPECT_EQ(childElementsByLocalName(p, "pPr").size(), 2);
}

TEST(Xml, ManyDistinctNamesKeepTheirNames)
{
    // Each new name grows the parser's name table while earlier names are in use.
    QByteArray xml = "<r xmlns:a=\"urn:a\" xmlns:b=\"urn:b\">";
    for (int i = 0; i < 200; ++i)
        xml += QByteArray("<a:e") + QByteArray::number(i) + " a:m" + QByteArray::number(i) + "=\"x\" b:k"
            + QByteArray::number(i) + "=\"" + QByteArray::number(i) + "\"/>";
    xml += "</r>";
    EXPECT_EQ(roundTrip(xml), xml);
}
