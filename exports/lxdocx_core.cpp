// Start-up, version, handles, errors and saving.
#include "DocxDocument.h"
#include "DocxHandle.h"
#include "DocxReader.h"
#include "DocxWriter.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {

QByteArray g_lastError;
QGuiApplication *g_application = nullptr;
int s_argc = 1;
char s_libraryName[] = "LorvexDocx";
char *s_argv[] = {s_libraryName, nullptr};

}  // namespace

void setLibraryError(const QString &text)
{
    g_lastError = text.toUtf8();
}

DocxDocument *validOrReport(DocxDocument *doc, const char *nullText)
{
    if (doc && doc->isValid())
        return doc;
    setLibraryError(doc ? doc->errorString() : QString::fromLatin1(nullText));
    delete doc;
    return nullptr;
}

DocxHandle *handleFor(DocxDocument *doc, const char *nullText)
{
    doc = validOrReport(doc, nullText);
    if (!doc)
        return nullptr;
    auto *h = new DocxHandle;
    h->doc = doc;
    return h;
}

extern "C" {

LXDOCX_API void lxDocx_init(void)
{
    if (QCoreApplication::instance() || g_application)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_application = new QGuiApplication(s_argc, s_argv);
}

LXDOCX_API const char *lxDocx_version(void)
{
    return "1.1.0";
}

LXDOCX_API DocxHandle *lxDocx_open(const char *path)
{
    return handleFor(DocxReader::open(docxDecodeName(path)), nullptr);
}

LXDOCX_API DocxHandle *lxDocx_create_blank(const char *path)
{
    return handleFor(DocxReader::createBlank(docxDecodeName(path)), "createBlank returned null");
}

LXDOCX_API void lxDocx_close(DocxHandle *h)
{
    if (!h)
        return;
    delete h->doc;
    delete h;
}

LXDOCX_API int lxDocx_is_valid(DocxHandle *h)
{
    return usable(h) && h->doc->isValid() ? 1 : 0;
}

LXDOCX_API const char *lxDocx_error(DocxHandle *h)
{
    if (!h)
        return g_lastError.constData();
    h->errorUtf8 = h->lastError.toUtf8();
    return h->errorUtf8.constData();
}

LXDOCX_API int lxDocx_save(DocxHandle *h)
{
    if (!usable(h))
        return 0;
    if (DocxWriter::save(*h->doc))
        return 1;
    h->lastError = QStringLiteral("DocxWriter::save failed");
    return 0;
}

LXDOCX_API int lxDocx_save_as(DocxHandle *h, const char *path)
{
    if (!usable(h))
        return 0;
    if (DocxWriter::saveVersion(*h->doc, docxDecodeName(path)))
        return 1;
    h->lastError = QStringLiteral("DocxWriter::saveVersion failed");
    return 0;
}

}  // extern "C"
