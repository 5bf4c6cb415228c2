/*
 * LorvexDocx: open, edit and save DOCX (WordprocessingML) packages.
 *
 * The C interface of libLorvexDocx. A host calls lxDocx_init() once, then works
 * on documents through opaque handles.
 *
 * Conventions of every function below:
 *  - Text arguments are UTF-8, NUL-terminated. Paths are handed to the file
 *    system as given.
 *  - Flag arguments: any non-zero value means true.
 *  - int results are exactly 1 (success, or "yes") or 0 (failure, or "no").
 *  - A function taking a handle returns its failure value at once (0, NULL, or
 *    for lxDocx_get_doc_property an empty string) when the handle is NULL, and
 *    writes 0 to *out_len when it has such a parameter and it is not NULL.
 *    Nothing is recorded then.
 *  - Every other failure leaves a text saying what failed and why, in a
 *    user's words, with the path and the system's reason where there is one
 *    ("Cannot write to: /x/out.docx: No space left on device"). Functions that
 *    take a handle record it on the handle (lxDocx_error(h)); the others
 *    library-wide (lxDocx_error(NULL)). A later success never clears a text,
 *    so read it right after the failing call. The texts each function can
 *    leave are listed with it, and lxDocx_error_code gives a code beside
 *    each text (see there); two more can come from any function:
 *      "Out of memory while <doing what>" (for example "Out of memory while
 *      saving the document"): memory ran out; the call returns its failure
 *      value and the document is as it was before the call, or as far as the
 *      call got, but still usable and closable;
 *      "Unexpected failure while <doing what>: <reason>": anything else that
 *      went wrong inside the library.
 *    No C++ exception thrown inside the library ever reaches the host.
 *  - Returned strings belong to the library, are NUL-terminated and must not be
 *    freed; each function says how long its pointer stays good.
 *  - Nothing reaches the disk before lxDocx_save or lxDocx_save_as, except the
 *    functions that write a new file (lxDocx_create_blank, lxDocx_write_html,
 *    lxDocx_resave_full). Files are replaced atomically: on failure the old file
 *    stays as it was.
 *  - Documents in strict markup (ISO/IEC 29500 Strict) read like any other.
 *    What the library writes into a body, a section, a header or a settings
 *    part is transitional markup, so the functions that would write it
 *    (lxDocx_set_margins, lxDocx_set_title_page, lxDocx_set_even_and_odd,
 *    lxDocx_set_page_number_format, lxDocx_set_header_xml,
 *    lxDocx_set_footer_xml, lxDocx_set_body_html and their lxDocx_set_section_*
 *    siblings, lxDocx_set_page_size) return 0 on such a document
 *    with "The document is in strict markup (ISO/IEC 29500 Strict), which can
 *    be read but not edited" and change nothing; the
 *    document properties, lxDocx_save and lxDocx_save_as work on it.
 *  - Events: the functions that build rich text (lxDocx_set_body_html,
 *    lxDocx_write_html, lxDocx_resave_full) may let the host's Qt event loop
 *    run (user input excluded) while they work, so that a host's window stays
 *    responsive during long conversions. An event handler may call the library
 *    meanwhile, but a call on a handle that is inside a call already is
 *    refused: it returns its failure value and records "Document is busy".
 *    lxDocx_error, lxDocx_is_valid and lxDocx_close work on a busy handle;
 *    lxDocx_close then closes it when the running call returns. The functions
 *    without a handle own the documents they open, which no handler can
 *    reach, so they are never refused; a failure of one called from a handler
 *    replaces the library-wide text like any other.
 *  - Threads: a handle is used by one thread at a time; different handles share
 *    nothing, and the library-wide error text is each thread's own, so any
 *    calls on different handles (and calls without a handle) may run on
 *    several threads at once. lxDocx_init runs once, before the threads start.
 *  - Logging: the library writes nothing on stderr when a call succeeds. Its
 *    diagnostics go through Qt's message logger in the categories
 *    "lorvexdocx.zip", "lorvexdocx.document", "lorvexdocx.reader" and
 *    "lorvexdocx.writer": warnings on, debug traces off unless QT_LOGGING_RULES
 *    switches them on (for example "lorvexdocx.*.debug=true"), so a host can
 *    silence or trace the library without touching its own messages.
 */
#ifndef LORVEXDOCX_H
#define LORVEXDOCX_H

/* LORVEXDOCX_VERSION_MAJOR, _MINOR, _PATCH, _STRING and _NUMBER: the version
 * this header describes. */
#include "lorvexdocx_version.h"

