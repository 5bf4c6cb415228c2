// Start-up, version, handles, errors and saving; the frame's shared steps.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cerrno>
#include <exception>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The last failure of a function without a handle, per thread (as errno).
thread_local QByteArray g_lastError;
thread_local int g_lastErrorCode = LXDOCX_OK;
QGuiApplication *g_application = nullptr;
int s_argc = 1;
char s_libraryName[] = "LorvexDocx";
char *s_argv[] = {s_libraryName, nullptr};

// A GUI application wants a private runtime folder and warns on stderr when
// the session names none: give it one of the user's own in the temporary
// folder, so that start-up stays quiet.
void givePrivateRuntimeDir()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray dir = QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-lorvexdocx-")
                                             + QString::number(getuid()));
    struct stat st;
    if ((::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) && ::lstat(dir.constData(), &st) == 0
        && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0777) == 0700)
        qputenv("XDG_RUNTIME_DIR", dir);
}

}  // namespace

void recordFailure(DocxHandle *h, int code, const QString &text)
{
    if (h) {
        h->lastError = text;
        h->lastErrorCode = code;
    } else {
        g_lastError = text.toUtf8();
        g_lastErrorCode = code;
    }
}

int openFailureCode(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() && file.isReadable() ? LXDOCX_ERR_REFUSED_INPUT : LXDOCX_ERR_IO;
}

bool refusedAsStrict(DocxHandle *h)
{
    if (!h->doc->body().isStrict())
        return false;
    recordFailure(h, QStringLiteral("The document is in strict markup (ISO/IEC 29500 Strict), which can be read "
                                    "but not edited"));
    return true;
}

void recordOutOfMemory(DocxHandle *h) noexcept
{
    if (h) {
        h->lastError = QStringLiteral("Out of memory");
        h->lastErrorCode = LXDOCX_ERR_OUT_OF_MEMORY;
    } else {
        g_lastError = QByteArrayLiteral("Out of memory");
        g_lastErrorCode = LXDOCX_ERR_OUT_OF_MEMORY;
    }
}

void recordCurrentException(DocxHandle *h, const char *doing) noexcept
{
    try {
        try {
            throw;
        } catch (const std::bad_alloc &) {
            recordFailure(h, LXDOCX_ERR_OUT_OF_MEMORY, QStringLiteral("Out of memory while %1").arg(QLatin1String(doing)));
        } catch (const std::exception &e) {
            recordFailure(h, LXDOCX_ERR_INTERNAL, QStringLiteral("Unexpected failure while %1: %2")
                                 .arg(QLatin1String(doing), QString::fromLocal8Bit(e.what())));
        } catch (...) {
            recordFailure(h, LXDOCX_ERR_INTERNAL, QStringLiteral("Unexpected failure while %1").arg(QLatin1String(doing)));
        }
    } catch (...) {
        recordOutOfMemory(h);  // the text itself could not be made
    }
}

DocxHandle *handleFor(std::unique_ptr<DocxDocument> doc, int failureCode)
{
    if (!doc->isValid()) {
        recordFailure(nullptr, failureCode, doc->errorString());
        return nullptr;
    }
    auto *h = new DocxHandle;
    h->doc = std::move(doc);
    return h;
}

void destroyHandle(DocxHandle *h) { delete h; }

extern "C" {

LXDOCX_API void lxDocx_init(void)
{
    libraryCall(0, "starting the library", [] {
        if (QCoreApplication::instance() || g_application)
            return 0;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        givePrivateRuntimeDir();
        g_application = new QGuiApplication(s_argc, s_argv);
        return 1;
    });
}

LXDOCX_API const char *lxDocx_version(void)
{
    return libraryCall(LORVEXDOCX_VERSION_STRING, "reading the version", [] { return LORVEXDOCX_VERSION_STRING; });
}

LXDOCX_API DocxHandle *lxDocx_open(const char *path)
{
    return libraryCall<DocxHandle *>(nullptr, "opening the document",
                                     [&] {
                                         const QString file = pathArgument(path);
                                         return handleFor(DocxDocument::open(file), openFailureCode(file));
                                     });
}

LXDOCX_API DocxHandle *lxDocx_create_blank(const char *path)
{
    return libraryCall<DocxHandle *>(nullptr, "creating the document",
                                     [&] { return handleFor(DocxDocument::createBlank(pathArgument(path)), LXDOCX_ERR_IO); });
}

LXDOCX_API DocxHandle *lxDocx_copy(DocxHandle *h)
{
    return handleCall<DocxHandle *>(h, nullptr, "copying the document", [&] {
        DocxHandle *copy = handleFor(h->doc->copy(), LXDOCX_ERR_INTERNAL);
        if (copy)
            copy->resourceFolder = h->resourceFolder;
        return copy;
    });
}

LXDOCX_API void lxDocx_close(DocxHandle *h)
{
    libraryCall(0, "closing the document", [&] {
        if (!h)
            return 0;
        if (h->busy)
            h->closeRequested = true;
        else
            destroyHandle(h);
        return 1;
    });
}

LXDOCX_API int lxDocx_is_valid(DocxHandle *h)
{
    return libraryCall(0, "checking the document", [&] { return usable(h) && h->doc->isValid() ? 1 : 0; });
}

LXDOCX_API const char *lxDocx_error(DocxHandle *h)
{
    return libraryCall("Out of memory", "reading the error text", [&] {
        if (!h)
            return g_lastError.constData();
        h->errorUtf8 = h->lastError.toUtf8();
        return h->errorUtf8.constData();
    });
}

LXDOCX_API int lxDocx_error_code(DocxHandle *h)
{
    return libraryCall(LXDOCX_ERR_OUT_OF_MEMORY, "reading the error code",
                       [&] { return h ? h->lastErrorCode : g_lastErrorCode; });
}

LXDOCX_API int lxDocx_save(DocxHandle *h)
{
    return handleCall(h, 0, "saving the document", [&] {
        if (h->doc->save())
            return 1;
        recordFailure(h, LXDOCX_ERR_IO, h->doc->errorString());
        return 0;
    });
}

LXDOCX_API int lxDocx_save_as(DocxHandle *h, const char *path)
{
    return handleCall(h, 0, "saving the document", [&] {
        if (h->doc->saveAs(pathArgument(path)))
            return 1;
        recordFailure(h, LXDOCX_ERR_IO, h->doc->errorString());
        return 0;
    });
}

}  // extern "C"
