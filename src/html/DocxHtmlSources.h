#pragma once
// Where a page's text and pictures come from.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The text of an HTML page given as bytes: UTF-16 or UTF-8 by its byte order
// mark; else UTF-8 when the bytes are valid UTF-8; else the encoding its
// <meta charset> or <meta http-equiv="Content-Type"> declares; else
// windows-1252. NUL characters are left out.
QString decodeHtml(QByteArrayView bytes);

// The bytes a data URL carries ("data:[type][;base64],payload"); empty for
// other names.
QByteArray dataUrlBytes(const QString &name);

// The page with the pictures it names by a relative path or file URL inside
// `folder` (and only there) put in as data URLs, for a host that means to
// embed the page's local pictures. Paths that leave the folder, and files
// that are missing or are no pictures, stay as they are.
QString inlineLocalImages(const QString &html, const QString &folder);

// A picture file named by a relative path, a path or a file URL, read only
// when it lies inside a folder.
struct DocxLocalPicture
{
    enum Status {
        NotAFile,   // the name is a URL of another scheme, or no folder is given
        Outside,    // the file lies outside the folder
        Missing,    // no such file inside the folder, or it cannot be read
        NoPicture,  // the file holds no picture the image readers know
        Read,
    };
    Status status = NotAFile;
    QByteArray bytes;
    QByteArray format;  // as the image readers name it ("png", "svg", ...)
};
DocxLocalPicture readLocalPicture(const QString &src, const QString &folder);
