// Section settings: margins, mirrored margins, title page, even/odd headers and
// the page-number format of the document's last section.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
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

void readTwips(const QDomElement &pgMar, const char *name, int &field)
{
    int v = 0;
    if (readMeasure(nsAttribute(pgMar, kNsW, QString::fromLatin1(name)), kTwipsPerPoint, &v) && v >= 0)
        field = v;
}

}  // namespace

QString hfTypeName(HFType type)
{
    switch (type) {
    case HFEven: return QStringLiteral("even");
    case HFFirst: return QStringLiteral("first");
    default: return QStringLiteral("default");
    }
}

DocxMargins DocxDocument::margins() const
{
    DocxMargins m;
    const QDomElement sp = lastSection();
    const QDomElement pgMar = wChild(sp, "pgMar");
    if (pgMar.isNull())
        return m;
    readTwips(pgMar, "top", m.top);
    readTwips(pgMar, "bottom", m.bottom);
    readTwips(pgMar, "left", m.left);
    readTwips(pgMar, "right", m.right);
    readTwips(pgMar, "header", m.header);
    readTwips(pgMar, "footer", m.footer);
    readTwips(pgMar, "gutter", m.gutter);
    m.mirror = switchOn(wChild(sp, "mirrorMargins")) || settingsSwitchOn(entries, "mirrorMargins");
    return m;
}

QDomElement DocxDocument::ensureLastSection()
{
    QDomElement sp = lastSection();
    if (!sp.isNull())
        return sp;
    QDomDocument &tree = dom();
    QDomElement body = firstDescendantNS(tree, kNsW, "body");
    if (body.isNull())
        return {};
    sp = createW(tree, "sectPr");
    body.appendChild(sp);
    return sp;
}

bool DocxDocument::setMargins(const DocxMargins &m)
{
    QDomElement sp = ensureLastSection();
    if (sp.isNull()) {
        documentWarning() << "setMargins: no body";
        return false;
    }
    QDomElement pgMar = wChild(sp, "pgMar");
    if (pgMar.isNull()) {
        pgMar = createW(sp.ownerDocument(), "pgMar");
        insertInOrder(sp, pgMar, sectionPropertyOrder());
    }
    const std::pair<const char *, int> values[] = {
        {"top", m.top},       {"bottom", m.bottom}, {"left", m.left},     {"right", m.right},
        {"header", m.header}, {"footer", m.footer}, {"gutter", m.gutter},
    };
    for (const auto &[name, value] : values)
        setWAttr(pgMar, name, QString::number(value));
    setSectionSwitch(sp, "mirrorMargins", m.mirror);
    if (entries.contains(settingsName())) {
        editPart(entries, settingsName(), kIndentedPart,
                 [&](QDomDocument &settings) { return setSettingsSwitch(settings, "mirrorMargins", m.mirror); });
    }
    return true;
}

bool DocxDocument::titlePage() const
{
    return switchOn(wChild(lastSection(), "titlePg"));
}

bool DocxDocument::setTitlePage(bool on)
{
    const QDomElement sp = on ? ensureLastSection() : lastSection();
    if (sp.isNull())
        return !on;  // no section has a title page to switch off
    setSectionSwitch(sp, "titlePg", on);
    return true;
}

bool DocxDocument::evenAndOddHeaders() const
{
    return settingsSwitchOn(entries, "evenAndOddHeaders");
}

bool DocxDocument::setEvenAndOddHeaders(bool on)
{
    return editPart(entries, settingsName(), kIndentedPart,
                    [&](QDomDocument &settings) { return setSettingsSwitch(settings, "evenAndOddHeaders", on); });
}

bool DocxDocument::setPageNumberFormat(const QString &fmt, int start)
{
    QDomElement sp = ensureLastSection();
    if (sp.isNull())
        return false;
    QDomElement pg = wChild(sp, "pgNumType");
    if (pg.isNull()) {
        pg = createW(sp.ownerDocument(), "pgNumType");
        insertInOrder(sp, pg, sectionPropertyOrder());
    }
    setWAttr(pg, "fmt", fmt);
    if (start < 0)
        pg.removeAttributeNS(QString::fromLatin1(kNsW), QStringLiteral("start"));
    else
        setWAttr(pg, "start", QString::number(start));
    return true;
}
