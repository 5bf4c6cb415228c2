#pragma once
// DocxCoreProperties: the core properties ("docProps/core.xml") by key:
// "title", "author", "subject", "description", "keywords", "category" (keys
// compared exactly).
#include <QString>

class DocxPackage;

inline constexpr int kCorePropertyCount = 6;
// The place of `key` among the core properties, -1 when it names none.
int corePropertyIndex(const QString &key);

class DocxCoreProperties
{
public:
    explicit DocxCoreProperties(DocxPackage &package) : package_(package) {}

    // The property's value, trimmed; empty when absent. Also empty when `key`
    // names no core property or the part cannot be parsed, and then `err`
    // (when given) says why.
    QString value(const QString &key, QString *err = nullptr) const;
    // False when `key` names no core property or the part cannot be parsed
    // (`err` then says why). The part is created when missing.
    bool setValue(const QString &key, const QString &value, QString &err);

private:
    DocxPackage &package_;
};
