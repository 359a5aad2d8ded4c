#include "metersini.h"

#include "fillin.h"
#include "smallfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace kelmar {

namespace {

const QString FileName = QStringLiteral("meters.ini");
const QString EndSection = QStringLiteral("[end]");
const QString Newline = QStringLiteral("\r\n");

// The five keys of a slot, in the order they are written. A slot is
// restored only when all five are there, so a file cut inside a slot never
// gives a slot with half its settings.
enum Key { Enabled, Id, Decimals, Model, Title, KeyCount };
const char *const KeyNames[KeyCount] = {"enabled", "id", "decimals", "model", "title"};

// withSlot and withoutSlot are the refusals (untranslated) with and without
// the slot's number.
SlotNumber numberFromText(const QString &text, int min, int max, const char *withSlot,
                          const char *withoutSlot, int k)
{
    const QString t = text.trimmed();
    SlotNumber n;
    qint64 value = 0;
    bool digits = !t.isEmpty();
    for (const QChar c : t) {
        // Full-width digits come from a Chinese input method; any other
        // character (sign, point, letter) makes the text no number.
        if (!c.isDigit()) {
            digits = false;
            break;
        }
        if (value <= max) // beyond the range already: no overflow from a long text
            value = value * 10 + c.digitValue();
    }
    if (digits && value >= min && value <= max) {
        n.value = int(value);
        return n;
    }
    // One pass, so a "%" in the typed text is never taken for a marker.
    const char *const refusal = k > 0 ? withSlot : withoutSlot;
    const QString why = QCoreApplication::translate("kelmar::MetersIni", refusal);
    n.refusal = k > 0 ? why.arg(QString::number(k), t, QString::number(min), QString::number(max))
                      : why.arg(t, QString::number(min), QString::number(max));
    return n;
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

// A quoted text back to what was written, or nothing when the quote is not
// closed (the file was cut inside it) or an escape is unknown. An unquoted
// text, as a person might type it into the file, is taken as it stands.
std::optional<QString> unquoted(const QString &value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value;
    QString out;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('"'))
            return i == value.size() - 1 ? std::optional<QString>(out) : std::nullopt;
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value.at(i).unicode()) {
        case '\\':
            out += QLatin1Char('\\');
            break;
        case '"':
            out += QLatin1Char('"');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// One slot from its raw values; nothing when a value is missing or wrong.
std::optional<SavedSlot> slotFromValues(const std::array<std::optional<QString>, KeyCount> &v)
{
    for (const auto &value : v)
        if (!value)
            return std::nullopt;
    SavedSlot s;
    if (*v[Enabled] != QLatin1String("0") && *v[Enabled] != QLatin1String("1"))
        return std::nullopt;
    s.enabled = *v[Enabled] == QLatin1String("1");
    if (!v[Id]->isEmpty()) {
        s.slaveId = slaveIdFromText(*v[Id]).value;
        if (!s.slaveId)
            return std::nullopt;
    }
    if (!v[Decimals]->isEmpty()) {
        s.decimals = decimalsFromText(*v[Decimals]).value;
        if (!s.decimals)
            return std::nullopt;
    }
    const std::optional<QString> model = unquoted(*v[Model]);
    const std::optional<QString> title = unquoted(*v[Title]);
    if (!model || !title)
        return std::nullopt;
    s.model = *model;
    s.title = *title;
    return s;
}

// "[slot3]" gives 2; anything else -1.
int slotSection(const QString &line)
{
    if (!line.startsWith(QLatin1String("[slot")) || !line.endsWith(QLatin1Char(']')))
        return -1;
    bool ok = false;
    const int k = line.mid(5, line.size() - 6).toInt(&ok);
    return ok && k >= 1 && k <= SlotCount ? k - 1 : -1;
}

// meters.ini read one line at a time, so that a file is never held whole.
class SlotsParser
{
public:
    // One line, its line break removed or not. A line cut to a bounded
    // length (`cut`) is a damaged line unless it is a comment. False once
    // [end] is read: nothing after it counts.
    bool line(QStringView raw, bool cut = false)
    {
        QStringView t = raw.trimmed();
        if (t.isEmpty())
            return true;
        m_anyText = true;
        if (t.startsWith(QLatin1Char('#')) || t.startsWith(QLatin1Char(';')))
            return true;
        if (cut) {
            if (m_current >= 0)
                m_damaged[m_current] = true;
            return true;
        }
        if (t == EndSection) {
            m_whole = true;
            return false;
        }
        if (t.startsWith(QLatin1Char('['))) {
            m_current = slotSection(t.toString());
            if (m_current >= 0) {
                m_values[m_current] = {};
                m_seen[m_current] = true;
                m_damaged[m_current] = false;
            }
            return true;
        }
        if (m_current < 0)
            return true;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq < 0) {
            m_damaged[m_current] = true;
            return true;
        }
        const QStringView key = t.left(eq).trimmed();
        for (int i = 0; i < KeyCount; ++i)
            if (key == QLatin1String(KeyNames[i]))
                m_values[m_current][i] = t.mid(eq + 1).trimmed().toString();
        return true;
    }

    MetersIni result() const
    {
        MetersIni ini;
        QStringList bad;
        for (int k = 0; k < SlotCount; ++k) {
            if (!m_seen[k])
                continue;
            const std::optional<SavedSlot> s =
                m_damaged[k] ? std::nullopt : slotFromValues(m_values[k]);
            if (s)
                ini.meters[k] = *s;
            else
                bad << QString::number(k + 1);
        }
        // One line for all bad slots, so the report fits the problem line.
        // %1 is the list as the Chinese half writes it, %2 as the English.
        if (!bad.isEmpty())
            ini.problems << fillIn(
                QCoreApplication::translate("kelmar::MetersIni",
                                            "meters.ini 儀表%1 的設定不完整或有誤，未載入 "
                                            "(slot %2 in meters.ini incomplete or wrong, not "
                                            "restored)"),
                {bad.join(QStringLiteral("、儀表")), bad.join(QStringLiteral(", "))});
        if (!m_whole && m_anyText)
            ini.problems << QCoreApplication::translate(
                "kelmar::MetersIni", "meters.ini 不完整，缺少的儀表未載入 "
                                     "(meters.ini is cut short, missing slots not restored)");
        return ini;
    }

private:
    std::array<std::array<std::optional<QString>, KeyCount>, SlotCount> m_values;
    std::array<bool, SlotCount> m_seen{};
    std::array<bool, SlotCount> m_damaged{};
    int m_current = -1;
    bool m_whole = false;
    bool m_anyText = false;
};

} // namespace

