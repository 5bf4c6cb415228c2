#pragma once
// What the Reader leaves in rich text for the Writer to find: user properties
// of text formats, and the characters that stand for page-number fields.
#include <QTextFormat>

// Properties the Reader sets on rich-text formats and the Writer reads back.
enum DocxTextProperty {
    ListNumIdProperty = QTextFormat::UserProperty + 1,   // block: list id (w:numId), int
    ListLevelProperty = QTextFormat::UserProperty + 2,   // block: list level (w:ilvl), int
    ListBulletProperty = QTextFormat::UserProperty + 3,  // block: the level is a bullet, bool
    ListLabelProperty = QTextFormat::UserProperty + 4,   // char: generated list-label text, bool
    ImageRelIdProperty = QTextFormat::UserProperty + 5,  // image: relationship id of the source picture, QString
    FieldInstructionProperty = QTextFormat::UserProperty + 6,  // char: instruction of a page-number placeholder, QString
    KeepWithNextProperty = QTextFormat::UserProperty + 7,      // block: kept on the page of the next paragraph, bool
    KeepLinesTogetherProperty = QTextFormat::UserProperty + 8, // block: not split between pages, bool
    ParagraphStyleProperty = QTextFormat::UserProperty + 9,    // block: the paragraph's style id, QString
    ContextualSpacingProperty = QTextFormat::UserProperty + 10,  // block: no spacing next to its own style, bool
};

// Left in the rich text where a page-number or page-count field result stood;
// hosts show the page number or count in their place.
inline constexpr char16_t kPageNumberPlaceholder = 0xFFFE;
inline constexpr char16_t kPageCountPlaceholder = 0xFFFD;
