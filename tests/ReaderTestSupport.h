#pragma once
// Helpers of the Reader tests: small packages opened from a temporary folder,
// rich-text inspection and a capture of the library's log messages.
#include "DocxReader.h"
#include "DocxReaderInternal.h"
#include "TestSupport.h"

#include <QLoggingCategory>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace reader_testing {

using Parts = std::vector<std::pair<QByteArray, QByteArray>>;

inline QByteArray para(const QByteArray &text, const QByteArray &pPr = {})
{
    return "<w:p>" + (pPr.isEmpty() ? QByteArray() : "<w:pPr>" + pPr + "</w:pPr>") + "<w:r><w:t xml:space=\"preserve\">"
        + text + "</w:t></w:r></w:p>";
}

inline QByteArray sectPr(const QByteArray &inner) { return "<w:sectPr>" + inner + "</w:sectPr>"; }

// A part whose root `root` is in the main namespace, holding `content`.
inline QByteArray wPart(const char *root, const QByteArray &content)
{
    return QByteArray("<w:") + root + " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
        + "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" + content + "</w:" + root
        + ">";
}

inline QByteArray stylesPart(const QByteArray &styles) { return wPart("styles", styles); }

inline QByteArray paragraphStyle(const QByteArray &id, const QByteArray &props)
{
    return "<w:style w:type=\"paragraph\" w:styleId=\"" + id + "\">" + props + "</w:style>";
}

inline QByteArray relsPart(const QByteArray &relationships)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        + relationships + "</Relationships>";
}

inline QByteArray relationship(const QByteArray &id, const QByteArray &type, const QByteArray &target,
                               const QByteArray &extra = {})
{
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        + type + "\" Target=\"" + target + "\"" + extra + "/>";
}

// A package opened from a temporary folder; the document lives as long as this.
class Package
{
public:
    explicit Package(const QByteArray &bodyXml, const Parts &parts = {})
    {
        const QString path = dir_.filePath(QStringLiteral("doc.docx"));
        EXPECT_TRUE(testing_support::writeFile(
            path, testing_support::makePackage(testing_support::documentXml(bodyXml), parts)));
        doc_.reset(DocxReader::open(path));
        EXPECT_TRUE(doc_->isValid()) << doc_->errorString().toStdString();
    }

    const DocxDocument &doc() const { return *doc_; }

    // Populates `qd` over [start, end); end -1 means every paragraph.
    bool populate(QTextDocument &qd, int start = 0, int end = -1, QList<DocxBlockSource> *sources = nullptr) const
    {
        const DocxSectionRange range{QString(), start, end < 0 ? doc_->paragraphCount() : end};
        return DocxReader::populate(*doc_, range, &qd, sources);
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<DocxDocument> doc_;
};

inline QStringList blockTexts(const QTextDocument &qd)
{
    QStringList texts;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next())
        texts << b.text();
    return texts;
}

inline QTextBlock blockStartingWith(const QTextDocument &qd, const QString &prefix)
{
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        if (b.text().startsWith(prefix))
            return b;
    }
    ADD_FAILURE() << "no block starts with " << prefix.toStdString();
    return {};
}

// The character format at the first character of `text` in the document.
inline QTextCharFormat formatOf(const QTextDocument &qd, const QString &text)
{
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
        }
    }
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
}

// Collects the messages written while it lives, debug traces included.
class LogCapture
{
public:
    LogCapture()
        : previous_(qInstallMessageHandler(&LogCapture::handler)),
          debugWasEnabled_(QLoggingCategory::defaultCategory()->isDebugEnabled())
    {
        current() = this;
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    }
    ~LogCapture()
    {
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, debugWasEnabled_);
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    bool contains(const QString &piece) const
    {
        return std::any_of(messages_.cbegin(), messages_.cend(), [&](const QString &m) { return m.contains(piece); });
    }
    const QStringList &messages() const { return messages_; }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        if (current())
            current()->messages_ << msg;
    }
    QtMessageHandler previous_;
    bool debugWasEnabled_;
    QStringList messages_;
};

}  // namespace reader_testing
