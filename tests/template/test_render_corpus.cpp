// Rendering every real document as a template with no data: the parts without
// tags come out byte for byte, and a document refused as a template is left
// exactly as it was.
#include "EditTestSupport.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <iostream>

using namespace edit_support;

namespace {

// Whether the text of an XML part, read without its markup, holds the start of a tag.
bool holdsTagStart(const QByteArray &part)
{
    static const QRegularExpression markup("<[^>]*>");
    const QString text = QString::fromUtf8(part).remove(markup);
    return text.contains(QLatin1String("{{")) || text.contains(QLatin1String("{%"));
}

}  // namespace

TEST(Corpus, RenderingWithoutDataChangesOnlyPartsWithTags)
{
    LXDOCX_NEEDS_CORPUS();
    QTemporaryDir dir;
    int documents = 0, refused = 0, identicalParts = 0, renderedParts = 0;
    for (const QString &file : corpusFiles()) {
        const std::string name = QFileInfo(file).fileName().toStdString();
        Handle h(lxDocx_open(file.toUtf8().constData()), lxDocx_close);
        if (!h)
            continue;  // the corpus test of opening judges the refusals
        const DocxEntryMap before = readEntries(file);
        const bool rendered = lxDocx_render_template(h.get(), "{}", 0);
        if (!rendered) {
            ++refused;
            const int code = lxDocx_error_code(h.get());  // a template fault, or strict markup refused
            EXPECT_TRUE(code == LXDOCX_ERR_TEMPLATE || code == LXDOCX_ERR_REFUSED_INPUT)
                << name << ": " << code << " " << lxDocx_error(h.get());
        }
        const QString out = dir.filePath(QString::number(++documents) + ".docx");
        ASSERT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData())) << name << ": " << lxDocx_error(h.get());
        const DocxEntryMap after = readEntries(out);
        QStringList names = after.keys(), namesBefore = before.keys();
        names.sort();
        namesBefore.sort();
        EXPECT_EQ(names.join(' ').toStdString(), namesBefore.join(' ').toStdString()) << name;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const QByteArray &was = before.value(it.key());
            if (rendered && holdsTagStart(was)) {
                ++renderedParts;
                continue;
            }
            EXPECT_TRUE(it.value() == was) << name << ": " << it.key().toStdString() << " changed"
                                           << (rendered ? " without a tag" : " by a refused render");
            identicalParts += it.value() == was;
        }
    }
    std::cout << "documents " << documents << ", refused as templates " << refused << ", parts with tags rendered "
              << renderedParts << ", parts byte-identical " << identicalParts << "\n";
}
