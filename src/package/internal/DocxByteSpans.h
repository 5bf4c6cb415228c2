#pragma once
// Placing what the stream reader reads in the bytes of a part: its offsets
// count UTF-16 units, splicing needs UTF-8 bytes.
#include "DocxXml.h"

#include <QByteArray>
#include <QList>
#include <QStringView>
#include <QXmlStreamReader>

#include <cstring>

// Maps the stream reader's UTF-16 offsets into UTF-8 bytes (a byte-order mark
// is not counted, as the reader does not count it).
class DocxByteOffsets
{
public:
    explicit DocxByteOffsets(const QByteArray &bytes)
        : d_(reinterpret_cast<const uchar *>(bytes.constData())), n_(bytes.size()),
          origin_(bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0), i_(origin_)
    {
    }

    // -1 when the offset falls inside a character or past the end. Offsets
    // asked for in increasing order cost one walk over the bytes in all.
    qsizetype at(qint64 units)
    {
        if (units < units_) {
            i_ = origin_;
            units_ = 0;
        }
        while (units_ < units && i_ < n_) {
            if (units - units_ >= 8 && n_ - i_ >= 8) {
                // Eight characters of ASCII at a time: one unit a byte.
                quint64 word;
                std::memcpy(&word, d_ + i_, 8);
                if (!(word & 0x8080808080808080ULL)) {
                    units_ += 8;
                    i_ += 8;
                    continue;
                }
            }
            const uchar c = d_[i_];
            const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            units_ += len == 4 ? 2 : 1;
            i_ += len;
        }
        return units_ == units && i_ <= n_ ? i_ : -1;
    }

private:
    const uchar *d_;
    qsizetype n_;
    qsizetype origin_;
    qsizetype i_;
    qint64 units_ = 0;
};

// The bindings in force inside the innermost of `stack`, each prefix once (the
// innermost binding of a prefix, placed where that binding was made).
DocxNamespaceBindings flattenBindings(const QList<DocxNamespaceBindings> &stack);
// Where the start tag of an element named `name` begins, from the reader's
// offset of the token before it; -1 when no candidate opens the tag.
qsizetype startTagAt(const QByteArray &bytes, DocxByteOffsets &offsets, qint64 startChar, QStringView name);
// Just after the '>' ending an element, from the reader's offset after its end
// tag; -1 when the offset does not land there.
qsizetype elementEndAt(const QByteArray &bytes, DocxByteOffsets &offsets, qint64 endChar);
// The position just after the '>' closing the start tag that begins at `start`.
qsizetype startTagEnd(const QByteArray &bytes, qsizetype start);
// True when the part is UTF-8, so that the reader's offsets map into its bytes.
bool isUtf8Part(const QXmlStreamReader &r, const QByteArray &bytes);
