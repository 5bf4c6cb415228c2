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

#ifdef __cplusplus
}
#endif

#endif /* LORVEXDOCX_H */
