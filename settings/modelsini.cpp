#include "modelsini.h"

#include <QCoreApplication>

#include <optional>

namespace kelmar {

namespace {

// The value of an enumeration (0 to last) whose name is text, any case.
template <typename E>
std::optional<E> namedAs(QStringView text, E last, const char *(*name)(E))
{
    for (int i = 0; i <= int(last); ++i) {
        if (text.compare(QLatin1String(name(E(i))), Qt::CaseInsensitive) == 0)
            return E(i);
    }
    return std::nullopt;
}

bool hasControlCharacter(const QString &s)
{
    for (const QChar c : s)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

std::optional<int> registerNumber(QStringView text)
{
    bool ok = false;
    const bool hex = text.startsWith(u"0x", Qt::CaseInsensitive);
    const QStringView digits = hex ? text.mid(2) : text;
    // Only digits: no sign, no blanks, nothing toUInt would let through.
    for (const QChar c : digits)
        if (!(c.isDigit() || (hex && QStringLiteral("abcdefABCDEF").contains(c))) ||
            c.unicode() > 127)
            return std::nullopt;
    const uint n = digits.toUInt(&ok, hex ? 16 : 10);
    if (!ok || n > 0xFFFF)
        return std::nullopt;
    return int(n);
}

struct Section
{
    TypedModel model;
    int line = 0;
    bool broken = false;
    QStringList keys; // the keys given, to find a repeated one
    std::array<std::optional<int>, ItemsPerSlot> decimals;
    std::array<QString, ItemsPerSlot> units;
};

} // namespace

std::optional<ValueFormat> parseValueFormat(QStringView text, QString *why)
{
    auto refuse = [why](const QString &reason) -> std::optional<ValueFormat> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() < 3 || parts.size() > 4)
        return refuse(QCoreApplication::translate(
            "kelmar::ModelsIni",
            "須為 功能:暫存器:型別[:順序] (must be FUNCTION:REGISTER:TYPE[:ORDER])"));
    ValueFormat format;
    if (parts[0] == u"3" || parts[0] == u"4")
        format.function = parts[0].toInt();
    else
        return refuse(QCoreApplication::translate("kelmar::ModelsIni",
                                                  "功能須為 3 或 4 (the function must be 3 or 4)"));
    const std::optional<ValueType> type = namedAs(parts[2], ValueType::Float64, valueTypeName);
    if (type)
        format.type = *type;
    else
        return refuse(QCoreApplication::translate(
            "kelmar::ModelsIni", "型別不明 (unknown type; int16 uint16 int32 uint32 int64 "
                                 "uint64 float32 float64)"));
    if (parts.size() == 4) {
        const std::optional<WordOrder> order = namedAs(parts[3], WordOrder::DCBA, wordOrderName);
        if (order)
            format.order = *order;
        else
            return refuse(QCoreApplication::translate(
                "kelmar::ModelsIni", "順序不明 (unknown order; ABCD CDAB BADC DCBA)"));
    }
    const std::optional<int> reg = registerNumber(parts[1]);
    if (!reg || *reg + format.registerCount() - 1 > 0xFFFF)
        return refuse(QCoreApplication::translate(
            "kelmar::ModelsIni", "暫存器須為 0 到 65535 (the register must be 0 to 65535, "
                                 "decimal or 0x hexadecimal)"));
    format.address = quint16(*reg);
    return format;
}

ModelsIni parseModelsIni(const QString &text, const QString &fileName)
{
    ModelsIni out;
    auto notice = [&](int line, const QString &why) {
        out.notices << QCoreApplication::translate("kelmar::ModelsIni", "%1 第 %2 行 (line %2): %3")
                           .arg(fileName, QString::number(line), why);
    };
    std::optional<Section> section;
    QStringList names;
    auto close = [&] {
        if (!section)
            return;
        Section &s = *section;
        TypedModel &m = s.model;
        if (!s.broken) {
            if (m.panel.isEmpty() || !m.values[0] || (m.panel == u"B" && !m.values[1])) {
                notice(s.line, QCoreApplication::translate(
                                   "kelmar::ModelsIni",
                                   "型號「%1」不採用：需 panel 與 value1，panel=B 另需 "
                                   "value2 (model \"%1\" is not offered: it needs "
                                   "panel and value1, and panel=B value2 as well)")
                                   .arg(m.name));
                s.broken = true;
            }
            // Two values need the two-value layout, whatever panel says.
            if (m.values[1])
                m.panel = QStringLiteral("B");
        }
        if (!s.broken) {
            for (int i = 0; i < ItemsPerSlot; ++i)
                if (m.values[i]) {
                    m.values[i]->decimals = s.decimals[i];
                    m.values[i]->unit = s.units[i];
                }
            out.models << m;
        }
        section.reset();
    };

    QString body = text;
    if (body.startsWith(QChar(0xFEFF)))
        body.remove(0, 1);
    const QStringList lines = body.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            close();
            section.emplace();
            section->line = lineNo;
            section->model.name = line.mid(1, line.size() - 2);
            const QString &name = section->model.name;
            if (name.trimmed().isEmpty() || hasControlCharacter(name)) {
                notice(lineNo, QCoreApplication::translate(
                                   "kelmar::ModelsIni",
                                   "型號名稱空白或含控制字元 (the model name is empty or "
                                   "holds a control character)"));
                section->broken = true;
            } else if (names.contains(name)) {
                notice(lineNo,
                       QCoreApplication::translate(
                           "kelmar::ModelsIni", "型號「%1」重複，後者不採用 (model \"%1\" is given "
                                                "twice; the later one is not offered)")
                           .arg(name));
                section->broken = true;
            }
            names << name;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            notice(lineNo, QCoreApplication::translate(
                               "kelmar::ModelsIni",
                               "不是 [型號] 或 鍵=值 (neither [model] nor key=value)"));
            if (section)
                section->broken = true;
            continue;
        }
        if (!section) {
            notice(lineNo, QCoreApplication::translate(
                               "kelmar::ModelsIni",
                               "鍵不在任何 [型號] 之下 (a key outside any [model] section)"));
            continue;
        }
        Section &s = *section;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        QString why;
        const int item = key.endsWith(u'2') ? 1 : 0;
        if (s.keys.contains(key)) {
            why = QCoreApplication::translate("kelmar::ModelsIni",
                                              "鍵 %1 重複 (key %1 is given twice)")
                      .arg(key);
        } else if (key == u"panel") {
            if (value == u"A" || value == u"B")
                s.model.panel = value;
            else
                why = QCoreApplication::translate("kelmar::ModelsIni",
                                                  "panel 須為 A 或 B (panel must be A or B)");
        } else if (key == u"value1" || key == u"value2") {
            QString reason;
            s.model.values[item] = parseValueFormat(value, &reason);
            if (!s.model.values[item])
                why = QStringLiteral("%1: %2").arg(key, reason);
        } else if (key == u"decimals1" || key == u"decimals2") {
            if (value.size() == 1 && value.at(0) >= u'0' && value.at(0) <= u'4')
                s.decimals[item] = value.toInt();
            else
                why = QCoreApplication::translate("kelmar::ModelsIni",
                                                  "%1 須為 0 到 4 (%1 must be 0 to 4)")
                          .arg(key);
        } else if (key == u"unit1" || key == u"unit2") {
            if (hasControlCharacter(value))
                why = QCoreApplication::translate("kelmar::ModelsIni",
                                                  "%1 含控制字元 (%1 holds a control character)")
                          .arg(key);
            else
                s.units[item] = value;
        } else {
            why = QCoreApplication::translate("kelmar::ModelsIni", "未知的鍵 %1 (unknown key %1)")
                      .arg(key);
        }
        s.keys << key;
        if (!why.isEmpty()) {
            notice(lineNo,
                   QCoreApplication::translate("kelmar::ModelsIni",
                                               "型號「%1」不採用 (model \"%1\" is not offered): %2")
                       .arg(s.model.name, why));
            s.broken = true;
        }
    }
    close();
    return out;
}

QString describeValue(const ValueFormat &format)
{
    QString text = QStringLiteral("%1:0x%2 %3 %4")
                       .arg(format.function)
                       .arg(format.address, 4, 16, QLatin1Char('0'))
                       .arg(QLatin1String(valueTypeName(format.type)),
                            QLatin1String(wordOrderName(format.order)));
    if (format.decimals)
        text += QStringLiteral(", %1 dp").arg(*format.decimals);
    if (!format.unit.isEmpty())
        text += QStringLiteral(", ") + format.unit;
    return text;
}

} // namespace kelmar
