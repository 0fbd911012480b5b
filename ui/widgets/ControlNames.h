#pragma once
// Naming the program's widgets by their control numbers, and the message box picture chosen by
// the message box flags; shared by every dialog of the desktop.
#include "base/ControlIds.h"

#include <QMessageBox>
#include <QObject>
#include <QString>

namespace corvanthelix {

/// "id<id>": the object name of the widget for control (or dialog, menu, command) `id`.
inline QString controlObjectName(int id) { return QString::fromStdString(controlName(id)); }

/// Names `object` for control `id` and returns it, so that it can be named where it is made.
template <class T>
T* withControlId(T* object, int id) {
    object->setObjectName(controlObjectName(id));
    return object;
}

/// The picture for message box `flags` (mb::...), tested in this order: information,
/// exclamation (both of its bits, which hold the question and stop bits too), question, stop.
QMessageBox::Icon messageBoxIcon(unsigned flags);

} // namespace corvanthelix
