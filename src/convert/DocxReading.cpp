#include "DocxReading.h"


std::unique_ptr<DocxDocument> docxOpenForReading(const QString &path)
{
    return DocxDocument::open(path);
}
