// The program's pictures: list, tree and toolbar icons drawn as SVG resources.
#pragma once

#include <QIcon>
#include <QString>
#include <string>

// Icon index of an image set ("file", "basket", "session", "account", "lib").
QIcon ListIcon(const std::string& set, int index);
// The resource path of a command's picture (":/icons/cmd/<id>.svg").
QString CommandIconPath(int commandId);
// The toolbar and menu picture of a command id; a null icon when the command
// has no picture of its own.
QIcon CommandIcon(int commandId, const QString& text = QString());
