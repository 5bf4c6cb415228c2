#pragma once
// Rendering one part of a template with its data: the part's bytes with
// each tag's value in its place, each condition's branch and each loop's
// rounds. HTML and picture values are made only once every part rendered
// (see DocxRenderTemplate): rendering notes where each goes.
#include "DocxTemplatePictures.h"
#include "DocxTemplateProgram.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <functional>

struct DocxTemplateOptions
{
    bool strict = false;      // an undefined name is a failure, not an empty value
    QString resourceFolder;   // where picture files and pictures of HTML values may be read
    std::function<void()> beforeRichText;  // called once before the first HTML value is made
};

// An HTML or picture value to make at `offset` of the rendered bytes.
struct DocxPendingValue
{
    qsizetype offset = 0;
    int tag = -1;
    QString html;
    DocxPictureValue picture;
};

struct DocxRenderedPart
{
    QByteArray bytes;
    QList<DocxPendingValue> pending;  // in the order of their offsets
};

// Renders `program` with `data` into `out`. False with `problems` added to, each
// naming its tag and where it stands: an undefined name (with strict), an
// unknown filter, a picture that cannot be read, an HTML or picture value
// outside the text of a run, a render that grows beyond bounds.
bool renderTemplatePart(const DocxTemplateProgram &program, const QJsonObject &data, const DocxTemplateOptions &options,
                        DocxRenderedPart &out, QStringList &problems);
