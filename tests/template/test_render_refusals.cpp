// A render that fails leaves the document as it was, even when tags before the
// fault could have been rendered, with a code and a text that names the fault.
#include "EditTestSupport.h"

#include <QDir>

using namespace edit_support;

namespace {

QByteArray paragraph(const QByteArray &text)
{
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
}

// A document whose first paragraph holds a tag that renders and whose second holds `fault`.
QByteArray templatePackage(const QByteArray &fault)
{
    return makePackage(documentXml(paragraph("Dear {{ name }},") + paragraph(fault)));
}

struct Refusal {
    const char *what;
    QByteArray fault;  // the second paragraph
    QByteArray data;
    int flags;
    int code;
    const char *named;  // a word the failure text holds
};

}  // namespace

TEST(RenderRefusals, AFailedRenderChangesNothing)
{
    QTemporaryDir dir;
    const QString pictures = dir.filePath("pictures");
    ASSERT_TRUE(QDir().mkpath(pictures));
    ASSERT_TRUE(writeFile(dir.filePath("outside.png"), png(4, 4, Qt::red)));
    const Refusal refusals[] = {
        {"an if without its end", "{% if vip %}gold", "{\"name\":\"Ada\",\"vip\":true}", 0, LXDOCX_ERR_TEMPLATE, "endif"},
        {"an unclosed value", "Total {{ total", "{\"name\":\"Ada\"}", 0, LXDOCX_ERR_TEMPLATE, "total"},
        {"an unknown filter", "{{ name|shout }}", "{\"name\":\"Ada\"}", 0, LXDOCX_ERR_TEMPLATE, "shout"},
        {"an undefined name, strict", "Ref {{ ghost }}", "{\"name\":\"Ada\"}", LXDOCX_STRICT, LXDOCX_ERR_TEMPLATE,
         "ghost"},
        {"data that is not JSON", "Ref {{ ref }}", "{\"name\": \"Ada\",", 0, LXDOCX_ERR_REFUSED_INPUT, "JSON"},
        {"a picture outside the folder", "{{ pic|image(width=\"2cm\") }}",
         "{\"name\":\"Ada\",\"pic\":\"../outside.png\"}", 0, LXDOCX_ERR_TEMPLATE, "outside.png"},
    };
    int n = 0;
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.what);
        const QString path = dir.filePath(QString("t%1.docx").arg(++n)), out = dir.filePath(QString("o%1.docx").arg(n));
        Handle h = openPackage(path, templatePackage(r.fault));
        ASSERT_TRUE(h);
        ASSERT_TRUE(lxDocx_set_resource_folder(h.get(), pictures.toUtf8().constData())) << lxDocx_error(h.get());
        EXPECT_FALSE(lxDocx_render_template(h.get(), r.data.constData(), r.flags));
        EXPECT_EQ(lxDocx_error_code(h.get()), r.code) << lxDocx_error(h.get());
        EXPECT_TRUE(QString::fromUtf8(lxDocx_error(h.get())).contains(r.named)) << lxDocx_error(h.get());
        ASSERT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData())) << lxDocx_error(h.get());
        const DocxEntryMap before = readEntries(path), after = readEntries(out);
        EXPECT_EQ(before.keys(), after.keys());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            EXPECT_TRUE(after.value(it.key()) == it.value()) << it.key().toStdString() << " changed";
    }
}

TEST(RenderRefusals, AResourceFolderMustExist)
{
    QTemporaryDir dir;
    Handle h = openPackage(dir.filePath("t.docx"), templatePackage("x"));
    ASSERT_TRUE(h);
    EXPECT_FALSE(lxDocx_set_resource_folder(h.get(), dir.filePath("no-such-folder").toUtf8().constData()));
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_IO);
}
