#!/usr/bin/env python3
"""Seeds of deeply nested but valid markup for the fuzzers.

Writes body parts (for fuzz_richtext) and whole packages (for fuzz_package)
whose content controls, tables in tables and run containers nest close to
the deepest markup the library takes (256 levels), one just at it and one a
level past it. Usage: nested_seeds.py BODIES_DIR PACKAGES_DIR
"""
import os
import sys
import zipfile

MAX_DEPTH = 256
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'


def nested(tags, levels, inner):
    opening = ''.join('<%s>' % t for t in tags)
    closing = ''.join('</%s>' % t.split()[0] for t in reversed(tags))
    return opening * levels + inner + closing * levels


def paragraph(text):
    return '<w:p><w:r><w:t>%s</w:t></w:r></w:p>' % text


def document(body):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document %s><w:body>%s'
            '<w:sectPr><w:pgSz w:w="12240" w:h="15840"/></w:sectPr></w:body></w:document>' % (W, body))


def tables(levels, inner):
    out = inner
    for level in range(levels):
        out = '<w:tbl><w:tr><w:tc>%s%s</w:tc><w:tc>%s</w:tc></w:tr></w:tbl>' % (
            paragraph('level %d' % level), out, paragraph('beside %d' % level))
    return out


def containers(levels):
    """A paragraph whose run sits in a hyperlink, a field and smart tags."""
    run = '<w:r><w:t>inner</w:t></w:r>'
    return ('<w:p><w:hyperlink r:id="rId9"><w:fldSimple w:instr=" PAGE ">%s</w:fldSimple></w:hyperlink></w:p>'
            % nested(['w:smartTag', 'w:ins w:id="1"'], levels // 2, run))


def bodies():
    # w:document and w:body take two levels, the paragraph, run and text three.
    at_limit = nested(['w:sdt', 'w:sdtContent'], (MAX_DEPTH - 5) // 2, '<w:customXml>%s</w:customXml>'
                      % paragraph('deepest'))
    return {
        'controls': nested(['w:sdt', 'w:sdtContent'], 120, paragraph('inside') + containers(4)),
        'tables': tables(60, containers(8)),
        'tables-controls-runs': tables(8, nested(['w:sdt', 'w:sdtContent'], 10, containers(40))),
        'at-limit': at_limit,
        'past-limit': '<w:customXml>%s</w:customXml>' % at_limit,
    }


CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '<Default Extension="xml" ContentType="application/xml"/></Types>')
ROOT_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
             '<Relationship Id="rId1" Target="word/document.xml" '
             'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument"/>'
             '</Relationships>')
CORE = ('<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
        'xmlns:dc="http://purl.org/dc/elements/1.1/">%s</cp:coreProperties>'
        % nested(['cp:x'], MAX_DEPTH - 2, '<dc:title>deep</dc:title>'))
STYLES = ('<w:styles %s><w:style w:type="paragraph" w:styleId="Deep"><w:rPr><w:b/>%s</w:rPr></w:style></w:styles>'
          % (W, nested(['w:x'], MAX_DEPTH - 3, '')))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    bodies_dir, packages_dir = sys.argv[1:]
    for name, body in bodies().items():
        xml = document(body)
        with open(os.path.join(bodies_dir, 'nested-%s.xml' % name), 'w', encoding='utf-8') as f:
            f.write(xml)
        with zipfile.ZipFile(os.path.join(packages_dir, 'nested-%s.docx' % name), 'w', zipfile.ZIP_DEFLATED) as z:
            z.writestr('[Content_Types].xml', CONTENT_TYPES)
            z.writestr('_rels/.rels', ROOT_RELS)
            z.writestr('word/document.xml', xml)
            z.writestr('word/styles.xml', STYLES)
            z.writestr('docProps/core.xml', CORE)


if __name__ == '__main__':
    main()