#if defined(LXDOCX_BUILDING)
#define LXDOCX_API __attribute__((visibility("default")))
#else
#define LXDOCX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open document. Opaque: hosts only pass it back. LxDocxHandle is the same
 * type under the library's prefix; both names stay. */
typedef struct DocxHandle DocxHandle;
typedef struct DocxHandle LxDocxHandle;

/* Header and footer kinds (any other value means the default kind). */
#define LXDOCX_HF_DEFAULT 0
#define LXDOCX_HF_EVEN 1
#define LXDOCX_HF_FIRST 2

/* Failure codes, read with lxDocx_error_code beside the text of lxDocx_error. */
#define LXDOCX_OK 0                /* nothing failed yet */
#define LXDOCX_ERR_NOT_FOUND 1     /* what the call names is not there: a property key, a paragraph, a part */
#define LXDOCX_ERR_REFUSED_INPUT 2 /* an argument or a file's content the call refuses: a missing
                                      argument, a broken archive or XML, strict markup for an edit,
                                      an invalid regular expression */
#define LXDOCX_ERR_TEMPLATE 3      /* a template that cannot be rendered */
#define LXDOCX_ERR_BUSY 4          /* the handle is inside a call already ("Document is busy") */
#define LXDOCX_ERR_OUT_OF_MEMORY 5 /* memory ran out ("Out of memory while ...") */
#define LXDOCX_ERR_IO 6            /* a file cannot be read or written: missing, unreadable, no space */
#define LXDOCX_ERR_INTERNAL 7      /* "Unexpected failure while ...": something else went wrong inside */

/* Flags of lxDocx_replace_text, combined with |. */
#define LXDOCX_MATCH_CASE 1 /* upper and lower case differ */
#define LXDOCX_WHOLE_WORD 2 /* a match neither follows nor precedes a letter, digit or underscore */
#define LXDOCX_REGEX 4      /* `find` is a regular expression (QRegularExpression syntax) */

/* Flag of lxDocx_render_template. */
#define LXDOCX_STRICT 8 /* a name the data does not define fails the render */

/* ---- Start-up, version, errors ---------------------------------------- */

/* Gives the process a Qt GUI application object when it has no Qt application
 * yet, selecting the "offscreen" platform unless QT_QPA_PLATFORM is already set
 * (and, when XDG_RUNTIME_DIR is unset, a private runtime folder of the user's
 * own in the temporary folder, so that Qt does not warn about it).
 * Call once before the functions that build rich text (lxDocx_set_body_html,
 * lxDocx_write_html, lxDocx_resave_full; lxDocx_render_template calls it
 * itself when a template has HTML values). Calling it again does nothing; the
 * application object lives to the end of the process. */
LXDOCX_API void lxDocx_init(void);

/* The library version, LORVEXDOCX_VERSION_STRING of the header it was built
 * with ("1.1.0"). Static: good until the library is unloaded. */
LXDOCX_API const char *lxDocx_version(void);

/* The text of the most recent failure recorded on `h`, or with h == NULL the
 * most recent failure of a function without a handle on the calling thread
 * (each thread has its own, as with errno). "" when nothing failed yet; never
 * NULL. With a handle the pointer is good until the next lxDocx_error on that
 * handle or lxDocx_close; with NULL until the thread's next failure of a
 * function without a handle. */
LXDOCX_API const char *lxDocx_error(DocxHandle *h);

/* The code (LXDOCX_ERR_*) of the failure whose text lxDocx_error gives: on
 * `h`, or with h == NULL library-wide. LXDOCX_OK when nothing failed yet. Like
 * the text, a code is recorded with every failure and never cleared by a
 * later success, so read it right after the failing call. Which code each
 * call's failures give:
 *  - lxDocx_open, lxDocx_resave_full opening `src`: LXDOCX_ERR_IO when the
 *    path names no regular file that can be read, LXDOCX_ERR_REFUSED_INPUT
 *    when its content is refused (not a ZIP, not a DOCX, broken XML);
 *  - lxDocx_create_blank, lxDocx_save, lxDocx_save_as, and writing the
 *    result of lxDocx_write_html and lxDocx_resave_full: LXDOCX_ERR_IO;
 *  - "Unknown document property" and the page setup's "The document has no
 *    body to set ... in", "The package has no settings part ...", "The body
 *    has no paragraph for the HTML to take the place of": LXDOCX_ERR_NOT_FOUND;
 *  - every other text a call lists (NULL or empty arguments, XML that is not
 *    well-formed, parts that do not read, strict markup, "Cannot convert the
 *    body ...", an invalid regular expression): LXDOCX_ERR_REFUSED_INPUT;
 *  - "Document is busy": LXDOCX_ERR_BUSY; "Out of memory ...":
 *    LXDOCX_ERR_OUT_OF_MEMORY; "Unexpected failure ...": LXDOCX_ERR_INTERNAL.
 * A call on a NULL handle records nothing, so the code stays as it was. */
