/* every_export OUTDIR FILE...: a plain C host calls every export on each file and watches its own stderr. Prints a
 * line per failure (with the library's text) and per call that printed although it succeeded (a call that succeeds
 * prints nothing), then "files N calls N failures N noisy N"; exits 1 when a call was noisy. */
#include <lorvexdocx.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int g_stderr = -1; /* the file stderr goes to, and how much of it was seen */
static off_t g_seen = 0;
static const char *g_file = "(start-up)";
static DocxHandle *g_h = NULL;
static long g_calls = 0, g_failures = 0, g_noisy = 0;

/* Ends a call: reports it when it failed (or changed the handle's error text) or printed although it succeeded. */
static void done(const char *call, int ok, const char *error_before)
{
    struct stat st;
    const off_t size = fstat(g_stderr, &st) == 0 ? st.st_size : 0;
    ++g_calls;
    if (!ok || (error_before && strcmp(error_before, lxDocx_error(g_h)) != 0)) {
        printf("failed: %s on %s: %s\n", call, g_file, lxDocx_error(g_h));
        ++g_failures;
    } else if (size > g_seen) {
        char text[512] = {0};
        const ssize_t n = pread(g_stderr, text, sizeof text - 1, g_seen);
        printf("noisy: %s on %s: %.*s\n", call, g_file, (int)(n > 0 ? n : 0), text);
        ++g_noisy;
    }
    g_seen = size;
}

/* A call on the open handle; its error text is copied first (the buffer changes). */
#define CALL(name, expr)                                                                                        \
    do {                                                                                                        \
        char *before_ = strdup(lxDocx_error(g_h));                                                              \
        done(name, (expr), before_);                                                                            \
        free(before_);                                                                                          \
    } while (0)

static void every_call(const char *out_dir, const char *path, int n)
{
    static const char *const keys[] = {"title", "author", "subject", "description", "keywords", "category"};
    static const char *const outputs[] = {"edited", "body", "resaved", "html"};
    char out[4][4096], png[4096];
    int m[8] = {0}, len = 0, pages = 0;
    for (int i = 0; i < 4; ++i)
        snprintf(out[i], sizeof out[i], "%s/%d-%s.docx", out_dir, n, outputs[i]);
    snprintf(png, sizeof png, "%s/%d-page.png", out_dir, n);
    g_file = path;
    g_h = lxDocx_open(path);
    done("lxDocx_open", g_h != NULL, NULL);
    if (!g_h)
        return;
    CALL("lxDocx_is_valid", lxDocx_is_valid(g_h));
    CALL("lxDocx_get_margins", lxDocx_get_margins(g_h, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]));
    CALL("lxDocx_get_title_page", (lxDocx_get_title_page(g_h), 1));
    CALL("lxDocx_get_even_and_odd", (lxDocx_get_even_and_odd(g_h), 1));
    for (int kind = 0; kind < 3; ++kind) {
        CALL("lxDocx_get_header_xml", (lxDocx_get_header_xml(g_h, kind, &len), 1));
        CALL("lxDocx_get_footer_xml", (lxDocx_get_footer_xml(g_h, kind, &len), 1));
    }
    for (size_t k = 0; k < sizeof keys / sizeof *keys; ++k)
        CALL("lxDocx_get_doc_property", lxDocx_get_doc_property(g_h, keys[k]) != NULL);
    CALL("lxDocx_text", lxDocx_text(g_h, LXDOCX_TEXT_HEADERS_FOOTERS | LXDOCX_TEXT_NOTES | LXDOCX_TEXT_JSON) != NULL);
    CALL("lxDocx_to_html", lxDocx_to_html(g_h, NULL) != NULL);
    CALL("lxDocx_render", lxDocx_render(g_h, png));
    CALL("lxDocx_get_render_result", lxDocx_get_render_result(g_h, &pages, NULL, NULL) && pages == 1);
    CALL("lxDocx_set_margins", lxDocx_set_margins(g_h, m[0], m[1], m[2] + 20, m[3], m[4], m[5], m[6], !m[7]));
    CALL("lxDocx_set_title_page", lxDocx_set_title_page(g_h, 1));
    CALL("lxDocx_set_even_and_odd", lxDocx_set_even_and_odd(g_h, 1));
    CALL("lxDocx_set_page_number_format", lxDocx_set_page_number_format(g_h, "lowerRoman", 3));
    const char *xml = lxDocx_build_hf_xml(1, "{TITLE} - {CHAPTER}", "right", &len);
    done("lxDocx_build_hf_xml", xml != NULL, NULL);
    CALL("lxDocx_set_header_xml", lxDocx_set_header_xml(g_h, LXDOCX_HF_FIRST, xml, len));
    xml = lxDocx_build_hf_xml(0, "Page {PAGE} of {NUMPAGES}", "center", &len);
    done("lxDocx_build_hf_xml", xml != NULL, NULL);
    CALL("lxDocx_set_footer_xml", lxDocx_set_footer_xml(g_h, LXDOCX_HF_DEFAULT, xml, len));
    CALL("lxDocx_set_doc_property", lxDocx_set_doc_property(g_h, "author", "Every Export"));
    int replaced = 0;
    CALL("lxDocx_replace_text", lxDocx_replace_text(g_h, "e", "e", 0, &replaced));
    done("lxDocx_error_code", lxDocx_error_code(g_h) >= LXDOCX_OK, NULL);
    CALL("lxDocx_save_as", lxDocx_save_as(g_h, out[0]));
    CALL("lxDocx_set_body_html",
         lxDocx_set_body_html(g_h, "<h1>Replaced</h1><p>A <b>new</b> body with <a href=\"http://x.test\">a link</a>"
                                   "</p><ul><li>one</li></ul><table><tr><td>cell</td></tr></table>"));
    CALL("lxDocx_save_as", lxDocx_save_as(g_h, out[1]));
    lxDocx_close(g_h);
    g_h = NULL;
    done("lxDocx_resave_full", lxDocx_resave_full(path, out[2]), NULL);
    done("lxDocx_write_html", lxDocx_write_html(out[3], "<p>written</p>"), NULL);
    for (int i = 0; i < 4; ++i) /* keeps the folder small */
        unlink(out[i]);
    unlink(png);
}

int main(int argc, char **argv)
{
    char path[4096];
    if (argc < 3)
        return 2;
    snprintf(path, sizeof path, "%s/stderr.log", argv[1]);
    if ((g_stderr = open(path, O_RDWR | O_CREAT | O_TRUNC, 0600)) < 0 || dup2(g_stderr, 2) < 0) {
        perror(path);
        return 2;
    }
    lxDocx_init();
    done("lxDocx_init", 1, NULL);
    done("lxDocx_version", lxDocx_version()[0] != '\0', NULL);
    snprintf(path, sizeof path, "%s/blank.docx", argv[1]);
    g_h = lxDocx_create_blank(path);
    done("lxDocx_create_blank", g_h != NULL, NULL);
    CALL("lxDocx_save", lxDocx_save(g_h));
    lxDocx_close(g_h);
    for (int i = 2; i < argc; ++i)
        every_call(argv[1], argv[i], i);
    printf("files %d calls %ld failures %ld noisy %ld\n", argc - 2, g_calls, g_failures, g_noisy);
    return g_noisy ? 1 : 0;
}
