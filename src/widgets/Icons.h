// The program's pictures: list, tree and toolbar icons drawn as SVG resources.
#pragma once

#include <QIcon>
#include <QString>
#include <QStyle>
#include <functional>
#include <string>

// Icon index of an image set ("file", "basket", "session", "account", "lib").
QIcon ListIcon(const std::string& set, int index);
// The resource path of a command's picture (":/icons/cmd/<id>.svg").
QString CommandIconPath(int commandId);
// The toolbar and menu picture of a command id; a null icon when the command
// has no picture of its own.
QIcon CommandIcon(int commandId, const QString& text = QString());

// Shows a dialog button's own picture, "<set>/<object name>.svg", at size
// pixels instead of its caption. The caption stays its accessible name, and
// its tool tip when it has none.
class QAbstractButton;
void ShowButtonPicture(QAbstractButton* button, const std::string& set, int size);

// An icon whose pictures are read only when it is first drawn or measured:
// make gives the real icon then. The windows build many icons for buttons
// and menus that are not on the screen at the start.
QIcon DeferredIcon(std::function<QIcon()> make);
// The style's standard icon of the widget, read when it is first drawn.
QIcon StandardIcon(QWidget* widget, QStyle::StandardPixmap which);
// Makes the application's style hand out its standard icons deferred, each
// picture read once per run: the dialogs' buttons ask for them when built.
void DeferStandardIcons();
