#pragma once
// Editing the paragraphs of one part in its bytes: each outermost paragraph is
// parsed alone, its paragraphs (those of its text boxes too) are handed to an
// edit, and only the paragraphs an edit changed are written back; every other
// byte of the part stays as it was.
#include <QByteArray>
#include <QByteArrayView>
#include <QDomElement>
#include <QString>

#include <functional>

// Changes one paragraph in place; true when it changed it.
using DocxParagraphEdit = std::function<bool(const QDomElement &paragraph)>;

// The part `bytes` with every paragraph passed through `edit`, into `out`
// (left empty when nothing changed); with `mustHold`, only the outermost
// paragraphs whose bytes hold it. False with `err` when the part does not read.
bool editPartParagraphs(const QByteArray &bytes, const DocxParagraphEdit &edit, QByteArray &out, QString &err,
                        QByteArrayView mustHold = {});
