#pragma once

#include <QTest>
#include <QWidget>

namespace kelmar::test {

// A window's control by the name it is known by ("Command1", "Combo2"):
// windows keep their controls private, tests reach them as an operator
// would, by what is on screen. Fails the test when there is none.
template <class T>
T *control(const QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no control %s of that kind in %s", qPrintable(name),
               qPrintable(window->objectName()));
    return found;
}

} // namespace kelmar::test
