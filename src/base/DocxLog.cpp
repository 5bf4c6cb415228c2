// The logging categories of the subsystems: debug traces off by default.
#include "DocxLog.h"

Q_LOGGING_CATEGORY(lcDocxZip, "lorvexdocx.zip", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDocxDocument, "lorvexdocx.document", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDocxReader, "lorvexdocx.reader", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDocxWriter, "lorvexdocx.writer", QtWarningMsg)
