// Section settings: margins, mirrored margins, title page, even/odd headers and
// the page-number format of the document's last section.
#include "DocxSections.h"

#include "DocxBody.h"
#include "DocxPackage.h"
#include "DocxPartXml.h"

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxSchemaOrder.h"

namespace {

QString settingsName() { return QString::fromLatin1(kPartSettings); }

// Makes an existing on/off element read `on`: a value that says off is
// dropped to turn it on, the element is removed to turn it off. True when
// something changed.
bool turnSwitch(QDomElement e, bool on)
{
    if (onOffValue(e) == on)
        return false;
    if (on)
        e.removeAttributeNS(wNamespace(), QStringLiteral("val"));
    else
        e.parentNode().removeChild(e);
    return true;
}

bool switchOn(const QDomElement &e) { return !e.isNull() && onOffValue(e); }

// Makes the section's w:`localName` read `on`, adding the element when needed.
void setSectionSwitch(QDomElement sp, const char *localName, bool on)
{
    const QDomElement existing = wChild(sp, localName);
    if (!existing.isNull())
        turnSwitch(existing, on);
    else if (on)
        insertInOrder(sp, createW(sp.ownerDocument(), localName), sectionPropertyOrder());
}

// The same switch as an element anywhere in the settings part; true when the
// part changed.
bool setSettingsSwitch(QDomDocument &settings, const char *localName, bool on)
{
    const QList<QDomElement> present = elementsNS(settings, kNsW, localName);
    if (on && present.isEmpty()) {
        QDomElement root = settings.documentElement();
        insertInOrder(root, createW(settings, localName), settingsOrder());
        return true;
    }
    bool changed = false;
    for (const QDomElement &e : present)
        changed = turnSwitch(e, on) || changed;
    return changed;
}

// True when the settings part exists, parses and its first w:`localName` reads on.
bool settingsSwitchOn(const DocxEntryMap &entries, const char *localName)
{
    QDomDocument settings;
    QString err;
    if (!loadPart(entries, settingsName(), settings, err))
        return false;
    const QList<QDomElement> present = elementsNS(settings, kNsW, localName);
    return !present.isEmpty() && onOffValue(present.first());
}

// Whether a margin may be negative: the top and bottom ones may (text then
// runs under the header or over the footer), the others may not.
enum class Sign { Signed, Unsigned };

void readTwips(const QDomElement &pgMar, const char *name, int &field, Sign sign = Sign::Unsigned)
{
    int v = 0;
    if (readMeasure(nsAttribute(pgMar, kNsW, QString::fromLatin1(name)), kTwipsPerPoint, &v)
        && (v >= 0 || sign == Sign::Signed))
        field = v;
}

// Sets w:`name` to `value` unless `value` is what reads for it: an absent
// attribute stays absent, a present one keeps its text.
void setTwips(QDomElement &e, const char *name, int value, int read)
{
    if (value != read)
        setWAttr(e, name, QString::number(value));
}

// The section's w:`localName`, added in its place when missing.
QDomElement ensureChild(QDomElement &sp, const char *localName)
{
    QDomElement e = wChild(sp, localName);
    if (e.isNull()) {
        e = createW(sp.ownerDocument(), localName);
        insertInOrder(sp, e, sectionPropertyOrder());
    }
    return e;
}

bool readPositive(const QDomElement &e, const char *name, int &out)
{
    bool ok = false;
    const int v = nsAttribute(e, kNsW, QString::fromLatin1(name)).toInt(&ok);
    if (ok && v > 0)
        out = v;
    return ok && v > 0;
}

const QString &landscapeName()
{
    static const QString name = QStringLiteral("landscape");
    return name;
}

}  // namespace

int DocxSections::count() const { return body_.sectionCount(); }

bool DocxSections::exists(int section) const
{
    return section == kLastSection || (section >= 0 && section < count());
}

QDomElement DocxSections::editable(int section)
{
    return section == kLastSection ? body_.ensureLastSection() : body_.section(section);
}

DocxMargins DocxSections::margins(int section) const
{
    DocxMargins m;
    const QDomElement sp = std::as_const(body_).section(section);
    const QDomElement pgMar = wChild(sp, "pgMar");
    if (pgMar.isNull())
        return m;
    readTwips(pgMar, "top", m.top, Sign::Signed);
    readTwips(pgMar, "bottom", m.bottom, Sign::Signed);
    readTwips(pgMar, "left", m.left);
    readTwips(pgMar, "right", m.right);
    readTwips(pgMar, "header", m.header);
    readTwips(pgMar, "footer", m.footer);
    readTwips(pgMar, "gutter", m.gutter);
    m.mirror =
        switchOn(wChild(sp, "mirrorMargins")) || settingsSwitchOn(package_.entries(), "mirrorMargins");
    return m;
}

