/* reading OUTDIR FILE...: a plain C host reads each file through the library: its text into OUTDIR/N.txt, its HTML
 * into OUTDIR/N.html and its pages into OUTDIR/N.pdf (N counting the files from 1), then prints "N pages P", or
 * "N failed: TEXT" for a call that failed. */
#include <lorvexdocx.h>

#include <stdio.h>
#include <string.h>

static int write_text(const char *dir, int n, const char *suffix, const char *text)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%d.%s", dir, n, suffix);
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    const size_t size = strlen(text);
    const int ok = fwrite(text, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

static void read_file(const char *dir, const char *file, int n)
{
    char pdf[4096];
    int pages = 0;
    DocxHandle *h = lxDocx_open(file);
    if (!h) {
        printf("%d failed: %s\n", n, lxDocx_error(NULL));
        return;
    }
    const char *text = lxDocx_text(h, LXDOCX_TEXT_BODY);
    const char *html = text && write_text(dir, n, "txt", text) ? lxDocx_to_html(h, NULL) : NULL;
    snprintf(pdf, sizeof pdf, "%s/%d.pdf", dir, n);
    if (html && write_text(dir, n, "html", html) && lxDocx_render(h, pdf)
        && lxDocx_get_render_result(h, &pages, NULL, NULL))
        printf("%d pages %d\n", n, pages);
    else
        printf("%d failed: %s\n", n, lxDocx_error(h));
    lxDocx_close(h);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    lxDocx_init();
    for (int i = 2; i < argc; ++i)
        read_file(argv[1], argv[i], i - 1);
    return 0;
}
