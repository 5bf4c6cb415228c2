/*
 * LorvexDocx: open, edit and save DOCX (WordprocessingML) packages.
 *
 * The C interface of libLorvexDocx. A host calls lxDocx_init() once, then works
 * on documents through opaque handles.
 *
 * Conventions of every function below:
 *  - Text arguments are UTF-8, NUL-terminated. Where a function does not say
 *    that it refuses a null text argument, null reads as the empty string.
 *  - Flag arguments: any non-zero value means true.
 *  - int results are exactly 1 (success, or "yes") or 0 (failure, or "no").
 *  - A function taking a handle returns its failure value at once (0, NULL, or
 *    for lxDocx_get_doc_property an empty string) when the handle is NULL, and
 *    writes 0 to *out_len when it has such a parameter and it is not NULL.
 *  - Failures are described by lxDocx_error(): per handle for functions that
 *    take one, library-wide (lxDocx_error(NULL)) for the four functions that do
 *    not (lxDocx_open, lxDocx_create_blank, lxDocx_write_html,
 *    lxDocx_resave_full). A later success never clears a text, so read it right
 *    after the failing call. Functions whose documentation names no text record
 *    none: their 0 is the whole report.
 *  - Returned strings belong to the library, are NUL-terminated and must not be
 *    freed; each function says how long its pointer stays good.
 *  - Nothing reaches the disk before lxDocx_save or lxDocx_save_as, except the
 *    functions that write a new file (lxDocx_create_blank, lxDocx_write_html,
 *    lxDocx_resave_full). Files are replaced atomically: on failure the old file
 *    stays as it was.
 *  - Threads: a handle is used by one thread at a time; different handles share
 *    nothing but the library-wide error text, so lxDocx_open,
 *    lxDocx_create_blank, lxDocx_write_html, lxDocx_resave_full and
 *    lxDocx_error(NULL) must not run on several threads at once.
 */
#ifndef LORVEXDOCX_H
#define LORVEXDOCX_H

#if defined(LXDOCX_BUILDING)
#define LXDOCX_API __attribute__((visibility("default")))
#else
#define LXDOCX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open document. Opaque: hosts only pass it back. */
typedef struct DocxHandle DocxHandle;

/* Header and footer kinds (any other value means the default kind). */
#define LXDOCX_HF_DEFAULT 0
#define LXDOCX_HF_EVEN 1
#define LXDOCX_HF_FIRST 2

/* ---- Start-up, version, errors ---------------------------------------- */

/* Gives the process a Qt GUI application object when it has no Qt application
 * yet, selecting the "offscreen" platform unless QT_QPA_PLATFORM is already set.
 * Call once before the functions that build rich text (lxDocx_set_body_html,
 * lxDocx_write_html, lxDocx_resave_full). Calling it again does nothing; the
 * application object lives to the end of the process. */
LXDOCX_API void lxDocx_init(void);

/* The library version, "1.1.0". Static: good until the library is unloaded. */
LXDOCX_API const char *lxDocx_version(void);

/* The text of the most recent failure recorded on `h`, or with h == NULL the
 * most recent failure of lxDocx_open, lxDocx_create_blank, lxDocx_write_html or
 * lxDocx_resave_full. "" when nothing failed yet; never NULL. With a handle the
 * pointer is good until the next lxDocx_error on that handle or lxDocx_close;
 * with NULL until the next failure of one of those four functions. */
LXDOCX_API const char *lxDocx_error(DocxHandle *h);

/* ---- Handles ------------------------------------------------------------- */

/* Opens the DOCX file at `path`. Returns a new handle, or NULL with the reason
 * in lxDocx_error(NULL) (for example "Cannot open: <path>", "Not a valid ZIP
 * (EOCD not found)", "Not a valid DOCX: missing word/document.xml", "XML parse
 * error at line L col C: <message>"). Close the handle with lxDocx_close. */
LXDOCX_API DocxHandle *lxDocx_open(const char *path);

