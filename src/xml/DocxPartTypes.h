#pragma once
// Relationship types and content types of the parts the model reads and
// writes, and the declaration that opens every part it writes from scratch.

// Relationship types (the Type of a Relationship element).
inline constexpr char kRelTypeOfficeDocument[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr char kRelTypeStyles[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr char kRelTypeNumbering[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering";
inline constexpr char kRelTypeHeader[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
inline constexpr char kRelTypeFooter[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
inline constexpr char kRelTypeFootnotes[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
inline constexpr char kRelTypeEndnotes[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes";
inline constexpr char kRelTypeComments[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr char kRelTypeImage[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr char kRelTypeHyperlink[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr char kRelTypeCoreProperties[] =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

// Content types (the ContentType of a Default or Override element).
inline constexpr char kContentTypeRelationships[] = "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr char kContentTypeXml[] = "application/xml";
inline constexpr char kContentTypeMainDocument[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
inline constexpr char kContentTypeStyles[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml";
inline constexpr char kContentTypeNumbering[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml";
inline constexpr char kContentTypeHeader[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
inline constexpr char kContentTypeFooter[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
inline constexpr char kContentTypeCoreProperties[] = "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr char kContentTypePng[] = "image/png";
inline constexpr char kContentTypeJpeg[] = "image/jpeg";
inline constexpr char kContentTypeGif[] = "image/gif";
inline constexpr char kContentTypeBmp[] = "image/bmp";
inline constexpr char kContentTypeTiff[] = "image/tiff";
inline constexpr char kContentTypeSvg[] = "image/svg+xml";
inline constexpr char kContentTypeUnknown[] = "application/octet-stream";

// The XML declaration of a part written from scratch, and the line breaks
// that follow it: parts made whole from a template take CRLF, parts written
// element by element LF (see declaredXml in DocxXml.h).
inline constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
inline constexpr char kCrlf[] = "\r\n";
inline constexpr char kLf[] = "\n";
