#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

// The child of `parent` (at any depth) named `name`, of the kind asked: how a test reaches the
// controls, actions and timers a window shows by their object names. A child that is missing or
// of another kind ends the test with that said, instead of a crash on a null pointer.
template <typename T> T* Child(const QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        throw std::runtime_error(parent.objectName().toStdString() + " has no " + T::staticMetaObject.className()
            + " named \"" + name + "\"");
    }
    return child;
}
