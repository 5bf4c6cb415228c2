// Section settings: margins, mirrored margins, title page, even/odd headers and
// the page-number format of the document's last section.
#include "DocxSections.h"

#include "DocxBody.h"
#include "DocxPackage.h"
#include "DocxPartXml.h"

#include <utility>
#include "DocxLog.h"
#include "DocxNamespaces.h"

namespace {

// The order w:sectPr wants its children in.
const QStringList &sectionChildOrder()
{
    static const QStringList order = {
        QStringLiteral("headerReference"), QStringLiteral("footerReference"), QStringLiteral("footnotePr"),
        QStringLiteral("endnotePr"),       QStringLiteral("type"),            QStringLiteral("pgSz"),
        QStringLiteral("pgMar"),           QStringLiteral("paperSrc"),        QStringLiteral("pgBorders"),
        QStringLiteral("lnNumType"),       QStringLiteral("pgNumType"),       QStringLiteral("cols"),
        QStringLiteral("formProt"),        QStringLiteral("vAlign"),          QStringLiteral("noEndnote"),
        QStringLiteral("titlePg"),         QStringLiteral("textDirection"),   QStringLiteral("bidi"),
        QStringLiteral("rtlGutter"),       QStringLiteral("docGrid"),         QStringLiteral("printerSettings"),
        QStringLiteral("sectPrChange"),
    };
    return order;
}

// The order w:settings wants its children in.
const QStringList &settingsChildOrder()
{
    static const QStringList order = QStringLiteral(
        "writeProtection view zoom removePersonalInformation removeDateAndTime doNotDisplayPageBoundaries "
        "displayBackgroundShape printPostScriptOverText printFractionalCharacterWidth printFormsData "
        "embedTrueTypeFonts embedSystemFonts saveSubsetFonts saveFormsData mirrorMargins alignBordersAndEdges "
        "bordersDoNotSurroundHeader bordersDoNotSurroundFooter gutterAtTop hideSpellingErrors "
        "hideGrammaticalErrors activeWritingStyle proofState formsDesign attachedTemplate linkStyles "
        "stylePaneFormatFilter stylePaneSortMethod documentType mailMerge revisionView trackRevisions "
        "doNotTrackMoves doNotTrackFormatting documentProtection autoFormatOverride styleLockTheme "
        "styleLockQFSet defaultTabStop autoHyphenation consecutiveHyphenLimit hyphenationZone "
        "doNotHyphenateCaps showEnvelope summaryLength clickAndTypeStyle defaultTableStyle evenAndOddHeaders "
        "bookFoldRevPrinting bookFoldPrinting bookFoldPrintingSheets drawingGridHorizontalSpacing "
        "drawingGridVerticalSpacing displayHorizontalDrawingGridEvery displayVerticalDrawingGridEvery "
        "doNotUseMarginsForDrawingGridOrigin drawingGridHorizontalOrigin drawingGridVerticalOrigin "
        "doNotShadeFormData noPunctuationKerning characterSpacingControl printTwoOnOne "
        "strictFirstAndLastChars noLineBreaksAfter noLineBreaksBefore savePreviewPicture "
        "doNotValidateAgainstSchema saveInvalidXml ignoreMixedContent alwaysShowPlaceholderText "
        "doNotDemarcateInvalidXml saveXmlDataOnly useXSLTWhenSaving saveThroughXslt showXMLTags "
        "alwaysMergeEmptyNamespace updateFields hdrShapeDefaults footnotePr endnotePr compat docVars rsids "
        "mathPr attachedSchema themeFontLang clrSchemeMapping doNotIncludeSubdocsInStats "
        "doNotAutoCompressPictures forceUpgrade captions readModeInkLockDown smartTagType schemaLibrary "
        "shapeDefaults doNotEmbedSmartTags decimalSymbol listSeparator").split(QLatin1Char(' '));
    return order;
}

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
    const QDomElement existing = childElementNS(sp, localName, kNsW);
    if (!existing.isNull())
        turnSwitch(existing, on);
    else if (on)
        insertInOrder(sp, createW(sp.ownerDocument(), localName), sectionChildOrder());
}

// The same switch as an element anywhere in the settings part; true when the
// part changed.
bool setSettingsSwitch(QDomDocument &settings, const char *localName, bool on)
{
    const QList<QDomElement> present = elementsNS(settings, kNsW, localName);
    if (on && present.isEmpty()) {
        QDomElement root = settings.documentElement();
        insertInOrder(root, createW(settings, localName), settingsChildOrder());
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

DocxMargins DocxSections::margins() const
{
    DocxMargins m;
    const QDomElement sp = std::as_const(body_).lastSection();
    const QDomElement pgMar = childElementNS(sp, "pgMar", kNsW);
    if (pgMar.isNull())
        return m;
    readTwips(pgMar, "top", m.top);
    readTwips(pgMar, "bottom", m.bottom);
    readTwips(pgMar, "left", m.left);
    readTwips(pgMar, "right", m.right);
    readTwips(pgMar, "header", m.header);
    readTwips(pgMar, "footer", m.footer);
    readTwips(pgMar, "gutter", m.gutter);
    m.mirror =
        switchOn(childElementNS(sp, "mirrorMargins", kNsW)) || settingsSwitchOn(package_.entries(), "mirrorMargins");
    return m;
}

bool DocxSections::setMargins(const DocxMargins &m)
{
    QDomElement sp = body_.ensureLastSection();
    if (sp.isNull()) {
        documentWarning() << "setMargins: no body";
        return false;
    }
    QDomElement pgMar = childElementNS(sp, "pgMar", kNsW);
    if (pgMar.isNull()) {
        pgMar = createW(sp.ownerDocument(), "pgMar");
        insertInOrder(sp, pgMar, sectionChildOrder());
    }
    const std::pair<const char *, int> values[] = {
        {"top", m.top},       {"bottom", m.bottom}, {"left", m.left},     {"right", m.right},
        {"header", m.header}, {"footer", m.footer}, {"gutter", m.gutter},
    };
    for (const auto &[name, value] : values)
        setWAttr(pgMar, name, QString::number(value));
    setSectionSwitch(sp, "mirrorMargins", m.mirror);
    if (package_.entries().contains(settingsName())) {
        editPart(package_.entries(), settingsName(), kIndentedPart,
                 [&](QDomDocument &settings) { return setSettingsSwitch(settings, "mirrorMargins", m.mirror); });
    }
    return true;
}

bool DocxSections::titlePage() const
{
    return switchOn(childElementNS(std::as_const(body_).lastSection(), "titlePg", kNsW));
}

bool DocxSections::setTitlePage(bool on)
{
    const QDomElement sp = on ? body_.ensureLastSection() : body_.lastSection();
    if (sp.isNull())
        return !on;  // no section has a title page to switch off
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

bool DocxSections::setPageNumberFormat(const QString &fmt, int start)
{
    QDomElement sp = body_.ensureLastSection();
    if (sp.isNull())
        return false;
    QDomElement pg = childElementNS(sp, "pgNumType", kNsW);
    if (pg.isNull()) {
        pg = createW(sp.ownerDocument(), "pgNumType");
        insertInOrder(sp, pg, sectionChildOrder());
    }
    setWAttr(pg, "fmt", fmt);
    if (start < 0)
        pg.removeAttributeNS(QString::fromLatin1(kNsW), QStringLiteral("start"));
    else
        setWAttr(pg, "start", QString::number(start));
    return true;
}