SlotNumber slaveIdFromText(const QString &text, int k)
{
    return numberFromText(
        text, MinSlaveId, MaxSlaveId,
        QT_TRANSLATE_NOOP("kelmar::MetersIni",
                          "儀表%1 的儀表ID「%2」不是 %3 至 %4 的整數 (slot %1: slave ID \"%2\" is "
                          "not a whole number from %3 to %4)"),
        QT_TRANSLATE_NOOP("kelmar::MetersIni", "儀表ID「%1」不是 %2 至 %3 的整數 (slave ID \"%1\" "
                                               "is not a whole number from %2 to %3)"),
        k);
}

SlotNumber decimalsFromText(const QString &text, int k)
{
    return numberFromText(
        text, 0, MaxDecimals,
        QT_TRANSLATE_NOOP("kelmar::MetersIni",
                          "儀表%1 的小數點「%2」不是 %3 至 %4 的整數 (slot %1: decimal places "
                          "\"%2\" is not a whole number from %3 to %4)"),
        QT_TRANSLATE_NOOP("kelmar::MetersIni", "小數點「%1」不是 %2 至 %3 的整數 (decimal places "
                                               "\"%1\" is not a whole number from %2 to %3)"),
        k);
}

QString renderMetersIni(const std::array<SavedSlot, SlotCount> &meters)
{
    auto number = [](const std::optional<int> &n) { return n ? QString::number(*n) : QString(); };
    QString out =
        QStringLiteral("# Kelmar_T meter slots, written by the meter setup window") + Newline;
    for (int k = 0; k < SlotCount; ++k) {
        const SavedSlot &s = meters[k];
        out += QStringLiteral("[slot%1]").arg(k + 1) + Newline;
        const QString values[KeyCount] = {s.enabled ? QStringLiteral("1") : QStringLiteral("0"),
                                          number(s.slaveId), number(s.decimals), quoted(s.model),
                                          quoted(s.title)};
        for (int key = 0; key < KeyCount; ++key)
            out += QLatin1String(KeyNames[key]) + QLatin1Char('=') + values[key] + Newline;
    }
    return out + EndSection + Newline;
}

