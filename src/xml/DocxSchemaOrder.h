#pragma once
// The order WordprocessingML wants the children of its property containers
// in, as local names: what inserting a child in its place (insertInOrder in
// DocxXml.h) and ranking children go by.
#include <QStringList>

// The children of w:rPr.
const QStringList &runPropertyOrder();
// The children of w:pPr.
const QStringList &paragraphPropertyOrder();
// The children of w:sectPr.
const QStringList &sectionPropertyOrder();
// The children of w:settings.
const QStringList &settingsOrder();