bool DocxSections::setMargins(int section, const DocxMargins &m)
{
    const DocxMargins read = margins(section);
    QDomElement sp = editable(section);
    if (sp.isNull()) {
        documentWarning() << "setMargins: no such section";
        return false;
    }
    const std::tuple<const char *, int, int> values[] = {
        {"top", m.top, read.top},          {"bottom", m.bottom, read.bottom}, {"left", m.left, read.left},
        {"right", m.right, read.right},    {"header", m.header, read.header}, {"footer", m.footer, read.footer},
        {"gutter", m.gutter, read.gutter},
    };
    const bool anyDiffers = std::any_of(std::begin(values), std::end(values),
                                        [](const auto &v) { return std::get<1>(v) != std::get<2>(v); });
    if (anyDiffers) {
        QDomElement pgMar = ensureChild(sp, "pgMar");
        for (const auto &[name, value, was] : values)
            setTwips(pgMar, name, value, was);
    }
    if (m.mirror == read.mirror)
        return true;
    setSectionSwitch(sp, "mirrorMargins", m.mirror);
    if (package_.entries().contains(settingsName())) {
        editPart(package_.entries(), settingsName(), kIndentedPart,
                 [&](QDomDocument &settings) { return setSettingsSwitch(settings, "mirrorMargins", m.mirror); });
    }
    return true;
}

bool DocxSections::pageSize(int section, DocxPageSize &out) const
{
    const QDomElement pgSz = wChild(std::as_const(body_).section(section), "pgSz");
    DocxPageSize size;
    if (!readPositive(pgSz, "w", size.width) || !readPositive(pgSz, "h", size.height))
        return false;
    size.landscape = nsAttribute(pgSz, kNsW, QStringLiteral("orient")) == landscapeName();
    out = size;
    return true;
}

bool DocxSections::setPageSize(int section, const DocxPageSize &size)
{
    DocxPageSize read;
    const bool hadSize = pageSize(section, read);
    QDomElement sp = editable(section);
    if (sp.isNull())
        return false;
    QDomElement pgSz = ensureChild(sp, "pgSz");
    if (!hadSize || size.width != read.width)
        setWAttr(pgSz, "w", QString::number(size.width));
    if (!hadSize || size.height != read.height)
        setWAttr(pgSz, "h", QString::number(size.height));
    if (size.landscape)
        setWAttr(pgSz, "orient", landscapeName());
    else if (nsAttribute(pgSz, kNsW, QStringLiteral("orient")) == landscapeName())
        pgSz.removeAttributeNS(QString::fromLatin1(kNsW), QStringLiteral("orient"));
    return true;
}

bool DocxSections::titlePage(int section) const
{
    return switchOn(wChild(std::as_const(body_).section(section), "titlePg"));
}

bool DocxSections::setTitlePage(int section, bool on)
{
    const QDomElement sp = on || section != kLastSection ? editable(section) : body_.lastSection();
    if (sp.isNull())
        return !on && section == kLastSection;  // no section has a title page to switch off
    setSectionSwitch(sp, "titlePg", on);
    return true;
}

bool DocxSections::evenAndOddHeaders() const
{
    return settingsSwitchOn(package_.entries(), "evenAndOddHeaders");
}

bool DocxSections::setEvenAndOddHeaders(bool on, QString &err)
{
    const QString part = settingsName();
    if (!package_.entries().contains(part)) {
        err = QStringLiteral("The package has no settings part (%1) to set even and odd headers in").arg(part);
        return false;
    }
    QDomDocument settings;
    QString parseErr;
    if (!loadPart(package_.entries(), part, settings, parseErr)) {
        err = QStringLiteral("Cannot read the settings part (%1): %2").arg(part, parseErr);
        return false;
    }
    if (setSettingsSwitch(settings, "evenAndOddHeaders", on))
        storePart(package_.entries(), part, settings, kIndentedPart);
    return true;
}

bool DocxSections::setPageNumberFormat(int section, const QString &fmt, int start)
{
    QDomElement sp = editable(section);
    if (sp.isNull())
        return false;
    QDomElement pg = ensureChild(sp, "pgNumType");
    setWAttr(pg, "fmt", fmt);
    if (start < 0)
        pg.removeAttributeNS(QString::fromLatin1(kNsW), QStringLiteral("start"));
    else
        setWAttr(pg, "start", QString::number(start));
    return true;
}
