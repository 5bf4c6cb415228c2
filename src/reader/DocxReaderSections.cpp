// The body section by section, as pages show it: each section's text in a
// document of its own laid out at the width of one of its columns, with its
// page size, margins, columns, page numbering and headers and footers.
#include "DocxLog.h"
#include "DocxReaderInternal.h"

#include <QFont>
#include <QTextDocument>
#include <QTextFrame>

#include <limits>

namespace {

constexpr int kMaxColumns = 16;
constexpr double kDefaultColumnGapPx = 48.0;  // half an inch
// The font text is shown in when neither the document nor its styles name one.
const QString kDefaultFontFamily = QStringLiteral("Times New Roman");
constexpr double kDefaultPointSize = 10.0;

// The w:sectPr with which a body element ends its section: in a paragraph's
// properties, or in those of the last such paragraph of a content control.
QDomElement sectionBreakOf(const QDomElement &element)
{
    QList<QDomElement> paragraphs;
    if (element.localName() == QLatin1String("p"))
        paragraphs.append(element);
    else if (element.localName() == QLatin1String("sdt"))
        DocxBody::collectParagraphs(element, paragraphs);
    for (auto it = paragraphs.crbegin(); it != paragraphs.crend(); ++it) {
        const QDomElement sectPr =
            firstChildByLocalName(firstChildByLocalName(*it, "pPr"), "sectPr");
        if (!sectPr.isNull())
            return sectPr;
    }
    return {};
}

// The properties of every section in order: those that end inside the body,
// then the body's own (null when it has none: the defaults), copied into
// `held`, as the body is read a batch of elements at a time. Empty when the
// part has no body.
QList<QDomElement> sectionProperties(const DocxDocument &doc, QDomDocument &held)
{
    QList<QDomElement> props;
    QDomElement last;
    const bool hasBody = doc.body().forEachElement([&](const QDomElement &c) {
        const QDomElement sectPr = c.localName() == QLatin1String("sectPr") ? c : sectionBreakOf(c);
        if (sectPr.isNull())
            return;
        const QDomElement copy = held.importNode(sectPr, true).toElement();
        if (sectPr == c)
            last = copy;
        else
            props.append(copy);
    });
    if (!hasBody)
        return {};
    props.append(last);
    return props;
}

void readColumns(const QDomElement &sectPr, DocxReader::DocxPageSection &section)
{
    const QDomElement cols = firstChildByLocalName(sectPr, "cols");
    bool ok = false;
    const int num = wAttr(cols, QStringLiteral("num")).toInt(&ok);
    if (ok && num > 1)
        section.columns = qMin(num, kMaxColumns);
    section.columnGap = kDefaultColumnGapPx;
    twipsAttrToPx(cols, "space", &section.columnGap);
}

void readPageNumbering(const QDomElement &sectPr, DocxReader::DocxPageSection &section)
{
    const QDomElement pgNumType = firstChildByLocalName(sectPr, "pgNumType");
    bool ok = false;
    const int start = wAttr(pgNumType, QStringLiteral("start")).toInt(&ok);
    if (ok && start >= 0)
        section.firstPageNumber = start;
    const QString format = wAttr(pgNumType, QStringLiteral("fmt"));
    if (!format.isEmpty())
        section.pageNumberFormat = format;
}

QFont defaultFontOf(const DocxDocument &doc)
{
    const StyleProps defaults = doc.styles().resolveStyle(QString());
    QFont font(defaults.font.isEmpty() ? kDefaultFontFamily : defaults.font);
    font.setPointSizeF(defaults.sizeHalfPts > 0 ? boundedPointSize(defaults.sizeHalfPts / 2.0) : kDefaultPointSize);
    return font;
}

double columnWidth(const DocxReader::DocxPageSection &s)
{
    const double text = s.pageSize.width() - s.margins.left - s.margins.right;
    return qMax(1.0, (text - (s.columns - 1) * s.columnGap) / s.columns);
}

// A document for the section's text: no page of its own, one column wide.
std::shared_ptr<QTextDocument> sectionBody(const DocxReader::DocxPageSection &s, const QFont &font)
{
    auto qd = std::make_shared<QTextDocument>();
    qd->setDefaultFont(font);
    qd->setDocumentMargin(0);
    qd->setTextWidth(columnWidth(s));
    return qd;
}

DocxReader::DocxPageSection readSection(const DocxDocument &doc, const QDomElement &sectPr,
                                        const DocxReader::DocxPageSection *previous, DocxRenderedParts &rendered)
{
    DocxReader::DocxPageSection s;
    s.pageSize = sectionPageSizePx(sectPr);
    s.margins = sectionMarginsPx(doc, sectPr);
    s.bounded = boundPageGeometry(s.pageSize, s.margins);
    if (s.bounded)
        readerWarning() << "Page brought within printable sizes:" << s.pageSize.width() / 96.0 << "x"
                        << s.pageSize.height() / 96.0 << "in";
    const QString type = wVal(firstChildByLocalName(sectPr, "type"));
    if (!type.isEmpty())
        s.start = type;
    readColumns(sectPr, s);
    readPageNumbering(sectPr, s);
    readSectionHeadersFooters(doc, sectPr, s, previous, rendered);
    for (const auto &part : s.headers) {
        if (part)
            part->setTextWidth(s.pageSize.width() - s.margins.left - s.margins.right);
    }
    for (const auto &part : s.footers) {
        if (part)
            part->setTextWidth(s.pageSize.width() - s.margins.left - s.margins.right);
    }
    return s;
}

}  // namespace

DocxReader::DocxPageLayout DocxReader::readPageLayout(const DocxDocument &doc)
{
    DocxPageLayout layout;
    layout.evenAndOdd = doc.sections().evenAndOddHeaders();
    QDomDocument held;
    QList<QDomElement> props = sectionProperties(doc, held);
    const bool hasBody = !props.isEmpty();
    DocxRenderedParts rendered(doc);
    const QFont font = defaultFontOf(doc);
    // A body that cannot be read still makes one empty page.
    for (const QDomElement &sectPr : hasBody ? props : QList<QDomElement>{QDomElement()}) {
        const DocxPageSection *previous = layout.sections.isEmpty() ? nullptr : &layout.sections.last();
        DocxPageSection s = readSection(doc, sectPr, previous, rendered);
        s.body = sectionBody(s, font);
        layout.sections.append(s);
    }
    if (!hasBody)
        return layout;
    const DocxSectionRange whole{QString(), 0, std::numeric_limits<int>::max()};
    int current = 0;
    layout.sections[current].body->blockSignals(true);
    DocxBodyWalk walk(doc, whole, *layout.sections[current].body);
    walk.dropSources();
    doc.body().forEachElement([&](const QDomElement &c) {
        walk.element(c);
        if (current + 1 < layout.sections.size() && !sectionBreakOf(c).isNull()) {
            layout.sections[current].body->blockSignals(false);
            walk.retarget(*layout.sections[++current].body);
            layout.sections[current].body->blockSignals(true);
        }
    });
    layout.sections[current].body->blockSignals(false);
    return layout;
}
