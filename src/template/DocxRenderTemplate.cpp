// Rendering every story of a document as a template, all or nothing.
#include "DocxRenderTemplate.h"

#include "DocxHtmlSources.h"
#include "DocxPartScan.h"
#include "DocxSchemaOrder.h"
#include "DocxStories.h"
#include "DocxTemplateTags.h"
#include "DocxWriter.h"
#include "DocxXml.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>

namespace {

// The empty paragraph the runs of an inline HTML value are made from.
constexpr char kBareParagraph[] = "<w:p/>";
// What joins the runs of the paragraphs of an inline HTML value.
constexpr char kLineBreakRun[] = "<w:r><w:br/></w:r>";

struct RenderedStory
{
    QString part;
    DocxTemplateProgram program;
    DocxRenderedPart rendered;
};

bool readData(const QByteArray &json, QJsonObject &data, QString &err)
{
    if (json.trimmed().isEmpty())
        return true;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        err = QStringLiteral("The template data is not valid JSON: %1 at offset %2")
                  .arg(parseError.errorString())
                  .arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        err = QStringLiteral("The template data is not a JSON object ({...})");
        return false;
    }
    data = doc.object();
    return true;
}

// Gives `run` the properties of `base` (a w:rPr) that it does not set itself.
void takeBaseProperties(QDomElement run, const QDomElement &base)
{
    if (base.isNull())
        return;
    QDomElement rPr = wChild(run, "rPr");
    if (rPr.isNull())
        rPr = run.insertBefore(createW(run.ownerDocument(), "rPr"), run.firstChild()).toElement();
    for (QDomElement c = base.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (wChild(rPr, c.localName().toLatin1().constData()).isNull())
            insertInOrder(rPr, run.ownerDocument().importNode(c, true).toElement(), runPropertyOrder());
    }
}

// The runs of the paragraphs `blocks` holds, those of successive
// paragraphs joined by a line break; each run takes the properties of
// `runProperties` (the w:rPr of the tag's run) that it does not set itself.
QByteArray runsOfBlocks(const QByteArray &blocks, const QByteArray &runProperties, const DocxNamespaceBindings &scope)
{
    QDomDocument baseDom;
    QDomElement base;
    QString baseErr;
    if (!runProperties.isEmpty())
        parseFragment(runProperties, scope, baseDom, base, baseErr);
    QDomDocument dom;
    QDomElement wrapper;
    QString err;
    if (!parseFragment("<w:body>" + blocks + "</w:body>", scope, dom, wrapper, err))
        return {};
    QByteArray runs;
    bool first = true;
    for (QDomNode n = nextInTree(wrapper, wrapper); !n.isNull();) {
        const bool paragraph = n.isElement() && hasLocalName(n, "p");
        if (paragraph) {
            if (!first)
                runs += kLineBreakRun;
            first = false;
            for (QDomElement c = n.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
                if (hasLocalName(c, "pPr"))
                    continue;
                const QList<QDomElement> ownRuns = hasLocalName(c, "r") ? QList<QDomElement>{c} : childrenByLocalName(c, "r");
                for (const QDomElement &r : ownRuns)  // a link's runs too
                    takeBaseProperties(r, base);
                runs += serializeXmlElement(c, scope);
            }
        }
        n = nextInTree(n, wrapper, !paragraph);
    }
    return runs;
}

// The first bookmark and drawing ids no story uses, for the values that add some.
struct FreeIds
{
    int bookmark = 1;
    int drawing = 1;
};

FreeIds firstFreeIds(const DocxEntryMap &entries, const QStringList &stories)
{
    FreeIds ids;
    for (const QString &part : stories) {
        const QByteArray bytes = entries.value(part);
        ids.bookmark = qMax(ids.bookmark, firstFreeNumber(bytes, ":id=\""));
        ids.drawing = qMax(ids.drawing, firstFreeNumber(bytes, "docPr id=\""));
    }
    return ids;
}

// Makes the HTML and picture values of one rendered part and puts them in.
class ValueMaker
{
public:
    ValueMaker(DocxDocument &doc, const DocxTemplateOptions &options, FreeIds first)
        : doc_(doc), options_(options), nextBookmarkId_(first.bookmark), nextDrawingId_(first.drawing)
    {
    }

