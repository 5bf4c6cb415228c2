// Section settings: margins, mirrored margins, title page, even/odd headers and
// the page-number format of the document's last section.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
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

// Adds a w:`localName` child to the section when `on` and it has none; removes
// it when not `on`.
void setSectionSwitch(QDomElement sp, const char *localName, bool on)
{
    const QDomElement existing = childElementNS(sp, localName, kNsW);
    if (on && existing.isNull())
        insertInOrder(sp, createW(sp.ownerDocument(), localName), sectionChildOrder());
    else if (!on && !existing.isNull())
        sp.removeChild(existing);
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
    if (!on && !present.isEmpty()) {
        QDomElement first = present.first();
        first.parentNode().removeChild(first);
        return true;
    }
    return false;
}

// True when the settings part exists, parses and holds w:`localName` anywhere.
bool settingsHave(const DocxEntryMap &entries, const char *localName)
{
    QDomDocument settings;
    QString err;
    return loadPart(entries, settingsName(), settings, err) && !elementsNS(settings, kNsW, localName).isEmpty();
}

void readTwips(const QDomElement &pgMar, const char *name, int &field)
{
    bool ok = false;
    const int v = pgMar.attributeNS(QString::fromLatin1(kNsW), QString::fromLatin1(name)).toInt(&ok);
    if (ok && v >= 0)
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
    m.mirror = !childElementNS(sp, "mirrorMargins", kNsW).isNull() || settingsHave(entries, "mirrorMargins");
    return m;
}

bool DocxDocument::setMargins(const DocxMargins &m)
{
    QDomElement sp = lastSection();
    if (sp.isNull()) {
        documentWarning() << "setMargins: no sectPr";
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
    if (entries.contains(settingsName())) {
        editPart(entries, settingsName(), kIndentedPart,
                 [&](QDomDocument &settings) { return setSettingsSwitch(settings, "mirrorMargins", m.mirror); });
    }
    return true;
}

bool DocxDocument::titlePage() const
{
    return !childElementNS(lastSection(), "titlePg", kNsW).isNull();
}

bool DocxDocument::setTitlePage(bool on)
{
    const QDomElement sp = lastSection();
    if (sp.isNull())
        return false;
    setSectionSwitch(sp, "titlePg", on);
    return true;
}

bool DocxDocument::evenAndOddHeaders() const
{
    return settingsHave(entries, "evenAndOddHeaders");
}

bool DocxDocument::setEvenAndOddHeaders(bool on)
{
    return editPart(entries, settingsName(), kIndentedPart,
                    [&](QDomDocument &settings) { return setSettingsSwitch(settings, "evenAndOddHeaders", on); });
}

bool DocxDocument::setPageNumberFormat(const QString &fmt, int start)
{
    QDomElement sp = lastSection();
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
