// The content of a paragraph: runs with their character properties, complex
// fields, breaks, tabs, pictures and hyperlinks.
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QBrush>
#include <QColor>
#include <QDate>
#include <QLocale>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

const QColor kHyperlinkColor(QStringLiteral("#0563C1"));
constexpr int kBoldWeight = 700;
constexpr int kNormalWeight = 400;
// A field result of exactly this text is the placeholder the library's own
// header and footer builder writes; it is replaced by a computed value.
const QString kFieldPlaceholderResult = QStringLiteral("1");

const QHash<QString, QColor> &highlightColors()
{
    static const QHash<QString, QColor> colors = {
        {QStringLiteral("yellow"), Qt::yellow},       {QStringLiteral("green"), Qt::green},
        {QStringLiteral("cyan"), Qt::cyan},           {QStringLiteral("magenta"), Qt::magenta},
        {QStringLiteral("red"), Qt::red},             {QStringLiteral("blue"), Qt::blue},
        {QStringLiteral("darkBlue"), Qt::darkBlue},   {QStringLiteral("darkRed"), Qt::darkRed},
        {QStringLiteral("darkGray"), Qt::darkGray},   {QStringLiteral("lightGray"), Qt::lightGray},
    };
    return colors;
}

QString normalisedInstr(const QString &instr) { return instr.simplified().toUpper(); }

// The complex field the runs of one paragraph are inside, if any.
struct FieldState
{
    QString instr;  // instruction text gathered since the last begin
    bool inResult = false;
    bool pageField = false;
    bool placeholderDone = false;

    void onFieldChar(const QString &type)
    {
        if (type == QLatin1String("begin")) {
            instr.clear();
            inResult = false;
            pageField = false;
        } else if (type == QLatin1String("separate")) {
            pageField = isPageField(instr);
            inResult = true;
        } else if (type == QLatin1String("end")) {
            inResult = false;
            pageField = false;
            placeholderDone = false;
        }
    }
};

void applyRunProperty(const QDomElement &prop, QTextCharFormat &cf)
{
    const QString name = prop.localName();
    const QString val = wVal(prop);
    if (name == QLatin1String("b")) {
        cf.setFontWeight(onOffValue(prop) ? kBoldWeight : kNormalWeight);
    } else if (name == QLatin1String("i")) {
        cf.setFontItalic(onOffValue(prop));
    } else if (name == QLatin1String("u")) {
        cf.setFontUnderline(!val.isEmpty() && val != QLatin1String("none"));
    } else if (name == QLatin1String("strike")) {
        cf.setFontStrikeOut(true);
    } else if (name == QLatin1String("vertAlign")) {
        if (val == QLatin1String("superscript"))
            cf.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (val == QLatin1String("subscript"))
            cf.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    } else if (name == QLatin1String("sz")) {
        bool ok = false;
        const int halfPoints = val.toInt(&ok);
        if (ok && halfPoints >= 1)
            cf.setFontPointSize(boundedPointSize(halfPoints / 2.0));
    } else if (name == QLatin1String("rFonts")) {
        const QString family = runFontFamily(prop);
        if (!family.isEmpty())
            cf.setFontFamilies({family});
    } else if (name == QLatin1String("color")) {
        if (val != QLatin1String("auto") && val.size() == 6)
            cf.setForeground(QBrush(QColor(QLatin1Char('#') + val)));
    } else if (name == QLatin1String("highlight")) {
        const auto it = highlightColors().constFind(val);
        if (it != highlightColors().cend())
            cf.setBackground(QBrush(*it));
    }
}

QTextCharFormat runFormat(const QDomElement &run, const QTextCharFormat &bcf)
{
    QTextCharFormat cf = bcf;
    const QDomElement rPr = firstChildByLocalName(run, QStringLiteral("rPr"));
    for (QDomElement prop = rPr.firstChildElement(); !prop.isNull(); prop = prop.nextSiblingElement())
        applyRunProperty(prop, cf);
    return cf;
}

// The value a field result of "1" stands for, or `text` itself.
QString fieldResultText(const QString &instr, const QString &text, const DocxDocument &doc)
{
    if (text != kFieldPlaceholderResult)
        return text;
    if (instr.startsWith(QLatin1String("DATE")))
        return QLocale(QLocale::English).toString(QDate::currentDate(), QStringLiteral("MMMM d, yyyy"));
    if (!instr.startsWith(QLatin1String("DOCPROPERTY")) && !instr.startsWith(QLatin1String("AUTHOR")))
        return text;
    QString value;
    if (instr.contains(QLatin1String("AUTHOR")) || instr.contains(QLatin1String("CREATOR")))
        value = doc.docProperty(QStringLiteral("author"));
    else if (instr.contains(QLatin1String("TITLE")))
        value = doc.docProperty(QStringLiteral("title"));
    return value.isEmpty() ? text : value;
}

