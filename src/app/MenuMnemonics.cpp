#include "app/MenuMnemonics.h"

#include <functional>
#include <map>

namespace {

// The places of the letters a text may take, in the order they are
// preferred (see WithMnemonic), each letter once; none in taken.
std::vector<qsizetype> Candidates(const QString& text, const std::set<QChar>& taken, QChar wish) {
    std::vector<qsizetype> places;
    std::set<QChar> seen;
    const auto wordStart = [&](qsizetype i) { return i == 0 || !text[i - 1].isLetterOrNumber(); };
    const auto wished = [&](qsizetype i) { return !wish.isNull() && text[i].toLower() == wish.toLower(); };
    const auto add = [&](auto fits) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (!c.isLetterOrNumber() || taken.count(c.toLower()) || seen.count(c.toLower()) || !fits(i)) continue;
            seen.insert(c.toLower());
            places.push_back(i);
        }
    };
    add([&](qsizetype i) { return wished(i) && wordStart(i); });
    add(wished);
    add(wordStart);
    add([](qsizetype) { return true; });
    return places;
}

// The text with "&" before the character at `at` (none for -1), a "&" it
// holds doubled.
QString Marked(const QString& text, qsizetype at) {
    QString plain = text;
    plain.replace(QLatin1Char('&'), QLatin1String("&&"));
    if (at < 0) return plain;
    // The place in the doubled text: one more for every "&" before it.
    const qsizetype before = text.left(at).count(QLatin1Char('&'));
    return plain.insert(at + before, QLatin1Char('&'));
}

}  // namespace

QString WithMnemonic(const QString& text, std::set<QChar>& taken, QChar wish) {
    const std::vector<qsizetype> places = Candidates(text, taken, wish);
    if (places.empty()) return Marked(text, -1);
    taken.insert(text[places.front()].toLower());
    return Marked(text, places.front());
}

std::vector<QString> WithMnemonics(const std::vector<QString>& texts, std::set<QChar>& taken) {
    const size_t n = texts.size();
    std::vector<std::vector<qsizetype>> places(n);
    for (size_t i = 0; i < n; ++i) places[i] = Candidates(texts[i], taken, QChar());
    std::vector<qsizetype> at(n, -1);
    std::map<QChar, size_t> owner;  // the text that holds a letter
    const auto letter = [&](size_t i, qsizetype p) { return texts[i][p].toLower(); };
    const auto give = [&](size_t i, qsizetype p) {
        at[i] = p;
        owner[letter(i, p)] = i;
    };
    // Each text in turn its first free letter, as WithMnemonic gives it.
    for (size_t i = 0; i < n; ++i)
        for (qsizetype p : places[i])
            if (!owner.count(letter(i, p))) {
                give(i, p);
                break;
            }
    // A text left without one takes a letter of another text where that
    // one can move to another of its own, and so on down the line: every
    // text gets a letter whenever the letters allow it.
    std::vector<bool> visited;
    std::function<bool(size_t)> move = [&](size_t i) -> bool {
        visited[i] = true;
        for (qsizetype p : places[i])
            if (!owner.count(letter(i, p))) {
                give(i, p);
                return true;
            }
        for (qsizetype p : places[i]) {
            const size_t holder = owner[letter(i, p)];
            if (holder == i || visited[holder] || !move(holder)) continue;
            give(i, p);
            return true;
        }
        return false;
    };
    for (size_t i = 0; i < n; ++i)
        if (at[i] < 0) {
            visited.assign(n, false);
            move(i);
        }
    std::vector<QString> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (at[i] >= 0) taken.insert(letter(i, at[i]));
        out.push_back(Marked(texts[i], at[i]));
    }
    return out;
}

QString WithoutMnemonic(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) out += text[++i];
            continue;
        }
        out += text[i];
    }
    return out;
}
