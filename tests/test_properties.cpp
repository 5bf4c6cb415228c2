// Core document properties through the C interface: the part made when
// missing, keys and their elements, parts that do not parse, python-docx's
// reading of what was written, and `lxdocx props`.
#include "DocxDocument.h"
#include "EditTestSupport.h"

#include <QRegularExpression>

using namespace testing_support;
using namespace edit_support;

namespace {

const QString kCore = QStringLiteral("docProps/core.xml");
const char *const kKeys[] = {"title", "author", "subject", "description", "keywords", "category"};

QByteArray corePart(const QByteArray &children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<cp:coreProperties xmlns:cp=\""
        + QByteArray(kNsCoreProps) + "\" xmlns:dc=\"" + kNsDc + "\">" + children + "</cp:coreProperties>";
}

QStringList childTexts(const QByteArray &core)
{
    QStringList out;
    const QDomElement root = parsed(core).documentElement();
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        out << c.prefix() + ":" + c.localName() + "=" + c.text();
    return out;
}

}  // namespace

TEST(Properties, MissingPartIsMadeWithItsTypeAndRelationship)
{
    QTemporaryDir dir;
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:p/>")));
    ASSERT_TRUE(h);
    const QByteArray rootRels = h->doc->entries.value("_rels/.rels");
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "author"), "");
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "author", "Ada"), 1);
    const DocxEntryMap &e = h->doc->entries;
    EXPECT_TRUE(e.value(kCore).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
    EXPECT_EQ(childTexts(e.value(kCore)), QStringList({"dc:creator=Ada"}));
    EXPECT_EQ(overrides(e.value("[Content_Types].xml")).value(1), "/docProps/core.xml core-properties+xml");
    const qsizetype close = rootRels.indexOf("</Relationships>");
    EXPECT_TRUE(e.value("_rels/.rels").startsWith(rootRels.left(close)));  // spliced, not rewritten
    EXPECT_EQ(relations(e.value("_rels/.rels")).value(1), "rId2 core-properties docProps/core.xml");
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "author"), "Ada");
    const DocxEntryMap afterFirst = e;
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "subject", "S"), 1);
    EXPECT_EQ(e.value("_rels/.rels"), afterFirst.value("_rels/.rels"));
    EXPECT_EQ(e.value("[Content_Types].xml"), afterFirst.value("[Content_Types].xml"));
}

TEST(Properties, KeysElementsReplacementAndTrimming)
{
    QTemporaryDir dir;
    const QByteArray core = corePart("<dc:title>  Old  title \n</dc:title><cp:lastModifiedBy>me</cp:lastModifiedBy>");
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:p/>"), {{"docProps/core.xml", core}}));
    ASSERT_TRUE(h);
    const char *title = lxDocx_get_doc_property(h.get(), "title");
    EXPECT_STREQ(title, "Old  title");
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "Title"), "Old  title");  // unknown keys mean the title
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "category"), "");
    const QByteArray odd = "  <b>&amp; \xC3\xBC\xE2\x82\xAC \"q\"  ";
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "creator", "New"), 1);  // writes the title
    for (const char *key : {"author", "subject", "description", "keywords", "category"})
        ASSERT_EQ(lxDocx_set_doc_property(h.get(), key, odd.constData()), 1) << key;
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "keywords", "k1, k2"), 1);
    const QString v = QString::fromUtf8(odd);
    EXPECT_EQ(childTexts(h->doc->entries.value(kCore)),
              QStringList({"dc:title=New", "cp:lastModifiedBy=me", "dc:creator=" + v, "dc:subject=" + v,
                           "dc:description=" + v, "cp:keywords=k1, k2", "cp:category=" + v}));
    // Values of different keys stay good side by side; reading a key again
    // replaces only that key's buffer.
    const char *author = lxDocx_get_doc_property(h.get(), "author");
    const char *keywords = lxDocx_get_doc_property(h.get(), "keywords");
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "title"), "New");
    EXPECT_EQ(QByteArray(author), odd.trimmed());
    EXPECT_STREQ(keywords, "k1, k2");
    ASSERT_TRUE(saveAs(h.get(), dir.filePath("b.docx")));
    Handle back = openFile(dir.filePath("b.docx"));
    EXPECT_EQ(QByteArray(lxDocx_get_doc_property(back.get(), "category")), odd.trimmed());
}