    void makeValues(RenderedStory &story)
    {
        QList<DocxPendingValue> &pending = story.rendered.pending;
        if (pending.isEmpty())
            return;
        QByteArray &bytes = story.rendered.bytes;
        DocxNamespaceBindings scope = story.program.rootScope();
        const QByteArray declarations = declareOnRoot(story.program.rootScope(), scope);
        for (qsizetype i = pending.size() - 1; i >= 0; --i)
            bytes.insert(pending.at(i).offset, valueXml(story, pending.at(i), scope));
        qsizetype rootStart = 0, rootEnd = 0;
        if (locateRootStartTag(bytes, rootStart, rootEnd))
            bytes.insert(bytes.at(rootEnd - 1) == '/' ? rootEnd - 1 : rootEnd, declarations);
    }

private:
    QByteArray valueXml(const RenderedStory &story, const DocxPendingValue &value, const DocxNamespaceBindings &scope)
    {
        const DocxTemplateTag &tag = story.program.tags().at(value.tag);
        if (tag.valueKind == DocxValueKind::Picture)
            return DocxWriter::pictureRun(doc_, story.part, value.picture.bytes, value.picture.cx, value.picture.cy,
                                          QString(), nextDrawingId_++, scope);
        if (options_.beforeRichText && !richTextReady_) {
            options_.beforeRichText();
            richTextReady_ = true;
        }
        const QString html = options_.resourceFolder.isEmpty() ? value.html
                                                               : inlineLocalImages(value.html, options_.resourceFolder);
        if (tag.valueKind == DocxValueKind::HtmlBlocks)
            return DocxWriter::htmlBlocks(doc_, story.part, html, tag.paragraphXml, scope, nextBookmarkId_,
                                          !tag.lastInItsParent);
        return runsOfBlocks(DocxWriter::htmlBlocks(doc_, story.part, html, kBareParagraph, scope, nextBookmarkId_),
                            tag.runProperties, scope);
    }

    DocxDocument &doc_;
    const DocxTemplateOptions &options_;
    int nextBookmarkId_;
    int nextDrawingId_;
    bool richTextReady_ = false;
};

// Reads and renders one story; false with `problems`.
bool renderStory(RenderedStory &story, const QByteArray &bytes, const QJsonObject &data,
                 const DocxTemplateOptions &options, QStringList &problems)
{
    QByteArray gathered;
    QString err;
    if (!gatherTemplateTags(bytes, gathered, err)) {
        problems << QStringLiteral("%1: %2").arg(story.part, err);
        return false;
    }
    if (!story.program.compile(story.part, gathered.isEmpty() ? bytes : gathered, err)) {
        problems << err;
        return false;
    }
    if (!story.program.hasTags())
        return true;
    if (!renderTemplatePart(story.program, data, options, story.rendered, problems))
        return false;
    if (!checkWellFormed(story.rendered.bytes, err)) {
        problems << QStringLiteral("%1: the tags do not nest with the paragraphs, cells and rows around them "
                                   "(a condition or loop opens in one and closes in another; give its tags the "
                                   "modifier of the unit they repeat, such as {%p ...%} or {%tr ...%}): %2")
                        .arg(story.part, err);
        return false;
    }
    return true;
}

}  // namespace

DocxTemplateFailure docxRenderTemplate(DocxDocument &doc, const QByteArray &dataJson, const DocxTemplateOptions &options,
                                       QString &err)
{
    QJsonObject data;
    if (!readData(dataJson, data, err))
        return DocxTemplateFailure::Data;
    doc.body().store();  // the main part's bytes hold every pending body edit
    DocxEntryMap &entries = doc.package().entries();
    std::vector<RenderedStory> stories;
    QStringList problems;
    const QStringList parts = docxStoryParts(doc);
    for (const QString &part : parts) {
        const QByteArray bytes = entries.value(part);
        if (!bytes.contains('{'))
            continue;
        RenderedStory story;
        story.part = part;
        if (renderStory(story, bytes, data, options, problems) && story.program.hasTags())
            stories.push_back(std::move(story));
    }
    if (!problems.isEmpty()) {
        err = QStringLiteral("The template cannot be rendered:\n") + problems.join(QLatin1Char('\n'));
        return DocxTemplateFailure::Template;
    }
    const bool makesValues = std::any_of(stories.cbegin(), stories.cend(),
                                         [](const RenderedStory &s) { return !s.rendered.pending.isEmpty(); });
    ValueMaker maker(doc, options, makesValues ? firstFreeIds(entries, parts) : FreeIds());
    for (RenderedStory &story : stories) {
        maker.makeValues(story);
        if (story.part == doc.package().mainPart())
            doc.body().setBytes(story.rendered.bytes);
        else
            entries.insert(story.part, story.rendered.bytes);
    }
    return DocxTemplateFailure::None;
}
