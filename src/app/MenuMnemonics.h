// The underlined letters of the main menus: every title of the menu bar a
// letter of its own that no Alt key of the key table takes (Alt+D opens
// the diff manager, not a menu), and every entry of a menu a letter of
// its own, the letter the program's documents give an entry kept first.
#pragma once

#include <QChar>
#include <QString>
#include <set>
#include <vector>

// The text with "&" before one of its letters (or digits), chosen in this
// order: wish where a word starts with it, wish anywhere, the first letter
// of a word, any letter; one whose lower case is in taken is never chosen.
// The chosen letter goes into taken (lower case). Without a free letter the
// text comes back as it is. A "&" the text holds is doubled, so it shows.
QString WithMnemonic(const QString& text, std::set<QChar>& taken, QChar wish = QChar());

// Each text as WithMnemonic gives it, one after the other; where that would
// leave a text without a letter, other texts move to another letter of
// their own to make room, so that every text gets one whenever the free
// letters allow it. The chosen letters go into taken.
std::vector<QString> WithMnemonics(const std::vector<QString>& texts, std::set<QChar>& taken);

// The text as it shows: "&&" one "&", a single "&" gone.
QString WithoutMnemonic(const QString& text);
