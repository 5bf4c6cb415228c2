/* out_of_memory DIR: a plain C host limits its address space to what it holds plus 200 MB, hands a 400 MB text to
 * calls that must convert it (800 MB as UTF-16), prints each call's result and text, then uses the handle again. */
#include <lorvexdocx.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

static long mapped_bytes(void)
{
    long pages = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (f && fscanf(f, "%ld", &pages) != 1)
        pages = 0;
    if (f)
        fclose(f);
    return pages * 4096;
}

int main(int argc, char **argv)
{
    char blank[4096], written[4096];
    if (argc != 2)
        return 2;
    snprintf(blank, sizeof blank, "%s/blank.docx", argv[1]);
    snprintf(written, sizeof written, "%s/written.docx", argv[1]);
    lxDocx_init();
    DocxHandle *h = lxDocx_create_blank(blank);
    const size_t size = (size_t)400 << 20;
    char *big = malloc(size + 1);
    if (!h || !big)
        return 2;
    memset(big, 'a', size);
    big[size] = '\0';
    const rlim_t bytes = (rlim_t)(mapped_bytes() + (200L << 20));
    const struct rlimit limit = {bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0)
        return 2;
    int ok = lxDocx_set_doc_property(h, "title", big);
    printf("set_doc_property %d: %s\n", ok, lxDocx_error(h));
    ok = lxDocx_write_html(written, big);
    printf("write_html %d: %s\n", ok, lxDocx_error(NULL));
    ok = lxDocx_set_doc_property(h, "title", "fits");
    printf("afterwards %d %d\n", ok, lxDocx_save(h));
    lxDocx_close(h);
    free(big);
    return 0;
}