LXDOCX_API int lxDocx_error_code(DocxHandle *h);

/* ---- Handles ------------------------------------------------------------- */

/* Opens the DOCX file at `path`. Returns a new handle, or NULL with the reason
 * in lxDocx_error(NULL), for example "Cannot open: <path>: No such file or
 * directory", "Cannot open: no file name given" (NULL or ""), "Not a valid
 * ZIP (EOCD not found)", "An encrypted (password-protected) Office document,
 * or one in the older binary format: this library opens DOCX packages only"
 * (a compound file), "Corrupt ZIP: CRC mismatch in <member>", "Not a valid
 * DOCX: missing word/document.xml", "XML parse error at line L col C:
 * <message>". Close the handle with lxDocx_close. */
LXDOCX_API DocxHandle *lxDocx_open(const char *path);

/* Writes a blank document (one empty "Normal" paragraph, a Letter page with
 * one-inch margins) to `path`, replacing any file there, and opens it. Returns
 * a new handle whose own path is `path`, or NULL with what could not be
 * written and why in lxDocx_error(NULL) ("Cannot write to: <path>: <system's
 * reason>", "Cannot write: no file name given"). */
LXDOCX_API DocxHandle *lxDocx_create_blank(const char *path);

/* A new handle on a copy of the document `h` holds, with every edit made so
 * far, made in memory without reading any file (the parts are shared until
 * one side changes them, so a copy costs little), with `h`'s resource
 * folder. The copy has no path of its own: save it with lxDocx_save_as
 * (lxDocx_save fails with "Cannot write: no file name given"). For rendering
 * one template many times: open it once, and render and save a copy per
 * record. NULL with the failure on `h`. Close the copy with lxDocx_close. */
LXDOCX_API DocxHandle *lxDocx_copy(DocxHandle *h);

/* Closes the handle and frees the document and every string returned for it.
 * NULL does nothing. On a busy handle (see Events above) the handle is closed
 * when the running call returns. Using or closing the handle again afterwards
 * is undefined. */
LXDOCX_API void lxDocx_close(DocxHandle *h);

/* 1 when `h` holds a valid document (every handle the library gave out does). */
LXDOCX_API int lxDocx_is_valid(DocxHandle *h);

/* ---- Saving --------------------------------------------------------------- */

/* Saves the document to the path it was opened from (or created at).
 * On failure: 0, lxDocx_error(h) says what could not be written and why, for
 * example "Cannot write to: <path>: No space left on device", "Cannot write
 * to: <path>: Permission denied", "Cannot write ZIP: part <part> is 4 GiB or
 * larger". */
LXDOCX_API int lxDocx_save(DocxHandle *h);

/* Saves the document to `path`; the document keeps its own path, so a later
 * lxDocx_save still writes to the original file. Failures as lxDocx_save. */
LXDOCX_API int lxDocx_save_as(DocxHandle *h, const char *path);

/* ---- Page setup ---------------------------------------------------------------
 * Lengths are twips (1/1440 inch). Changes to a section reach the file at the
 * next save.
 *
 * Sections: a document's sections are, in document order, those its
 * paragraphs end (a w:sectPr in a paragraph's properties) and the body's final
 * one. The calls named lxDocx_*_section_* take a section index `section`:
 * 0-based, or -1 for the last section. The calls without it work on the last
 * section. An index that names no section fails with "No section <index>: the
 * document has <n> sections (indexes 0 to <n-1>, or -1 for the last)" (or
 * "... the document has no sections (-1 names the last, which an edit adds)")
 * and LXDOCX_ERR_NOT_FOUND, and changes nothing. An edit of the last section of a body without any section
 * adds one (spliced in at the body's end; the rest of the part keeps its
 * bytes). Only the section edited changes; every other section and part keeps
 * its bytes. */

/* The number of sections (0 for a body without any). */
LXDOCX_API int lxDocx_section_count(DocxHandle *h);

