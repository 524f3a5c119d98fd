#include "app/MenuMnemonics.h"

QString WithMnemonic(const QString& text, std::set<QChar>& taken, QChar wish) {
    QString plain = text;
    plain.replace(QLatin1Char('&'), QLatin1String("&&"));
    const auto free = [&](qsizetype i) {
        const QChar c = text[i];
        return c.isLetterOrNumber() && taken.count(c.toLower()) == 0;
    };
    const auto wordStart = [&](qsizetype i) { return i == 0 || !text[i - 1].isLetterOrNumber(); };
    const auto wished = [&](qsizetype i) { return !wish.isNull() && text[i].toLower() == wish.toLower(); };
    qsizetype at = -1;
    const auto first = [&](auto fits) {
        for (qsizetype i = 0; at < 0 && i < text.size(); ++i)
            if (free(i) && fits(i)) at = i;
    };
    first([&](qsizetype i) { return wished(i) && wordStart(i); });
    first(wished);
    first(wordStart);
    first([](qsizetype) { return true; });
    if (at < 0) return plain;
    taken.insert(text[at].toLower());
    // The place in the doubled text: one more for every "&" before it.
    const qsizetype before = text.left(at).count(QLatin1Char('&'));
    return plain.insert(at + before, QLatin1Char('&'));
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
