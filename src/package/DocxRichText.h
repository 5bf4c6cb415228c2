#pragma once
// What the Reader leaves in rich text for the Writer to find: user properties
// of text formats, the characters that stand for page-number fields, and
// where each block's content was read from.
#include <QDomElement>
#include <QList>
#include <QString>
#include <QTextBlockUserData>
#include <QTextCharFormat>
#include <QTextFormat>

#include <memory>

// Properties the Reader sets on rich-text formats and the Writer reads back.
enum DocxTextProperty {
    ListNumIdProperty = QTextFormat::UserProperty + 1,   // block: list id (w:numId), int
    ListLevelProperty = QTextFormat::UserProperty + 2,   // block: list level (w:ilvl), int
    ListBulletProperty = QTextFormat::UserProperty + 3,  // block: the level is a bullet, bool
    ListLabelProperty = QTextFormat::UserProperty + 4,   // char: generated list-label text, bool
    ImageRelIdProperty = QTextFormat::UserProperty + 5,  // image: relationship id of the source picture, QString
    FieldInstructionProperty = QTextFormat::UserProperty + 6,  // char: instruction of a page-number placeholder, QString
    SourcePieceProperty = QTextFormat::UserProperty + 7,  // char: index of the source piece the text was read from, int
    GeneratedTextProperty = QTextFormat::UserProperty + 8,  // char: text shown for layout only (a tab leader), bool
    HighlightProperty = QTextFormat::UserProperty + 9,  // char: the background is a highlight (w:highlight), bool
    HiddenTextProperty = QTextFormat::UserProperty + 10,  // char: hidden text (w:vanish), not shown, bool
    KeepWithNextProperty = QTextFormat::UserProperty + 11,      // block: kept on the page of the next paragraph, bool
    KeepLinesTogetherProperty = QTextFormat::UserProperty + 12, // block: not split between pages, bool
    ParagraphStyleProperty = QTextFormat::UserProperty + 13,    // block: the paragraph's style id, QString
    ContextualSpacingProperty = QTextFormat::UserProperty + 14,  // block: no spacing next to its own style, bool
};

// Left in the rich text where a page-number or page-count field result stood;
// hosts show the page number or count in their place.
inline constexpr char16_t kPageNumberPlaceholder = 0xFFFE;
inline constexpr char16_t kPageCountPlaceholder = 0xFFFD;

// One piece of a paragraph's content as the rich text shows it: the element
// it was read from, the text it became and the format it was given. Text
// whose format still names the piece and still equals these was not edited.
struct DocxSourcePiece
{
    QDomElement element;  // w:t, w:tab, w:br, w:sym, w:drawing... (a field shown as a placeholder: its w:fldChar separate)
    QString text;
    QTextCharFormat format;
};

// The paragraph a block was read from, shared by every block it became (a
// page break inside a paragraph starts a new block).
struct DocxParagraphSource
{
    QDomElement paragraph;
    int alignment = 0;  // Qt::Alignment of the block as read
    QList<DocxSourcePiece> pieces;
};

using DocxSourceList = QList<std::shared_ptr<DocxParagraphSource>>;

// The user data of every block the Reader writes. A block the rich text
// needs around a table, which stands for no paragraph, has a null source.
class DocxBlockOrigin : public QTextBlockUserData
{
public:
    DocxBlockOrigin(std::shared_ptr<DocxParagraphSource> source, int breakPiece)
        : source_(std::move(source)), breakPiece_(breakPiece)
    {
    }

    const std::shared_ptr<DocxParagraphSource> &source() const { return source_; }
    // The page break piece that started this block; -1 for a paragraph's first block.
    int breakPiece() const { return breakPiece_; }

private:
    std::shared_ptr<DocxParagraphSource> source_;
    int breakPiece_ = -1;
};

// The origin of a block, or null for a block the Reader did not write.
inline const DocxBlockOrigin *blockOrigin(const QTextBlockUserData *data)
{
    return dynamic_cast<const DocxBlockOrigin *>(data);
}
