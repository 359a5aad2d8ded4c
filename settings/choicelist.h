#pragma once

#include "twips.h"

#include <QStringList>

class QComboBox;
class QWidget;

namespace kelmar {

// A drop-down list with an edit field, placed at p and filled with entries.
// Text typed into the field is never taken for an entry: no completion, no
// new entries, and no entry chosen when editing ends with its full text.
// Only a choice from the list moves the position.
QComboBox *makeChoiceList(QWidget *parent, const TwipsPlace &p, const QStringList &entries);

} // namespace kelmar