/* Reads the page margins, header and footer distances, gutter and whether
 * margins are mirrored (1/0) of the last section into the non-NULL pointers;
 * NULL pointers are skipped. Note the order: top, bottom, left, right. The top
 * and bottom margins read as written, negative ones too (text may run under
 * the header or over the footer). Values the document does not give (or, for
 * left, right, header, footer and gutter, gives negative) read as 1440 for the
 * margins, 709 for header and footer, 0 for the gutter. Returns 1. */
LXDOCX_API int lxDocx_get_margins(DocxHandle *h, int *top, int *bottom, int *left, int *right, int *header,
                                  int *footer, int *gutter, int *mirror);
/* The same for the section at `section`; 0 when there is no such section. */
LXDOCX_API int lxDocx_get_section_margins(DocxHandle *h, int section, int *top, int *bottom, int *left, int *right,
                                          int *header, int *footer, int *gutter, int *mirror);

/* Sets the eight values of the last section (order as above; `mirror`
 * non-zero mirrors the margins, also in "word/settings.xml" when the package
 * has one). Values are written as given, but a value equal to what
 * lxDocx_get_margins reads is not written (an attribute the section lacks
 * stays absent, one it has keeps its text), and a `mirror` equal to what reads
 * leaves the switches as they are: a host that reads all eight, changes one
 * and sets all eight changes that one only. A document without a section gets
 * one. 0 with "The document has no body to set margins in" when there is no
 * WordprocessingML body to hold a section. */
LXDOCX_API int lxDocx_set_margins(DocxHandle *h, int top, int bottom, int left, int right, int header, int footer,
                                  int gutter, int mirror);
/* The same for the section at `section`. */
LXDOCX_API int lxDocx_set_section_margins(DocxHandle *h, int section, int top, int bottom, int left, int right,
                                          int header, int footer, int gutter, int mirror);

/* Reads the page width and height (twips, as written in w:pgSz) and whether
 * the page is landscape (w:orient="landscape", 1/0) of the section into the
 * non-NULL pointers. 0 with "<Section 2 (index 1)|The last section> gives no
 * page size" (LXDOCX_ERR_NOT_FOUND) when the section has no w:pgSz with a
 * width and height above 0. */
LXDOCX_API int lxDocx_get_page_size(DocxHandle *h, int section, int *width, int *height, int *landscape);

/* Sets the section's page width, height and orientation (landscape non-zero
 * writes w:orient="landscape", 0 removes it). Width and height are written as
 * given: turning a page swaps them only when the host swaps them. Values equal
 * to what reads are not rewritten. 0 with "The page width and height must be
 * above 0 (given <w> by <h>)", or "The document has no body to set a page
 * size in". */
LXDOCX_API int lxDocx_set_page_size(DocxHandle *h, int section, int width, int height, int landscape);

/* 1 when the last section has a distinct first page (w:titlePg). */
LXDOCX_API int lxDocx_get_title_page(DocxHandle *h);
/* The same for the section at `section`; 0 also when there is no such section. */
LXDOCX_API int lxDocx_get_section_title_page(DocxHandle *h, int section);

/* Switches the distinct first page of the last section on or off. 0 with "The
 * document has no body to set a title page in", as for lxDocx_set_margins. */
LXDOCX_API int lxDocx_set_title_page(DocxHandle *h, int on);
/* The same for the section at `section`. */
LXDOCX_API int lxDocx_set_section_title_page(DocxHandle *h, int section, int on);

/* 1 when the document has distinct even and odd headers ("word/settings.xml"). */
LXDOCX_API int lxDocx_get_even_and_odd(DocxHandle *h);

/* Switches distinct even and odd headers on or off. 0 with "The package has no
 * settings part (word/settings.xml) to set even and odd headers in" (none is
 * created), or "Cannot read the settings part (word/settings.xml): <XML
 * error>". */
LXDOCX_API int lxDocx_set_even_and_odd(DocxHandle *h, int on);

/* Sets the last section's page-number format `fmt` (for example "decimal", "lowerRoman",
 * "upperRoman", written as given) and the first page number `start`; a
 * negative `start` removes any start value. 0 with "No page-number format
 * given" when `fmt` is NULL, or "The document has no body to set a
 * page-number format in", as for lxDocx_set_margins. */
LXDOCX_API int lxDocx_set_page_number_format(DocxHandle *h, const char *fmt, int start);
/* The same for the section at `section`. */
LXDOCX_API int lxDocx_set_section_page_number_format(DocxHandle *h, int section, const char *fmt, int start);

