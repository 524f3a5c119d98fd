// The program's pictures: list, tree and toolbar icons drawn as SVG resources.
#pragma once

#include <QIcon>
#include <string>

// Icon index of an image set ("file", "basket", "session", "account", "lib").
QIcon ListIcon(const std::string& set, int index);
// The toolbar picture of a command id; a lettered badge when none is drawn.
QIcon CommandIcon(int commandId, const QString& text);
