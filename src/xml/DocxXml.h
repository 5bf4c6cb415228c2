#pragma once
// XML access shared by the package model: parsing parts into a DOM that keeps
// every text node and namespace declaration, writing a DOM back, and the small
// element lookups the model uses everywhere.
#include "DocxUnits.h"
#include "DocxXmlReader.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QPair>
#include <QString>

// Namespace-aware parse. Unlike QDomDocument::setContent it keeps whitespace-only
// text (a space between two runs is content) and keeps every namespace
// declaration as an attribute of its element, so a part written back declares
// what the source declared, where it declared it. Document type declarations
// are refused, and so is a part whose tree would take more than kMaxTreeBytes:
// a part large enough for that is counted before anything is built, unless
// `counted` says a pass over it found it within the bound already. On failure
// `err` is "XML parse error at line %1 col %2: %3".
bool parseXml(const QByteArray &bytes, QDomDocument &dom, QString &err, bool counted = false);

// Checks that `bytes` is a well-formed XML document parseXml takes, with its
// texts, without building a tree.
bool checkXml(const QByteArray &bytes, QString &err);
// True when `bytes` are well-formed XML, however large; else false with `err`.
bool checkWellFormed(const QByteArray &bytes, QString &err);

// Parses one element given as bytes whose ancestors bind `inScope`; `el` is the
// element in `dom`. Texts as parseXml.
bool parseFragment(const QByteArray &element, const DocxNamespaceBindings &inScope, QDomDocument &dom,
                   QDomElement &el, QString &err);

// Writes a DOM as UTF-8 XML. `indent` > 0 puts each child of an element that
// holds only elements on its own line, indented; 0 adds no whitespace at all.
// Namespaces are declared once: the root keeps its declarations and also
// declares any prefix that new elements brought in.
QByteArray serializeXml(const QDomDocument &dom, int indent);

// Marks where XML written elsewhere goes into a tree: a processing
// instruction with this target whose data is an index into the list of
// insertions handed to serializeXmlElement.
inline constexpr char kXmlInsertionTarget[] = "lxdocx-insert";

// Writes one element whose ancestors (outside this output) bind `inScope`;
// bindings already in force are not declared again. `tail`, XML written
// elsewhere, goes in after the element's children, before its end tag; each
// insertion marker is replaced by its entry of `insertions`.
QByteArray serializeXmlElement(const QDomElement &el, const DocxNamespaceBindings &inScope,
                               const QByteArray &tail = QByteArray(), const QList<QByteArray> &insertions = {});
// The URI `scope` binds `prefix` to (the innermost binding); null when unbound.
QString boundUri(const DocxNamespaceBindings &scope, const QString &prefix);

// A part written from scratch: kXmlDeclaration (DocxPartTypes.h), then
// `lineBreak`, then `content`.
QByteArray declaredXml(const char *lineBreak, const QByteArray &content);

// `value` escaped for an attribute value in double quotes, as UTF-8.
QByteArray escapeXmlAttribute(const QString &value);
// `text` escaped for element content, as UTF-8.
QByteArray escapeXmlText(const QString &text);

// ---- names and values of strict markup ----
// Lookups take the transitional namespace URI (DocxNamespaces.h) and match
// its strict pair too, so a document in strict markup reads like a
// transitional one; the trees keep the names they were read with.

// True when `uri` is `namespaceUri` or the strict URI paired with it.
bool isNamespace(QStringView uri, const char *namespaceUri);
// True for a URI of strict markup.
bool isStrictNamespace(QStringView uri);
// `namespaceUri` as the markup of `el` names it: its strict pair when `el` is
// in strict markup.
QString namespaceAsIn(const QDomElement &el, const char *namespaceUri);
// The attribute `localName` of `el` in `namespaceUri`, or in its strict pair
// when `el` is in strict markup; empty when absent.
QString nsAttribute(const QDomElement &el, const char *namespaceUri, const QString &localName);
// A relationship type of strict markup in transitional words
// (".../purl.oclc.org/ooxml/officeDocument/relationships/styles" becomes
// kNsR + "/styles"); any other type as it is.
QString transitionalRelType(const QString &type);

// ---- finding elements ----
// Two kinds of lookup, both taking the node searched first and the name last.
// Those ending in NS (and the w shorthands) match the transitional namespace
// URI given and its strict pair alike; those by local name match the local
// name in any namespace, for markup read whatever namespace it came in.

// The first child element (not descendant) in `namespaceUri` named `localName`.
QDomElement firstChildNS(const QDomNode &parent, const char *namespaceUri, const char *localName);
// The first element in document order below `root` in `namespaceUri` named `localName`.
QDomElement firstDescendantNS(const QDomNode &root, const char *namespaceUri, const char *localName);
// Every element of `dom` in `namespaceUri` named `localName`, in document
// order. Matches the namespace as the root names it (namespaceAsIn): the
// strict URI in a strict document, the transitional one otherwise.
QList<QDomElement> elementsNS(const QDomDocument &dom, const char *namespaceUri, const char *localName);
// The first child element w:`localName`.
QDomElement wChild(const QDomNode &parent, const char *localName);
// The attribute w:`localName`; empty when absent.
QString wAttr(const QDomElement &el, const QString &localName);

// True when `node` is named `localName`, in any namespace.
bool hasLocalName(const QDomNode &node, const char *localName);
// The first child element named `localName`, any namespace.
QDomElement firstChildByLocalName(const QDomNode &parent, const char *localName);
// Element children in document order named `localName`, any namespace.
QList<QDomElement> childrenByLocalName(const QDomNode &parent, const char *localName);

// The node after `node` in document order within the subtree of `root` (null
// past its end); with `enter` false, the children of `node` are passed over.
// Walks built on it need no stack, however deep the tree.
QDomNode nextInTree(const QDomNode &node, const QDomNode &root, bool enter = true);
// The w:val attribute; empty when absent.
QString wVal(const QDomElement &el);
// The font family of a w:rFonts: w:ascii, else w:hAnsi; empty for a null element.
QString runFontFamily(const QDomElement &rFonts);
// An on/off property element: on unless its w:val is "0", "false" or "off"
// (no value means on; strict markup writes "true", "false", "1" or "0"). Callers decide what an absent element means.
bool onOffValue(const QDomElement &property);
// The same for a w:val already read.
bool onOffText(const QString &val);
// The text of every descendant w:t in document order, joined without separators.
QString paragraphText(const QDomElement &el);
// The WordprocessingML namespace URI.
const QString &wNamespace();
// A new element "w:`localName`" in the WordprocessingML namespace; the name
// must be a string literal.
QDomElement createW(QDomDocument dom, const char *localName);
// Sets the attribute "w:`localName`" in the WordprocessingML namespace.
void setWAttr(QDomElement el, const char *localName, const QString &value);
// Marks a w:t or w:instrText as keeping its spaces (xml:space="preserve").
void preserveSpace(QDomElement el);

// Inserts `child` into `parent` where `order` (local names in the order the
// format wants them) puts it: before the first child that must come after it.
// Children whose names `order` does not know never move the insertion point;
// a name `order` does not know goes before every known child.
void insertInOrder(QDomElement &parent, const QDomElement &child, const QStringList &order);
