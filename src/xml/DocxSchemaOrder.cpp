#include "DocxSchemaOrder.h"

namespace {

QStringList localNames(const char *spaceSeparated)
{
    return QString::fromLatin1(spaceSeparated).split(QLatin1Char(' '));
}

}  // namespace

const QStringList &runPropertyOrder()
{
    static const QStringList order = localNames(
        "rStyle rFonts b bCs i iCs caps smallCaps strike dstrike outline shadow emboss imprint noProof "
        "snapToGrid vanish webHidden color spacing w kern position sz szCs highlight u effect bdr shd fitText "
        "vertAlign rtl cs em lang eastAsianLayout specVanish oMath");
    return order;
}

const QStringList &paragraphPropertyOrder()
{
    static const QStringList order = localNames(
        "pStyle keepNext keepLines pageBreakBefore framePr widowControl numPr suppressLineNumbers pBdr shd "
        "tabs suppressAutoHyphens kinsoku wordWrap overflowPunct topLinePunct autoSpaceDE autoSpaceDN bidi "
        "adjustRightInd snapToGrid spacing ind contextualSpacing mirrorIndents suppressOverlap jc "
        "textDirection textAlignment textboxTightWrap outlineLvl divId cnfStyle rPr sectPr pPrChange");
    return order;
}

const QStringList &sectionPropertyOrder()
{
    static const QStringList order = localNames(
        "headerReference footerReference footnotePr endnotePr type pgSz pgMar paperSrc pgBorders lnNumType "
        "pgNumType cols formProt vAlign noEndnote titlePg textDirection bidi rtlGutter docGrid "
        "printerSettings sectPrChange");
    return order;
}

const QStringList &settingsOrder()
{
    static const QStringList order = localNames(
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
        "shapeDefaults doNotEmbedSmartTags decimalSymbol listSeparator");
    return order;
}
