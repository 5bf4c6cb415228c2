/* A host built against an installed LorvexDocx: prints the title of the document it is given.   host FILE */
#include <lorvexdocx.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    if (strcmp(lxDocx_version(), LORVEXDOCX_VERSION_STRING) != 0 || LORVEXDOCX_VERSION_NUMBER < 10100) {
        fprintf(stderr, "header %s, library %s\n", LORVEXDOCX_VERSION_STRING, lxDocx_version());
        return 1;
    }
    LxDocxHandle *h = lxDocx_open(argv[1]);
    if (!h) {
        fprintf(stderr, "%s\n", lxDocx_error(NULL));
        return 1;
    }
    printf("title: %s\n", lxDocx_get_doc_property(h, "title"));
    lxDocx_close(h);
    return 0;
}
