#pragma once
// Pictures given as template values: a data URL, or a file inside the
// resource folder the caller names (never any other file), shown at the size
// the image filter asks (width="4cm", height="30mm"; one keeps proportions).
#include <QByteArray>
#include <QJsonObject>
#include <QString>

struct DocxPictureValue
{
    QByteArray bytes;
    qint64 cx = 0;  // EMU; 0: from the picture's proportions or own size
    qint64 cy = 0;
};

// The picture `source` names, sized by `arguments` (of the image filter);
// false with `why` when it cannot be read, is no picture or a size does not read.
bool loadPictureValue(const QString &source, const QString &resourceFolder, const QJsonObject &arguments,
                      DocxPictureValue &picture, QString &why);
