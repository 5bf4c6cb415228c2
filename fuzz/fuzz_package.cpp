// Arbitrary bytes as a package: the archive reader, then what opening a document
// does with the entries (body check, index, last section), then storing the body
// and packing the entries again. Needs no application object.
//
// Besides crashes, sanitizer reports and hangs, it stops on broken promises:
// a refused archive always says why, a packed archive reads back to the very
// entries it was packed from, and a stored body can be taken up again.
#include "DocxDocument.h"
#include "DocxZip.h"
#include "FuzzSupport.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {

[[noreturn]] void broken(const char *what, const QString &detail)
{
    fuzz_support::broken("fuzz_package", what, detail);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_support::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Raw data, not a copy: reading one byte past the input is then caught.
    const QByteArray archive = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    DocxPackage package;
    QString err;
    if (!package.readBytes(archive, err)) {
        if (err.isEmpty())
            broken("refused without a reason", {});
        return 0;
    }
    DocxStyles styles(package);
    DocxBody body(package, styles);
    if (body.load(err)) {
        styles.read();
        body.resetIndex();
        if (body.paragraphCount() < 0)
            broken("negative paragraph count", {});
        body.lastSection();  // the editing form: the section is spliced back on store
        body.store();
        DocxPackage again;
        again.setEntries(package.entries());
        DocxStyles againStyles(again);
        if (!DocxBody(again, againStyles).load(err))
            broken("stored body does not load", err);
    }

    QByteArray packed;
    if (!package.packBytes(packed, err))
        return 0;  // names or sizes the format cannot hold
    DocxEntryMap back;
    if (!docxZipReadBytes(packed, back, err))
        broken("packed archive does not read back", err);
    if (back != package.entries())
        broken("packed archive reads back different entries", {});
    return 0;
}
