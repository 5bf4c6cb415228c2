#pragma once
// Which header or footer of a section: its kind (the w:type of its reference)
// and whether it is the header or the footer.
#include <QString>

enum class DocxHFKind { Default = 0, Even = 1, First = 2 };
inline constexpr int kHFKindCount = 3;

enum class DocxHFPart { Header, Footer };

// The w:type text of a kind: "default", "even" or "first".
QString hfKindName(DocxHFKind kind);
