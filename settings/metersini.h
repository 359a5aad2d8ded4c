#pragma once

#include "counts.h"
#include "meterslot.h"
#include "safefile.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// meters.ini beside setup.ini: the six meter slots as the operator left
// them, so that a start does not begin with six empty slots. UTF-8, so that
// a title in any script is kept; setup.ini stays as it is.
//
//   # Kelmar_T meter slots
//   [slot1]
//   enabled=1
//   id=3
//   decimals=1
//   model="VQ2-V     "
//   title="一號配電盤"
//   ...
//   [end]
//
// Texts are quoted, so trailing blanks of a model name survive; a backslash,
// a quote and line breaks inside them are escaped. The closing [end] line
// tells a whole file from one that was cut short.
namespace kelmar {

constexpr int MinSlaveId = 1;
constexpr int MaxSlaveId = 247; // the highest Modbus unit address
constexpr int MaxDecimals = 4;

// A slave ID or decimal places count as the operator typed it (or as the
// file holds it): decimal digits, full-width ones too, blanks around them
// ignored. Either a value in range or the reason it is refused, bilingual,
// naming slot k when k is given.
struct SlotNumber
{
    std::optional<int> value;
    QString refusal;
};
SlotNumber slaveIdFromText(const QString &text, int k = 0);
SlotNumber decimalsFromText(const QString &text, int k = 0);

// One slot as remembered: the model by its name in meter.txt (columns 1 to
// 10, trailing blanks included); an empty name or no number means "not
// chosen".
struct SavedSlot
{
    bool enabled = false;
    std::optional<int> slaveId;
    std::optional<int> decimals;
    QString model;
    QString title;

    bool operator==(const SavedSlot &o) const
    {
        return enabled == o.enabled && slaveId == o.slaveId && decimals == o.decimals &&
               model == o.model && title == o.title;
    }
};

struct MetersIni
{
    std::array<SavedSlot, SlotCount> meters;
    // What could not be restored, one bilingual line each; the slots
    // concerned stay off and empty.
    QStringList problems;
    // A regular file was there but could not be read at all (not UTF-8,
    // not text, too large, no permission): it holds the operator's setup in
    // some form, so it must not be written over unawares.
    bool unreadable = false;
};

QString renderMetersIni(const std::array<SavedSlot, SlotCount> &meters);
MetersIni parseMetersIni(const QString &text);

// The file beside setup.ini.
QString metersIniPath(const QString &programDir);

// Beyond this a file is not read: no setup is that long.
constexpr qint64 MetersIniLimit = 256 * 1024 * 1024;

// A missing file gives six empty slots and no problem: the start is what it
// was before slots were remembered. A file that cannot be read (bytes that
// are not UTF-8, a NUL byte, more than MetersIniLimit bytes, a folder or a
// device in its place) gives six empty slots with a problem line. The file
// is read line by line up to [end], so a long comment costs no memory.
MetersIni loadMetersIni(const QString &path);

// Written whole through a temporary file and a rename.
FileResult saveMetersIni(const QString &path, const std::array<SavedSlot, SlotCount> &meters);

} // namespace kelmar