/* ---- Headers and footers ------------------------------------------------------
 * `kind`: LXDOCX_HF_EVEN (1), LXDOCX_HF_FIRST (2), any other value the default
 * header or footer. Switching on first-page or even-page headers is
 * lxDocx_set_title_page / lxDocx_set_even_and_odd; writing a part does not.
 *
 * Sections are addressed as in Page setup. A section shows the part its own
 * reference of a kind names; a section without one is "linked to the
 * previous": it shows what the section before it shows (the first section
 * then shows none). Writing a section's part:
 *  - when the section has its own reference of that kind, its part is
 *    replaced in place, so every section that shows that part (the sections
 *    linked to it, and any other whose reference names the same part) shows
 *    the new XML: they stay linked;
 *  - when it has none (it is linked to the previous, or nothing shows), it
 *    gets a new part of its own, and stops being linked; the sections after it
 *    that are linked to it now show its new part. */

/* The XML of the header (footer) part of `kind` the last section shows,
 * NUL-terminated, with its byte count in *out_len when out_len is not NULL.
 * NULL (and 0), with no text, when the section shows no such part. The
 * pointer is good until the next lxDocx_get_header_xml or
 * lxDocx_get_section_header_xml (footer: ..._footer_xml) on `h`, or
 * lxDocx_close. */
LXDOCX_API const char *lxDocx_get_header_xml(DocxHandle *h, int kind, int *out_len);
LXDOCX_API const char *lxDocx_get_footer_xml(DocxHandle *h, int kind, int *out_len);
/* The same for the section at `section`; NULL with the text of a missing
 * section when there is no such section. */
LXDOCX_API const char *lxDocx_get_section_header_xml(DocxHandle *h, int section, int kind, int *out_len);
LXDOCX_API const char *lxDocx_get_section_footer_xml(DocxHandle *h, int section, int kind, int *out_len);

/* The name of the header (is_header non-zero) or footer part of `kind` the
 * section shows ("word/header2.xml"), or NULL (no text) when it shows none:
 * two sections showing the same name share the part. NULL with the text of a
 * missing section when there is no such section. Good until the next call of
 * this function on `h`, or lxDocx_close. */
LXDOCX_API const char *lxDocx_get_section_hf_part(DocxHandle *h, int section, int is_header, int kind);

/* Stores `len` bytes of `xml` (a negative `len` reads up to the NUL) as the
 * last section's header (footer) part of `kind`: the part of its own reference
 * is replaced in place, or a new part "word/headerN.xml" with its
 * relationship, content type and section reference is added (see above). Returns 0 and stores nothing, with one of these texts
 * ("header" or "footer" as the function):
 *   "No header XML given" (`xml` NULL or `len` 0),
 *   "The header XML is not well-formed: XML parse error at line L col C: ...",
 *   "Cannot add a header: every header part name (1 to 99) is taken",
 *   "Cannot add a header: the document's relationships cannot be read". */
LXDOCX_API int lxDocx_set_header_xml(DocxHandle *h, int kind, const char *xml, int len);
LXDOCX_API int lxDocx_set_footer_xml(DocxHandle *h, int kind, const char *xml, int len);
/* The same for the section at `section`. */
LXDOCX_API int lxDocx_set_section_header_xml(DocxHandle *h, int section, int kind, const char *xml, int len);
LXDOCX_API int lxDocx_set_section_footer_xml(DocxHandle *h, int section, int kind, const char *xml, int len);

/* Builds a complete one-paragraph header (is_header non-zero) or footer part
 * from `text`, where "{PAGE}", "{NUMPAGES}", "{TITLE}", "{CHAPTER}" and
 * "{AUTHOR}" become fields (page number, page count, title, first Heading 1
 * text, author) and everything else is literal text. `align` is the paragraph
 * alignment ("left", "center", "right", "both"). Needs no handle. Returns the
 * XML with its byte count in *out_len, or NULL (and 0) when text or align is
 * NULL (no text recorded). The buffer belongs to the calling thread and is
 * good until that thread's next lxDocx_build_hf_xml. May run on several
 * threads at once. */
LXDOCX_API const char *lxDocx_build_hf_xml(int is_header, const char *text, const char *align, int *out_len);

/* ---- Core document properties ("docProps/core.xml") ------------------------------
 * Keys: "title", "author", "subject", "description", "keywords", "category",
 * compared exactly. Any other key fails with "Unknown document property:
 * <key>". (Other keys used to mean "title": a misspelt key silently overwrote
 * the title, and every distinct key asked for kept a buffer until the handle
 * was closed.) */

