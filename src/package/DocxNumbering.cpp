// Numbering definitions: parsing, lookups and the library's own numbering part.
#include "DocxNumbering.h"

#include "DocxPackage.h"
#include "DocxPartXml.h"
#include "DocxStyles.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

namespace {

constexpr int kLevelCount = 9;
constexpr int kLevelIndentStep = 720;  // twips per list level

int toInt(const QString &s, bool *ok) { return s.toInt(ok); }

NumLevel parseLevel(const QDomElement &lvl)
{
    NumLevel level;
    for (QDomElement c = lvl.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString name = c.localName();
        bool ok = false;
        if (name == QLatin1String("start")) {
            const int v = toInt(wVal(c), &ok);
            if (ok)
                level.start = v;
        } else if (name == QLatin1String("numFmt")) {
            level.numFmt = wVal(c);
        } else if (name == QLatin1String("lvlText")) {
            level.lvlText = wVal(c);
        } else if (name == QLatin1String("isLgl")) {
            level.isLgl = onOffValue(c);
        } else if (name == QLatin1String("lvlRestart")) {
            const int v = toInt(wVal(c), &ok);
            if (ok && v >= 0)
                level.restartAfter = v;
        } else if (name == QLatin1String("suff")) {
            level.suffix = wVal(c);
        } else if (name == QLatin1String("pPr")) {
            for (const QDomElement &ind : childrenByLocalName(c, "ind")) {
                int twips = 0;
                if (readMeasure(wAttr(ind, QStringLiteral("left")), kTwipsPerPoint, &twips))
                    level.indentPx = twips / kTwipsPerPixel;
                if (readMeasure(wAttr(ind, QStringLiteral("hanging")), kTwipsPerPoint, &twips))
                    level.hangingPx = twips / kTwipsPerPixel;
            }
        } else if (name == QLatin1String("rPr")) {
            const QString font = runFontFamily(firstChildByLocalName(c, "rFonts"));
            if (!font.isEmpty())
                level.font = font;
            const QList<QDomElement> sizes = childrenByLocalName(c, "sz");
            if (!sizes.isEmpty()) {
                int sz = 0;
                if (readMeasure(wVal(sizes.first()), kHalfPointsPerPoint, &sz) && sz >= 1)
                    level.sizePt = sz / 2.0;
            }
        }
    }
    return level;
}

QString numberingLevel(int level, bool bullet)
{
    static const char *const bullets[] = {"\u2022", "\u25E6", "\u25AA"};
    const QString text = bullet ? QString::fromUtf8(bullets[level % 3]) : QStringLiteral("%%1.").arg(level + 1);
    return QStringLiteral("<w:lvl w:ilvl=\"%1\"><w:start w:val=\"1\"/><w:numFmt w:val=\"%2\"/><w:lvlText w:val=\"%3\"/>"
                          "<w:lvlJc w:val=\"left\"/><w:pPr><w:ind w:left=\"%4\" w:hanging=\"360\"/></w:pPr></w:lvl>")
        .arg(QString::number(level), bullet ? QStringLiteral("bullet") : QStringLiteral("decimal"), text,
             QString::number((level + 1) * kLevelIndentStep));
}

QString abstractNumbering(int id, bool bullet)
{
    QString xml = QStringLiteral("<w:abstractNum w:abstractNumId=\"%1\">").arg(id);
    for (int level = 0; level < kLevelCount; ++level)
        xml += numberingLevel(level, bullet);
    return xml + QStringLiteral("</w:abstractNum>");
}

}  // namespace

const DocxNumbering &DocxNumbering::loaded() const
{
    if (!loaded_) {
        // Reading on first use changes nothing a caller sees.
        auto *self = const_cast<DocxNumbering *>(this);
        self->loaded_ = true;
        self->readPart();
    }
    return *this;
}

void DocxNumbering::readPart()
{
    abstractNums_.clear();
    numToAbstract_.clear();
    startOverrides_.clear();
    levelOverrides_.clear();
    QDomDocument numbering;
    if (!loadPresentPart(package_.entries(), QString::fromLatin1(kPartNumbering), numbering,
                         "parseNumbering: XML error:"))
        return;
    const QString w = namespaceAsIn(numbering.documentElement(), kNsW);
    QMap<int, QString> styleLinks;  // abstract lists whose levels a numbering style holds
    const QDomNodeList abstracts = numbering.elementsByTagNameNS(w, QStringLiteral("abstractNum"));
    for (int i = 0; i < abstracts.size(); ++i) {
        const QDomElement a = abstracts.at(i).toElement();
        bool ok = false;
        const int abstractId = toInt(wAttr(a, QStringLiteral("abstractNumId")), &ok);
        if (!ok)
            continue;
        QMap<int, NumLevel> levels;
        for (const QDomElement &lvl : childrenByLocalName(a, "lvl")) {
            const int ilvl = toInt(wAttr(lvl, QStringLiteral("ilvl")), &ok);
            if (ok)
                levels.insert(ilvl, parseLevel(lvl));
        }
        const QList<QDomElement> link = childrenByLocalName(a, "numStyleLink");
        if (levels.isEmpty() && !link.isEmpty())
            styleLinks.insert(abstractId, wVal(link.first()));
        abstractNums_.insert(abstractId, levels);
    }
    const QDomNodeList nums = numbering.elementsByTagNameNS(w, QStringLiteral("num"));
    for (int i = 0; i < nums.size(); ++i) {
        const QDomElement num = nums.at(i).toElement();
        bool ok = false;
        const int numId = toInt(wAttr(num, QStringLiteral("numId")), &ok);
        if (!ok || numId == 0)
            continue;
        for (QDomElement c = num.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            if (c.localName() == QLatin1String("abstractNumId")) {
                const int abstractId = toInt(wVal(c), &ok);
                if (ok)
                    numToAbstract_.insert(numId, abstractId);
            } else if (c.localName() == QLatin1String("lvlOverride")) {
                readLevelOverride(numId, c);
            }
        }
    }
    // An abstract list that only names a numbering style numbers with the
    // levels of the list that style names.
    for (auto it = styleLinks.cbegin(); it != styleLinks.cend(); ++it) {
        const int linkedNum = styles_.numberingStyleNum(it.value());
        const auto target = abstractNums_.constFind(numToAbstract_.value(linkedNum, -1));
        if (target != abstractNums_.cend())
            abstractNums_[it.key()] = *target;
    }
    documentDebug() << "parseNumbering: abstractNums=" << abstractNums_.size() << " nums=" << numToAbstract_.size();
}