// The placeholder keeps its field's instruction so that the field can be
// written back as it was.
void insertPlaceholder(QTextCursor &cursor, const QString &instr, QTextCharFormat cf)
{
    cf.setProperty(FieldInstructionProperty, instr);
    cursor.insertText(QString(pagePlaceholderFor(instr)), cf);
}

void insertRunText(QTextCursor &cursor, const QString &text, const QTextCharFormat &cf, FieldState &field,
                   const DocxDocument &doc)
{
    if (field.pageField) {
        if (!field.placeholderDone)
            insertPlaceholder(cursor, field.instr, cf);
        field.placeholderDone = true;
        return;
    }
    const QString value = fieldResultText(normalisedInstr(field.instr), text, doc);
    if (!value.isEmpty())
        cursor.insertText(value, cf);
}

// A page break starts a block that carries nothing of the paragraph's format
// but the break itself.
void insertPageBreak(QTextCursor &cursor, const QTextCharFormat &bcf)
{
    QTextBlockFormat pageBreak;
    pageBreak.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    cursor.insertBlock(pageBreak, bcf);
}

void convertRun(QTextCursor &cursor, const QDomElement &run, const QTextCharFormat &bcf, FieldState &field,
                const DocxDocument &doc, const DocxImageRels &imageRels)
{
    const QTextCharFormat cf = runFormat(run, bcf);
    for (QDomElement c = run.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString name = c.localName();
        if (name == QLatin1String("t")) {
            insertRunText(cursor, c.text(), cf, field, doc);
        } else if (name == QLatin1String("tab")) {
            cursor.insertText(QStringLiteral("\t"), cf);
        } else if (name == QLatin1String("br")) {
            if (wAttr(c, QStringLiteral("type")) == QLatin1String("page"))
                insertPageBreak(cursor, bcf);
            else
                cursor.insertText(QStringLiteral("\n"), cf);
        } else if (name == QLatin1String("fldChar")) {
            field.onFieldChar(wAttr(c, QStringLiteral("fldCharType")));
        } else if (name == QLatin1String("instrText")) {
            field.instr += c.text();
        } else if (name == QLatin1String("drawing")) {
            DocxReader::insertDrawingImage(cursor, c, doc, imageRels);
        } else if (name == QLatin1String("pict") || name == QLatin1String("object")) {
            insertVmlPicture(cursor, c, doc, imageRels);
        }
    }
}

// Hyperlink text keeps one look, whatever its runs say: only their texts are taken.
void convertHyperlink(QTextCursor &cursor, const QDomElement &link, const QTextCharFormat &bcf,
                      const DocxDocument &doc)
{
    QTextCharFormat lf = bcf;
    lf.setFontUnderline(true);
    lf.setForeground(QBrush(kHyperlinkColor));
    const QString id = link.attributeNS(QString::fromLatin1(kNsR), QStringLiteral("id"));
    const QString url = id.isEmpty() ? QString() : doc.relTarget(id);
    if (!url.isEmpty()) {
        lf.setAnchor(true);
        lf.setAnchorHref(url);
    }
    for (const QDomElement &run : childElementsByLocalName(link, QStringLiteral("r"))) {
        for (const QDomElement &t : childElementsByLocalName(run, QStringLiteral("t")))
            cursor.insertText(t.text(), lf);
    }
}

}  // namespace

double boundedPointSize(double pointSize) { return qMin(pointSize, kMaxPointSize); }

QString runFontFamily(const QDomElement &rFonts)
{
    const QString ascii = wAttr(rFonts, QStringLiteral("ascii"));
    return ascii.isEmpty() ? wAttr(rFonts, QStringLiteral("hAnsi")) : ascii;
}

bool isPageField(const QString &instr)
{
    const QString normalised = normalisedInstr(instr);
    return normalised.startsWith(QLatin1String("PAGE")) || normalised.startsWith(QLatin1String("NUMPAGES"));
}

QChar pagePlaceholderFor(const QString &instr)
{
    return QChar(normalisedInstr(instr).startsWith(QLatin1String("NUMPAGES")) ? kPageCountPlaceholder
                                                                               : kPageNumberPlaceholder);
}

void convertRuns(QTextCursor &cursor, const QDomElement &p, const QTextCharFormat &bcf, const DocxDocument &doc,
                 const DocxImageRels &imageRels)
{
    FieldState field;
    for (QDomElement c = p.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("r"))
            convertRun(cursor, c, bcf, field, doc, imageRels);
        else if (c.localName() == QLatin1String("hyperlink"))
            convertHyperlink(cursor, c, bcf, doc);
    }
}