/* The property's value, trimmed; "" when the document does not have it (no
 * text recorded). Also "" on failure, with one of "Unknown document property:
 * <key>", "No document property named" (NULL key), "Cannot read the document
 * properties (docProps/core.xml): <XML error>". Never NULL. The pointer is
 * good until the next call with the same key on `h`, or lxDocx_close; values
 * of other keys stay good meanwhile (the handle keeps one buffer per key, six
 * at most). */
LXDOCX_API const char *lxDocx_get_doc_property(DocxHandle *h, const char *key);

/* Sets the property (creating the core-properties part, its content type and
 * its package relationship when the package has none). 0 with "Unknown
 * document property: <key>", "No document property named", "No value given
 * for the document property", or "Cannot read the document properties
 * (docProps/core.xml): <XML error>" (the part is then left unchanged). */
LXDOCX_API int lxDocx_set_doc_property(DocxHandle *h, const char *key, const char *value);

/* ---- Bodies from HTML, and the rich-text re-save ---------------------------------
 * These build rich text with Qt: call lxDocx_init() first (or run inside a Qt
 * application). They may let the host's event loop run (see Events above).
 * HTML is anything QTextDocument::setHtml accepts: h1-h6 become
 * the paragraph styles Heading1-Heading6 (added to the style sheet when
 * missing); each list becomes a numbering of its own, from its own first number
 * in its own format; tables become tables, tables inside cells included, with
 * their widths, borders, shading, vertical alignment and header rows; paragraphs
 * keep their spacing, indentation, line height, page breaks, shading and
 * direction; text its fonts, sizes, weights, colours, highlights, capitals and
 * strikes (display:none text is left out); links become hyperlinks in the
 * Hyperlink style, those to an id of the page links to a bookmark there;
 * pictures given as data URLs become pictures (WebP and the like as PNG, SVG as
 * PNG and SVG; paths and file: URLs are not read, and a picture that cannot be
 * shown leaves its alt text). A large page is read a piece at a time, to the
 * same result, so memory stays small; elements nested more than 200 deep lose
 * their tags (not their text), and cells span at most the rows and columns
 * their table has (and at most 1000).
 *
 * `html` is UTF-8. A page in another encoding may be passed as it is (but
 * UTF-16, whose bytes hold NULs) when it declares its charset in a <meta>
 * element: bytes that are not valid UTF-8 are read in the declared charset,
 * or as windows-1252 when the page declares none. */

/* Puts the content of `html` in the place of the body's first paragraph; the
 * rest of the body and the page setup stay. The document is not saved.
 * HTML that yields no content leaves the body as it was and returns 1.
 * 0 with "No HTML given" (`html` NULL), or "The body has no paragraph for the
 * HTML to take the place of". */
LXDOCX_API int lxDocx_set_body_html(DocxHandle *h, const char *html);

/* Writes a new document at `path` (replacing any file there) whose body is
 * `html`. 0 with "No path given" or "No HTML given" for NULL arguments, or
 * what could not be written and why, as for lxDocx_create_blank and
 * lxDocx_save, in lxDocx_error(NULL). */
LXDOCX_API int lxDocx_write_html(const char *path, const char *html);

/* Opens `src`, converts every body paragraph to rich text and writes it back
 * from that rich text, and saves the result as `dst` (`src` is not changed).
 * Each paragraph keeps its own text; list labels and table-of-contents lines,
 * which the rich text only shows, are not written into the document;
 * page-number fields stay fields. 0, with the text in lxDocx_error(NULL):
 * "No path given" for a NULL argument, the open failure as for lxDocx_open,
 * "Cannot convert the body of <src> to rich text", or the save failure as for
 * lxDocx_save. A document in strict markup is saved as `dst` as it is. */
LXDOCX_API int lxDocx_resave_full(const char *src, const char *dst);

/* ---- Reading: text, HTML and pictures of the pages ------------------------------
 * What the library reads of the document as it stands in the handle (edits
 * made and not saved included). Documents in strict markup read like any
 * other. These lay out rich text with Qt: call lxDocx_init() first (or run
 * inside a Qt application). */

/* What lxDocx_text adds to the body (flags, or-ed together). Text boxes need
 * no flag: their paragraphs are read where they stand, each on a line of its
 * own after the line that holds them. */
#define LXDOCX_TEXT_BODY 0            /* the body alone */
#define LXDOCX_TEXT_HEADERS_FOOTERS 1 /* the headers and footers the pages show, each part once */
#define LXDOCX_TEXT_NOTES 2           /* the footnotes and endnotes */
#define LXDOCX_TEXT_JSON 4            /* the whole as one JSON object instead of lines */