/* Writes a blank document (one empty "Normal" paragraph, a Letter page with
 * one-inch margins) to `path`, replacing any file there, and opens it. Returns
 * a new handle whose own path is `path`, or NULL with the reason in
 * lxDocx_error(NULL) ("createBlank returned null" when the file could not be
 * written). */
LXDOCX_API DocxHandle *lxDocx_create_blank(const char *path);

/* Closes the handle and frees the document and every string returned for it.
 * NULL does nothing. Using or closing the handle again afterwards is undefined. */
LXDOCX_API void lxDocx_close(DocxHandle *h);

/* 1 when `h` holds a valid document (every handle the library gave out does). */
LXDOCX_API int lxDocx_is_valid(DocxHandle *h);

/* ---- Saving --------------------------------------------------------------- */

/* Saves the document to the path it was opened from (or created at).
 * On failure: 0, lxDocx_error(h) is "DocxWriter::save failed". */
LXDOCX_API int lxDocx_save(DocxHandle *h);

/* Saves the document to `path`; the document keeps its own path, so a later
 * lxDocx_save still writes to the original file.
 * On failure: 0, lxDocx_error(h) is "DocxWriter::saveVersion failed". */
LXDOCX_API int lxDocx_save_as(DocxHandle *h, const char *path);

/* ---- Page setup (the document's last section) ------------------------------
 * Lengths are twips (1/1440 inch). Changes to the section reach the file at
 * the next save. These functions record no error text: 0 is their report. */

/* Reads the page margins, header and footer distances, gutter and whether
 * margins are mirrored (1/0) into the non-NULL pointers; NULL pointers are
 * skipped. Note the order: top, bottom, left, right. Values the document does
 * not give (or gives negative) read as 1440 for the margins, 709 for header and
 * footer, 0 for the gutter. Returns 1. */
LXDOCX_API int lxDocx_get_margins(DocxHandle *h, int *top, int *bottom, int *left, int *right, int *header,
                                  int *footer, int *gutter, int *mirror);

/* Sets all eight values (order as above; `mirror` non-zero mirrors the
 * margins, also in "word/settings.xml" when the package has one). Values are
 * written as given. 0 when the document has no section. */
LXDOCX_API int lxDocx_set_margins(DocxHandle *h, int top, int bottom, int left, int right, int header, int footer,
                                  int gutter, int mirror);

/* 1 when the section has a distinct first page (w:titlePg). */
LXDOCX_API int lxDocx_get_title_page(DocxHandle *h);

/* Switches the distinct first page on or off. 0 when the document has no section. */
LXDOCX_API int lxDocx_set_title_page(DocxHandle *h, int on);

/* 1 when the document has distinct even and odd headers ("word/settings.xml"). */
LXDOCX_API int lxDocx_get_even_and_odd(DocxHandle *h);

/* Switches distinct even and odd headers on or off. 0 when the package has no
 * settings part (none is created) or it cannot be parsed. */
LXDOCX_API int lxDocx_set_even_and_odd(DocxHandle *h, int on);

/* Sets the page-number format `fmt` (for example "decimal", "lowerRoman",
 * "upperRoman", written as given) and the first page number `start`; a
 * negative `start` removes any start value. 0 when `fmt` is NULL or the
 * document has no section. */
LXDOCX_API int lxDocx_set_page_number_format(DocxHandle *h, const char *fmt, int start);

/* ---- Headers and footers ------------------------------------------------------
 * `kind`: LXDOCX_HF_EVEN (1), LXDOCX_HF_FIRST (2), any other value the default
 * header or footer. Switching on first-page or even-page headers is
 * lxDocx_set_title_page / lxDocx_set_even_and_odd; writing a part does not. */

/* The XML of the last section's header (footer) part of `kind`, NUL-terminated,
 * with its byte count in *out_len when out_len is not NULL. NULL (and 0) when
 * the section has no such part. The pointer is good until the next call of the
 * same function on `h`, or lxDocx_close. */
