// The package's parts, the archive they come from and packing them back.
#include "DocxPackage.h"

#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

DocxPackage::DocxPackage()
    : mainPart_(QString::fromLatin1(kPartDocument)), relationships_(*this), contentTypes_(*this)
{
}

bool DocxPackage::read(const QString &path, QString &err) { return docxZipRead(path, entries_, err, &source_); }

bool DocxPackage::readBytes(const QByteArray &archive, QString &err)
{
    return docxZipReadBytes(archive, entries_, err, &source_);
}

void DocxPackage::copyParts(const DocxPackage &other)
{
    entries_ = other.entries_;
    source_ = other.source_;
}

void DocxPackage::setEntries(const DocxEntryMap &entries)
{
    entries_ = entries;
    source_ = DocxZipSource();
}

QStringList DocxPackage::partOrder() const
{
    return {
        QString::fromLatin1(kPartContentTypes), QString::fromLatin1(kPartRootRels),
        mainRelsPart(),                         mainPart_,
        QString::fromLatin1(kPartStyles),       QString::fromLatin1(kPartSettings),
    };
}

bool DocxPackage::pack(const QString &path, QString &err) const
{
    return docxZipWrite(entries_, partOrder(), path, err, &source_);
}

bool DocxPackage::packBytes(QByteArray &out, QString &err) const
{
    return docxZipBuild(entries_, partOrder(), out, err, &source_);
}

QString DocxPackage::mainFolder() const { return partFolder(mainPart_); }

QString DocxPackage::mainRelsPart() const { return relationshipsPartOf(mainPart_); }

bool DocxPackage::locateMainPart(QString &err)
{
    const QString fallback = QString::fromLatin1(kPartDocument);
    const QString named = relationships_.packageRelTarget(QString::fromLatin1(kRelTypeOfficeDocument));
    for (const QString &candidate : {named, fallback}) {
        if (!candidate.isEmpty() && entries_.contains(candidate)) {
            mainPart_ = candidate;
            return true;
        }
    }
    err = QStringLiteral("Not a valid DOCX: missing ") + (named.isEmpty() ? fallback : named);
    return false;
}