/* The text of the body, a line a block (paragraph, or paragraph of a cell):
 * its list label and a space, its text, " [picture]" for each picture it
 * holds, indented two spaces a table level. `flags` adds, after the body:
 *   LXDOCX_TEXT_HEADERS_FOOTERS: a line "-- headers", then a line for each
 *     paragraph with text of the headers the pages show (every section's
 *     parts in force, each part once), then "-- footers" and the footers';
 *   LXDOCX_TEXT_NOTES: a line "-- footnotes", then each footnote's lines, the
 *     first after "[N] " (N counting the notes from 1 in the document's
 *     order), then "-- endnotes" and the endnotes'.
 * With LXDOCX_TEXT_JSON the result is one JSON object instead (UTF-8, on one
 * line): "file" (the file's name), "blocks" (each [label, text, pictures,
 * table depth, bullet]), "tables" (each {"rows", "columns", "cells": [row,
 * column, row span, column span, text]}), "links" (the link targets, in
 * order); with LXDOCX_TEXT_HEADERS_FOOTERS also "pages" (the count
 * lxDocx_render would write as a PDF), "headers" and "footers" (the lines
 * above); with LXDOCX_TEXT_NOTES "footnotes" and "endnotes" (the text of each
 * note, its lines joined by "\n"). A document whose body holds nothing
 * reads as one empty line. The pointer is good until the next lxDocx_text on
 * `h`, or lxDocx_close. NULL only for a NULL or busy handle, or out of memory. */
LXDOCX_API const char *lxDocx_text(DocxHandle *h, int flags);

/* The body as an HTML page (UTF-8): headings as h1-h6, paragraphs with their
 * list labels, layout and fonts, tables, pictures as data URLs, links.
 * With `section_title` the section under the heading that reads that text
 * (leading and trailing spaces aside): from that heading to the next heading
 * of the same or a higher level; the whole body when `section_title` is NULL
 * or "", or when no heading reads it. "" when the body shows nothing. The
 * pointer is good until the next lxDocx_to_html on `h`, or lxDocx_close. NULL
 * only for a NULL or busy handle, or out of memory. */
LXDOCX_API const char *lxDocx_to_html(DocxHandle *h, const char *section_title);

/* A preview shows at most this many pages. */
#define LXDOCX_RENDER_MAX_PAGES 10000

/* Lays the document out page by page (every section with its page size,
 * margins, columns, headers and footers) and writes every page to `path` as
 * a PDF when its name ends in ".pdf", or the first page as a PNG when it ends
 * in ".png" (either in any case), replacing any file there. A page smaller or
 * larger than a printer's is brought within printable sizes; a document of
 * more than LXDOCX_RENDER_MAX_PAGES pages shows its first ones
 * (lxDocx_get_render_result tells both). 0, with nothing written, and
 * LXDOCX_ERR_REFUSED_INPUT with "No path given", "Cannot render to <path>: the
 * name must end in .pdf or .png", "The document has no body to lay out"; 0 and
 * LXDOCX_ERR_IO with "Cannot write to: <path>" (and the system's reason where
 * there is one) when the file could not be written. */
LXDOCX_API int lxDocx_render(DocxHandle *h, const char *path);

/* What the last lxDocx_render on `h` laid out, into the non-NULL pointers:
 * the pages written (those of the PDF; 1 for a PNG), whether the page had to
 * be brought within printable sizes (1/0), and whether the document lays out
 * to more than LXDOCX_RENDER_MAX_PAGES pages (1/0). Returns 1 when that render
 * laid out pages (its file may still have failed to be written); 0, with
 * every value 0 and no text, when no render on `h` laid out any. */
LXDOCX_API int lxDocx_get_render_result(DocxHandle *h, int *pages, int *page_brought, int *cut_short);

/* ---- Replacing text ---------------------------------------------------------- */

/* Replaces every match of `find` with `replacement` (UTF-8) in every story of
 * the document: the body (with its tables, content controls and text boxes),
 * the headers, footers, footnotes, endnotes and comments. A match is found in
 * the text of one paragraph as it reads, across the runs, proofing marks,
 * bookmarks and fields Word splits it into (deleted text and field
 * instructions are not part of it; a non-breaking hyphen reads as U+2011, a
 * symbol of a symbol font as U+FFFC); the replacement takes the formatting of
 * the match's first character, and a newline in it becomes a line break, a tab
 * a tab. `flags`: LXDOCX_MATCH_CASE, LXDOCX_WHOLE_WORD and LXDOCX_REGEX; with
 * LXDOCX_REGEX, \1 to \99 in `replacement` stand for the text of a group and
 * \\ for a backslash, and empty matches are passed over. `*count` (when
 * `count` is not NULL) receives the number of replacements: 0 matches is a
 * success with 0. Only the parts with a match change, and in them only the
 * paragraphs with one; the rest stays byte for byte. The document is not
 * saved. 0 (with *count 0) and LXDOCX_ERR_REFUSED_INPUT with "No text to find
 * given" (`find` NULL or empty), "No replacement given" (`replacement` NULL),
 * "Invalid regular expression: <reason> at offset <n>", the strict-markup
 * text, or "<part>: XML parse error ..." for a story that does not read (the
 * document then stays as it was). */
