// Replacing text in every story of a document.
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxReplaceText.h"

namespace {

DocxReplaceOptions optionsOf(int flags)
{
    DocxReplaceOptions options;
    options.matchCase = (flags & LXDOCX_MATCH_CASE) != 0;
    options.wholeWord = (flags & LXDOCX_WHOLE_WORD) != 0;
    options.regex = (flags & LXDOCX_REGEX) != 0;
    return options;
}

}  // namespace

extern "C" {

LXDOCX_API int lxDocx_replace_text(DocxHandle *h, const char *find, const char *replacement, int flags, int *count)
{
    setOutLen(count, 0);
    return handleCall(h, 0, "replacing text", [&] {
        if (!find || !*find || !replacement) {
            recordFailure(h, find && *find ? QStringLiteral("No replacement given") : QStringLiteral("No text to find given"));
            return 0;
        }
        if (refusedAsStrict(h))
            return 0;
        const DocxTextReplace replace(QString::fromUtf8(find), QString::fromUtf8(replacement), optionsOf(flags));
        if (!replace.isValid()) {
            recordFailure(h, replace.errorString());
            return 0;
        }
        int made = 0;
        QString err;
        if (!docxReplaceText(*h->doc, replace, made, err)) {
            recordFailure(h, err);
            return 0;
        }
        setOutLen(count, made);
        return 1;
    });
}

}  // extern "C"
