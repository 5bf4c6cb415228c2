#pragma once
// Namespace URIs of the formats the package model reads and writes.

inline constexpr char kNsW[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr char kNsR[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr char kNsPackageRels[] = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr char kNsContentTypes[] = "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr char kNsXml[] = "http://www.w3.org/XML/1998/namespace";
inline constexpr char kNsXmlns[] = "http://www.w3.org/2000/xmlns/";
inline constexpr char kNsW14[] = "http://schemas.microsoft.com/office/word/2010/wordml";
inline constexpr char kNsDrawingMain[] = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr char kNsWordDrawing[] = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
inline constexpr char kNsPicture[] = "http://schemas.openxmlformats.org/drawingml/2006/picture";
inline constexpr char kNsCoreProps[] = "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr char kNsDc[] = "http://purl.org/dc/elements/1.1/";

// ISO/IEC 29500 Strict names the namespaces above by other URIs. The model
// reads by the transitional names; each pair says which strict URI names the
// same thing. Relationship types follow their namespace: the strict
// "<kNsR strict>/styles" is the transitional "<kNsR>/styles".
struct DocxStrictNamespace
{
    const char *transitional;
    const char *strict;
};
inline constexpr DocxStrictNamespace kStrictNamespaces[] = {
    {kNsW, "http://purl.oclc.org/ooxml/wordprocessingml/main"},
    {kNsR, "http://purl.oclc.org/ooxml/officeDocument/relationships"},
    {kNsDrawingMain, "http://purl.oclc.org/ooxml/drawingml/main"},
    {kNsWordDrawing, "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing"},
    {kNsPicture, "http://purl.oclc.org/ooxml/drawingml/picture"},
};
// What every strict namespace URI starts with.
inline constexpr char kStrictNamespacePrefix[] = "http://purl.oclc.org/ooxml/";

// Part names the model knows by name.
inline constexpr char kPartDocument[] = "word/document.xml";
inline constexpr char kPartContentTypes[] = "[Content_Types].xml";
inline constexpr char kPartRootRels[] = "_rels/.rels";
inline constexpr char kPartStyles[] = "word/styles.xml";
inline constexpr char kPartSettings[] = "word/settings.xml";
inline constexpr char kPartNumbering[] = "word/numbering.xml";
inline constexpr char kPartTheme[] = "word/theme/theme1.xml";
inline constexpr char kPartCoreProps[] = "docProps/core.xml";
