#pragma once
// Where a page's text and pictures come from.
#include <QByteArrayView>
#include <QString>

// The text of an HTML page given as bytes: UTF-16 or UTF-8 by its byte order
// mark; else UTF-8 when the bytes are valid UTF-8; else the encoding its
// <meta charset> or <meta http-equiv="Content-Type"> declares; else
// windows-1252. NUL characters are left out.
QString decodeHtml(QByteArrayView bytes);

// The page with the pictures it names by a relative path or file URL inside
// `folder` (and only there) put in as data URLs, for a host that means to
// embed the page's local pictures. Paths that leave the folder, and files
// that are missing or are no pictures, stay as they are.
QString inlineLocalImages(const QString &html, const QString &folder);
