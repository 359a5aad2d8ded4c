#include "choicelist.h"

#include <QComboBox>
#include <QLineEdit>

namespace kelmar {

QComboBox *makeChoiceList(QWidget *parent, const TwipsPlace &p, const QStringList &entries)
{
    auto *c = place(new QComboBox(parent), p);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr);
    QObject::disconnect(c->lineEdit(), &QLineEdit::editingFinished, c, nullptr);
    c->addItems(entries);
    return c;
}

} // namespace kelmar