TEST(Properties, UnparsablePartsAndNullArguments)
{
    QTemporaryDir dir;
    const QByteArray broken = corePart("<dc:title>x</dc:creator>");
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:p/>"), {{"docProps/core.xml", broken}}));
    ASSERT_TRUE(h);
    for (const char *key : kKeys) {
        EXPECT_STREQ(lxDocx_get_doc_property(h.get(), key), "");
        EXPECT_EQ(lxDocx_set_doc_property(h.get(), key, "v"), 0);
    }
    ASSERT_TRUE(saveAs(h.get(), dir.filePath("b.docx")));
    EXPECT_EQ(readEntries(dir.filePath("b.docx")).value(kCore), broken);

    // A new part is made even when the registry and package relationships do
    // not parse; those are left as they are.
    const QByteArray brokenTypes = "<Types><Default></Types>", brokenRels = "<Relationships><x></Relationships>";
    DocxDocument &doc = *h->doc;
    doc.entries.remove(kCore);
    doc.entries.insert("[Content_Types].xml", brokenTypes);
    doc.entries.insert("_rels/.rels", brokenRels);
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "keywords", "kw"), 1);
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "keywords"), "kw");
    EXPECT_EQ(doc.entries.value("[Content_Types].xml"), brokenTypes);
    EXPECT_EQ(doc.entries.value("_rels/.rels"), brokenRels);

    const DocxEntryMap before = doc.entries;
    EXPECT_STREQ(lxDocx_get_doc_property(h.get(), nullptr), "");
    EXPECT_STREQ(lxDocx_get_doc_property(nullptr, "title"), "");
    EXPECT_EQ(lxDocx_set_doc_property(h.get(), "title", nullptr), 0);
    EXPECT_EQ(lxDocx_set_doc_property(h.get(), nullptr, "v"), 0);
    EXPECT_EQ(lxDocx_set_doc_property(nullptr, "title", "v"), 0);
    EXPECT_EQ(doc.entries, before);
}

TEST(Properties, PythonDocxReadsAllSixBack)
{
    QTemporaryDir dir;
    // One package gets a new core-properties part, the other has one already.
    const QString blank = dir.filePath("blank.docx"), existing = dir.filePath("existing.docx");
    {
        Handle h = createBlank(existing);
        ASSERT_EQ(lxDocx_set_doc_property(h.get(), "title", "old"), 1);
        ASSERT_EQ(lxDocx_set_doc_property(h.get(), "description", "old"), 1);
        ASSERT_EQ(lxDocx_save(h.get()), 1);
    }
    QStringList outs;
    for (const QString &src : {blank, existing}) {
        Handle h = src == blank ? createBlank(src) : openFile(src);
        ASSERT_TRUE(h);
        for (const char *key : kKeys)
            ASSERT_EQ(lxDocx_set_doc_property(h.get(), key, (QByteArray(key) + " \xC3\xA9 value").constData()), 1);
        outs << dir.filePath(QStringLiteral("out%1.docx").arg(outs.size()));
        ASSERT_TRUE(saveAs(h.get(), outs.last()));
    }
    const QJsonObject read = pythonRead(outs);
    for (const QString &out : outs) {
        const QJsonObject core = read.value(out).toObject().value("core").toObject();
        for (const char *key : kKeys)
            EXPECT_EQ(core.value(key).toString(), QString::fromUtf8(QByteArray(key) + " \xC3\xA9 value"))
                << key << " " << QJsonDocument(read).toJson().toStdString();
    }
}

TEST(Properties, CliPrintsAndSets)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f.docx"), out = dir.filePath("out.docx");
    ASSERT_TRUE(createBlank(file));
    const DocxEntryMap before = readEntries(file);
    QString o, e;
    ASSERT_EQ(cli({"props", file, "--set", "title=A = B", "--set", "author=Ada", "-o", out}, &o, &e), 0) << e.toStdString();
    EXPECT_EQ(readEntries(file), before);
    ASSERT_EQ(cli({"props", out}, &o, &e), 0);
    for (const char *line : {"title +A = B\n", "author +Ada\n", "category *\n"})
        EXPECT_TRUE(o.contains(QRegularExpression(line))) << line << o.toStdString();
    EXPECT_EQ(cli({"props", file, "--set", "=x"}, &o, &e), 2);
    EXPECT_EQ(cli({"props", file, "--set", "novalue"}, &o, &e), 2);
    EXPECT_EQ(readEntries(file), before);

    DocxEntryMap bad = before;
    bad.insert(kCore, corePart("<dc:title>"));
    std::vector<std::pair<QByteArray, QByteArray>> members;
    for (auto it = bad.cbegin(); it != bad.cend(); ++it)
        members.emplace_back(it.key().toUtf8(), it.value());
    ASSERT_TRUE(writeFile(file, makeZip(members)));
    EXPECT_EQ(cli({"props", file, "--set", "title=x"}, &o, &e), 1);
    EXPECT_TRUE(e.contains("cannot set title")) << e.toStdString();
    EXPECT_EQ(readEntries(file), bad);
}
