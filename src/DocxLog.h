#pragma once
// One logging helper per subsystem: every message goes through the Qt message
// logger with the subsystem's source file, the line and the function as context.
#include <QDebug>
#include <QMessageLogger>

#define DOCX_LOGGER(file) QMessageLogger(file, __LINE__, Q_FUNC_INFO)

#define zipWarning() DOCX_LOGGER("src/DocxZip_Qt").warning()
#define documentWarning() DOCX_LOGGER("src/DocxDocument").warning()
#define documentDebug() DOCX_LOGGER("src/DocxDocument").debug()
#define readerWarning() DOCX_LOGGER("src/DocxReader").warning()
#define readerDebug() DOCX_LOGGER("src/DocxReader").debug()
#define writerWarning() DOCX_LOGGER("src/DocxWriter").warning()
#define writerDebug() DOCX_LOGGER("src/DocxWriter").debug()