LXDOCX_API const char *lxDocx_get_header_xml(DocxHandle *h, int kind, int *out_len);
LXDOCX_API const char *lxDocx_get_footer_xml(DocxHandle *h, int kind, int *out_len);

/* Stores `len` bytes of `xml` (a negative `len` reads up to the NUL) as the
 * header (footer) part of `kind`: the existing part is replaced in place, or a
 * new part "word/headerN.xml" with its relationship, content type and section
 * reference is added. Returns 0 and stores nothing when `xml` is NULL, `len` is
 * 0, the XML is not well-formed, or all 99 part names are taken. No error text. */
LXDOCX_API int lxDocx_set_header_xml(DocxHandle *h, int kind, const char *xml, int len);
LXDOCX_API int lxDocx_set_footer_xml(DocxHandle *h, int kind, const char *xml, int len);

/* Builds a complete one-paragraph header (is_header non-zero) or footer part
 * from `text`, where "{PAGE}", "{NUMPAGES}", "{TITLE}", "{CHAPTER}" and
 * "{AUTHOR}" become fields (page number, page count, title, first Heading 1
 * text, author) and everything else is literal text. `align` is the paragraph
 * alignment ("left", "center", "right", "both"). Needs no handle. Returns the
 * XML with its byte count in *out_len, or NULL (and 0) when text or align is
 * NULL. The buffer belongs to the calling thread and is good until that
 * thread's next lxDocx_build_hf_xml. */
LXDOCX_API const char *lxDocx_build_hf_xml(int is_header, const char *text, const char *align, int *out_len);

/* ---- Core document properties ("docProps/core.xml") ------------------------------
 * Keys: "title", "author", "subject", "description", "keywords", "category";
 * any other key means "title". */

/* The property's value, trimmed, or "" when absent, unreadable, or on NULL
 * arguments; never NULL. The pointer is good until the next call with the same
 * key on `h`, or lxDocx_close; values of other keys stay good meanwhile. */
LXDOCX_API const char *lxDocx_get_doc_property(DocxHandle *h, const char *key);

/* Sets the property (creating the core-properties part, its content type and
 * its package relationship when the package has none). 0 when `key` or
 * `value` is NULL or the part cannot be parsed (it is then left unchanged). */
LXDOCX_API int lxDocx_set_doc_property(DocxHandle *h, const char *key, const char *value);

/* ---- Bodies from HTML, and the rich-text re-save ---------------------------------
 * These build rich text with Qt: call lxDocx_init() first (or run inside a Qt
 * application). HTML is anything QTextDocument::setHtml accepts: h1-h6 become
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
 * rest of the body and the page setup stay. The document is not saved. Returns
 * 0 when `html` is NULL, or when the body cannot take content, with
 * lxDocx_error(h) = "lxDocx_set_body_html: buildFullDocumentDom failed". HTML
 * that yields no content leaves the body as it was and returns 1. */
LXDOCX_API int lxDocx_set_body_html(DocxHandle *h, const char *html);

/* Writes a new document at `path` (replacing any file there) whose body is
 * `html`. 0 when an argument is NULL; 0 with lxDocx_error(NULL) =
 * "createBlank returned null" when the file cannot be written, or
 * "lxDocx_write_html: build or save failed". */
LXDOCX_API int lxDocx_write_html(const char *path, const char *html);

/* Opens `src`, converts every body paragraph to rich text and writes it back
 * from that rich text, and saves the result as `dst` (`src` is not changed).
 * Each paragraph keeps its own text; list labels and table-of-contents lines,
 * which the rich text only shows, are not written into the document;
 * page-number fields stay fields. 0 when an argument is NULL; 0 with
 * lxDocx_error(NULL) = the open error, or
 * "lxDocx_resave_full: populate/saveSection/save failed". */
LXDOCX_API int lxDocx_resave_full(const char *src, const char *dst);

#ifdef __cplusplus
}
#endif

#endif /* LORVEXDOCX_H */