void DocxNumbering::readLevelOverride(int numId, const QDomElement &override)
{
    bool ok = false;
    const int ilvl = toInt(wAttr(override, QStringLiteral("ilvl")), &ok);
    if (!ok)
        return;
    for (QDomElement c = override.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("startOverride")) {
            const int start = toInt(wVal(c), &ok);
            if (ok)
                startOverrides_[numId][ilvl] = start;
        } else if (c.localName() == QLatin1String("lvl")) {
            levelOverrides_[numId][ilvl] = parseLevel(c);
        }
    }
}

const NumLevel *DocxNumbering::numLevel(int numId, int ilvl) const
{
    loaded();
    const auto o = levelOverrides_.constFind(numId);
    if (o != levelOverrides_.cend()) {
        const auto l = o->constFind(ilvl);
        if (l != o->cend() && numToAbstract_.contains(numId))
            return &*l;
    }
    const auto n = numToAbstract_.constFind(numId);
    if (n == numToAbstract_.cend())
        return nullptr;
    const auto a = abstractNums_.constFind(*n);
    if (a == abstractNums_.cend())
        return nullptr;
    const auto l = a->constFind(ilvl);
    return l == a->cend() ? nullptr : &*l;
}

int DocxNumbering::levelStart(int numId, int ilvl) const
{
    loaded();
    const auto o = startOverrides_.constFind(numId);
    if (o != startOverrides_.cend() && o->contains(ilvl))
        return o->value(ilvl);
    const NumLevel *level = numLevel(numId, ilvl);
    return level ? level->start : 1;
}

void DocxNumbering::ensurePart()
{
    const QString name = QString::fromLatin1(kPartNumbering);
    if (package_.entries().contains(name))
        return;
    const QString xml = QStringLiteral("<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">")
        + abstractNumbering(0, true) + abstractNumbering(1, false)
        + QStringLiteral("<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>"
                         "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"1\"/></w:num></w:numbering>");
    package_.entries().insert(name, declaredXml(kCrlf, xml.toUtf8()));
    package_.contentTypes().ensureOverride(QStringLiteral("/word/numbering.xml"),
                                           QString::fromLatin1(kContentTypeNumbering));
    package_.relationships().ensureRelOfType(package_.mainRelsPart(), QString::fromLatin1(kRelTypeNumbering),
                                             relativeTarget(package_.mainPart(), name));
}

DocxNumberingIds DocxNumbering::freeIds() const
{
    DocxNumberingIds ids;
    QDomDocument numbering;
    QString err;
    if (!loadPart(package_.entries(), QString::fromLatin1(kPartNumbering), numbering, err))
        return ids;
    const QDomElement root = numbering.documentElement();
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        bool ok = false;
        if (c.localName() == QLatin1String("abstractNum")) {
            const int id = toInt(wAttr(c, QStringLiteral("abstractNumId")), &ok);
            if (ok && id >= ids.abstractNumId)
                ids.abstractNumId = id + 1;
        } else if (c.localName() == QLatin1String("num")) {
            const int id = toInt(wAttr(c, QStringLiteral("numId")), &ok);
            if (ok && id >= ids.numId)
                ids.numId = id + 1;
        }
    }
    return ids;
}

bool DocxNumbering::addDefinitions(const QByteArray &abstractNums, const QByteArray &nums)
{
    return editPart(package_.entries(), QString::fromLatin1(kPartNumbering), kCompactPart, [&](QDomDocument &numbering) {
        QDomDocument added;
        QDomElement wrapper;
        QString err;
        if (!parseFragment("<w:numbering>" + abstractNums + nums + "</w:numbering>",
                           {{QStringLiteral("w"), QString::fromLatin1(kNsW)}}, added, wrapper, err)) {
            documentWarning() << "addNumberingDefinitions:" << err;
            return false;
        }
        QDomElement root = numbering.documentElement();
        // Abstract definitions go before the first instance, instances after the last.
        QDomElement firstNum, lastNum;
        for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            if (c.localName() == QLatin1String("num")) {
                if (firstNum.isNull())
                    firstNum = c;
                lastNum = c;
            }
        }
        QDomNode numsAfter = lastNum;
        for (QDomElement c = wrapper.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            const QDomNode copy = numbering.importNode(c, true);
            if (c.localName() == QLatin1String("abstractNum")) {
                root.insertBefore(copy, firstNum);
            } else {
                numsAfter = numsAfter.isNull() ? root.appendChild(copy) : root.insertAfter(copy, numsAfter);
            }
        }
        return true;
    });
}
