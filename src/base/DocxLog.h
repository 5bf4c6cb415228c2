#pragma once
// One logging category per subsystem ("lorvexdocx.zip", "lorvexdocx.document",
// "lorvexdocx.reader", "lorvexdocx.writer"). Warnings are on and debug traces
// off unless QT_LOGGING_RULES says otherwise, so a host can silence or trace
// the library without touching its own messages. Every message goes through
// the Qt message logger with the subsystem's source file, the line and the
// function as context.
#include <QDebug>
#include <QLoggingCategory>
#include <QMessageLogger>

Q_DECLARE_LOGGING_CATEGORY(lcDocxZip)
Q_DECLARE_LOGGING_CATEGORY(lcDocxDocument)
Q_DECLARE_LOGGING_CATEGORY(lcDocxReader)
Q_DECLARE_LOGGING_CATEGORY(lcDocxWriter)

// A stream of `level` (warning, debug) in `category`, evaluated only when the
// category has that level switched on.
#define DOCX_LOG(category, file, isEnabled, level)                                              \
    for (bool docxLogOn = category().isEnabled(); docxLogOn; docxLogOn = false)                 \
    QMessageLogger(file, __LINE__, Q_FUNC_INFO, category().categoryName()).level()

#define zipWarning() DOCX_LOG(lcDocxZip, "src/zip/DocxZip", isWarningEnabled, warning)
#define documentWarning() DOCX_LOG(lcDocxDocument, "src/package/DocxDocument", isWarningEnabled, warning)
#define documentDebug() DOCX_LOG(lcDocxDocument, "src/package/DocxDocument", isDebugEnabled, debug)
#define readerWarning() DOCX_LOG(lcDocxReader, "src/reader/DocxReader", isWarningEnabled, warning)
#define readerDebug() DOCX_LOG(lcDocxReader, "src/reader/DocxReader", isDebugEnabled, debug)
#define writerWarning() DOCX_LOG(lcDocxWriter, "src/writer/DocxWriter", isWarningEnabled, warning)
#define writerDebug() DOCX_LOG(lcDocxWriter, "src/writer/DocxWriter", isDebugEnabled, debug)