LXDOCX_API int lxDocx_replace_text(DocxHandle *h, const char *find, const char *replacement, int flags,
                                   int *count);

/* ---- Templates ----------------------------------------------------------------- */

/* Renders the document as a template with `data_json` (UTF-8 JSON: an object
 * whose members are the template's names; NULL or empty: no names), in every
 * story (body, headers, footers, footnotes, endnotes, comments). Tags are typed
 * in the document as text; Word may split them across runs, proofing marks and
 * bookmarks, and each is read whole:
 *  - {{ expr }} puts the value as text in the run of the tag's first character,
 *    with its formatting (escaped; a newline becomes a line break, a tab a tab;
 *    None, True and numbers print as Python prints them);
 *  - {% if expr %} ... {% elif expr %} ... {% else %} ... {% endif %},
 *    {% for x in expr %} ... {% else %} ... {% endfor %} (with loop.index,
 *    loop.index0, loop.first, loop.last, loop.length, loop.revindex; `for k, v in
 *    obj.items()`), {% set x = expr %}, {# comments #};
 *  - a modifier right after the braces makes the unit around the tag the tag's
 *    place: {%p ... %} its paragraph, {%tr ... %} its table row, {%tc ... %} its
 *    cell, {%r ... %} its run; the unit is removed with all it holds, so a row
 *    loop repeats the rows between its tag rows and removes those;
 *  - expressions: names, dotted paths and [index], strings, numbers, lists,
 *    true/false/none, + - * / // % ~, == != < <= > >=, in, not in,
 *    is [not] defined/none, not, and, or, parentheses, range(), and the filters
 *    default(x) (d), upper, lower, title, capitalize, trim, length (count),
 *    join(sep), first, last, int, float, round, replace, abs, string;
 *  - {{p expr|html }}, alone in its paragraph, puts the paragraphs and tables
 *    the HTML makes in the paragraph's place (its style and properties their
 *    base); {{ expr|html }} inline puts the runs the HTML makes (paragraphs
 *    joined by line breaks); {{ expr|image(width="4cm", height="3cm") }} puts a
 *    picture (one size keeps proportions; none: its own size at 96 dpi) from a
 *    data URL or from a file inside the folder lxDocx_set_resource_folder named,
 *    never another file. HTML values read pictures as lxDocx_set_body_html
 *    does, and files of that folder too.
 * Without LXDOCX_STRICT in `flags` an undefined name renders empty; with it,
 * it fails the call. Only the parts holding tags change, and in them only the
 * tags, the units of modifiers, and the runs a split tag was gathered from.
 * The document is not saved. 1 on success; 0 with the document as it was and:
 * LXDOCX_ERR_REFUSED_INPUT, "The template data is not valid JSON: <reason> at
 * offset <n>" or "The template data is not a JSON object ({...})", or the
 * strict-markup text; LXDOCX_ERR_TEMPLATE, "The template cannot be rendered:"
 * and one line per problem, each naming the part, the paragraph, the text
 * around the tag and the tag: a tag not closed, a statement unknown or out of
 * place, an if or for without its end, an undefined name (strict), an unknown
 * filter, a modifier with no unit around it, a picture that cannot be read or
 * lies outside the resource folder, tags that do not nest with the
 * paragraphs, cells and rows around them. */
LXDOCX_API int lxDocx_render_template(DocxHandle *h, const char *data_json, int flags);

/* The folder from which lxDocx_render_template reads the picture files that
 * image values and the pictures of HTML values name (paths relative to it, or
 * inside it); NULL or "" for none (data URLs only, the default). 1 on
 * success; 0 with LXDOCX_ERR_IO and "No such folder: <dir>" when `dir` is no
 * folder (the folder set before stays). */
LXDOCX_API int lxDocx_set_resource_folder(DocxHandle *h, const char *dir);

#ifdef __cplusplus
}
#endif

#endif /* LORVEXDOCX_H */
