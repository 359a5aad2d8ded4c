#pragma once

#include "counts.h"
#include "valueformat.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The optional models.ini beside meter.txt (UTF-8): one section per model,
// for meters whose values meter.txt cannot describe.
//
//   [PM-F32]
//   panel=A                       A: one value, B: two (as meter.txt's flag)
//   value1=4:0x0000:float32:CDAB  FUNCTION:REGISTER:TYPE[:ORDER]
//   decimals1=1                   0 to 4; when missing, the slot's
//   unit1=V                       free text
//   value2=, decimals2=, unit2=   the second value: shown as panel B shows two
//
// Lines starting with ';' or '#' are comments.
namespace kelmar {

struct TypedModel
{
    QString name;  // the section name, exactly as written
    QString panel; // "A" or "B"; "B" whenever the model has value2
    std::array<std::optional<ValueFormat>, ItemsPerSlot> values;
};

struct ModelsIni
{
    QList<TypedModel> models; // the models that can be offered, in file order
    QStringList notices;      // one per malformed line or model: file, line, why
};

// "4:0x0000:float32:CDAB" as a value's place and type; nothing, with the
// reason in `why`, when it is not one.
std::optional<ValueFormat> parseValueFormat(QStringView text, QString *why = nullptr);

// The models of a models.ini text. A model with any malformed line is not
// offered, and each such line is named in a bilingual notice.
ModelsIni parseModelsIni(const QString &text,
                         const QString &fileName = QStringLiteral("models.ini"));

// "4:0x0000 float32 CDAB, 1 dp, V": what a value is, for the technician.
QString describeValue(const ValueFormat &format);

} // namespace kelmar