MetersIni parseMetersIni(const QString &text)
{
    SlotsParser parser;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        if (!parser.line(line))
            break;
    return parser.result();
}

QString metersIniPath(const QString &programDir)
{
    return QDir(programDir).filePath(FileName);
}

MetersIni loadMetersIni(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    const QString native = QDir::toNativeSeparators(path);
    auto notRead = [&](const QString &problem) {
        MetersIni ini;
        ini.problems << problem.arg(native);
        // Only a regular file of its own is worth keeping; a folder, a
        // device or a link in its place is refused when saving anyway.
        ini.unreadable = info.isFile() && !info.isSymLink();
        return ini;
    };
    const QString cannotRead = QCoreApplication::translate(
        "kelmar::MetersIni", "無法讀取 %1，儀表未載入 (cannot read %1, slots not restored)");
    const QString notText = QCoreApplication::translate(
        "kelmar::MetersIni",
        "%1 不是 UTF-8 文字，儀表未載入 (%1 is not UTF-8 text, slots not restored)");
    const QString tooLarge =
        QCoreApplication::translate("kelmar::MetersIni",
                                    "%1 超過 %2 MB，儀表未載入 (%1 is larger than %2 MB, "
                                    "slots not restored)")
            .arg(QStringLiteral("%1"), QString::number(MetersIniLimit >> 20));
    // Only a regular file is read: a pipe or a device would never end.
    if (!info.isFile())
        return notRead(cannotRead);
    if (info.size() > MetersIniLimit)
        return notRead(tooLarge);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return notRead(cannotRead);

    // Far beyond any real line; a longer one is read in pieces of this size.
    constexpr qint64 LineLimit = 64 * 1024;
    QStringDecoder utf8(QStringDecoder::Utf8);
    SlotsParser parser;
    QByteArray buffer(LineLimit + 1, Qt::Uninitialized); // one buffer for every line
    qint64 total = 0;
    bool inLongLine = false; // the rest of a line already cut
    while (!f.atEnd()) {
        const qint64 n = f.readLine(buffer.data(), buffer.size());
        if (n <= 0)
            return notRead(cannotRead);
        total += n;
        if (total > MetersIniLimit) // it grew while being read
            return notRead(tooLarge);
        const QByteArrayView piece(buffer.constData(), n);
        const QString text = utf8(piece);
        if (utf8.hasError() || piece.contains('\0'))
            return notRead(notText);
        const bool lineEnds = piece.endsWith('\n');
        if (!inLongLine && !parser.line(text, !lineEnds && !f.atEnd()))
            break;
        inLongLine = !lineEnds;
    }
    return parser.result();
}

FileResult saveMetersIni(const QString &path, const std::array<SavedSlot, SlotCount> &meters)
{
    return replaceFile(path, renderMetersIni(meters).toUtf8());
}

} // namespace kelmar
