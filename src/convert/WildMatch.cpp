#include "convert/WildMatch.h"

#include <algorithm>
#include <cstring>

#include "convert/ReplaceTags.h"
#include "model/Trace.h"

namespace {
inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

std::size_t FindLiteral(const std::string& text, const std::string& shadow, const WildToken& t,
                        std::size_t from, bool matchCase) {
    if (from > text.size()) return std::string::npos;
    if (t.cacheFrom != std::string::npos && t.cacheFrom <= from &&
        (t.cacheHit == std::string::npos || t.cacheHit >= from))
        return t.cacheHit;
    std::size_t hit = matchCase ? text.find(t.lit, from) : shadow.find(t.litLower, from);
    t.cacheFrom = from;
    t.cacheHit = hit;
    return hit;
}

std::size_t FindToken(const WildPattern& wp, const WildToken& t, const std::string& text,
                      const std::string& shadow, std::size_t from, bool matchCase) {
    if (t.card < 0) return FindLiteral(text, shadow, t, from, matchCase);
    if (t.cacheFrom != std::string::npos && t.cacheFrom <= from &&
        (t.cacheHit == std::string::npos || t.cacheHit >= from))
        return t.cacheHit;
    std::size_t hit = FindTypeCardStart(text, from, wp.cards[t.card]);
    t.cacheFrom = from;
    t.cacheHit = hit;
    return hit;
}

struct Capture {
    int card;
    std::size_t start, end;
};

// Resolves one piece at or after s: its concrete start and end, and the
// type-card texts it grabbed.
bool MatchPiece(const WildPattern& wp, const std::vector<WildToken>& piece, const std::string& text,
                const std::string& shadow, std::size_t s, bool matchCase, std::size_t& start,
                std::size_t& end, std::vector<Capture>& caps) {
    caps.clear();
    std::size_t c = s;
    std::size_t j = 0;
    for (;;) {
        const WildToken& t = piece[j];
        std::size_t pj = FindToken(wp, t, text, shadow, c, matchCase);
        if (pj == std::string::npos) return false;
        std::size_t yend = t.card < 0 ? pj + t.lit.size() : GrabTypeCard(text, pj, wp.cards[t.card]);
        if (yend == pj) return false;
        if (j == 0) start = pj;
        if (t.card >= 0) caps.push_back({t.card, pj, yend});
        if (j + 1 == piece.size()) {
            end = yend;
            return true;
        }
        c = yend;
        std::size_t next = FindToken(wp, piece[j + 1], text, shadow, c, matchCase);
        if (next == std::string::npos) return false;
        if (next > c) {  // not adjacent: start again from here
            caps.clear();
            j = 0;
            continue;
        }
        ++j;
    }
}

void AddCaptures(CWildTypeManager& mgr, const std::string& text, const std::vector<Capture>& caps) {
    for (const Capture& c : caps)
        if (c.card < static_cast<int>(mgr.TypeCards.size()))
            mgr.TypeCards[c.card].Captures.push_back(text.substr(c.start, c.end - c.start));
}

// The last line feed in [lo, before), or npos.
std::size_t LastLfIn(const std::string& text, std::size_t lo, std::size_t before) {
    if (before <= lo) return std::string::npos;
    const void* hit = ::memrchr(text.data() + lo, '\n', before - lo);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string::npos;
}

}  // namespace

char WildSymbol(const CWildTypeManager& manager) {
    return manager.WildCard.empty() ? '*' : manager.WildCard[0];
}

bool IsTypeCardCharAt(const std::string& text, std::size_t p, const WildCardTable& card) {
    const std::size_t n = text.size();
    if (p >= n) return false;
    if (card.primary[U(text[p])]) return true;
    if (!card.hasAux || !card.aux[U(text[p])]) return false;
    std::size_t q = p;
    while (q < n && card.aux[U(text[q])]) ++q;
    return q < n && q + 1 < n && card.primary[U(text[q])];
}

std::size_t FindTypeCardStart(const std::string& text, std::size_t p, const WildCardTable& card) {
    const std::size_t n = text.size();
    while (p < n) {
        unsigned char c = U(text[p]);
        if (card.primary[c]) return p;
        if (card.hasAux && card.aux[c]) {
            std::size_t q = p;
            while (q < n && card.aux[U(text[q])]) ++q;
            if (q < n && q + 1 < n && card.primary[U(text[q])]) return p;
            if (q >= n) return std::string::npos;
            p = q;  // the whole run is refused; test the character after it
            continue;
        }
        ++p;
    }
    return std::string::npos;
}

std::size_t GrabTypeCard(const std::string& text, std::size_t p, const WildCardTable& card) {
    const std::size_t n = text.size();
    std::size_t e = p;
    while (e < n) {
        unsigned char c = U(text[e]);
        if (card.primary[c]) {
            ++e;
            continue;
        }
        if (card.hasAux && card.aux[c]) {
            std::size_t q = e;
            while (q < n && card.aux[U(text[q])]) ++q;
            if (q < n && q + 1 < n && card.primary[U(text[q])]) {
                e = q;
                continue;
            }
        }
        break;
    }
    return e;
}

std::string ReverseKeepingLineBreaks(const std::string& text) {
    std::string s(text.rbegin(), text.rend());
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == '\n' && s[i + 1] == '\r') {
            s[i] = '\r';
            s[i + 1] = '\n';
            ++i;
        }
    return s;
}

WildPattern CompileWildPattern(const std::string& pattern, const CWildTypeManager& manager) {
    WildPattern wp;
    wp.symbol = WildSymbol(manager);
    for (const CTypeCard& card : manager.TypeCards) {
        WildCardTable t;
        for (char c : card.PrimarySet) t.primary[U(c)] = true;
        for (char c : card.AuxSet) t.aux[U(c)] = true;
        t.hasAux = !card.AuxSet.empty();
        wp.cards.push_back(t);
    }
    const char sym = wp.symbol;
    wp.doubleSymbol = pattern.size() == 2 && pattern[0] == sym && pattern[1] == sym;
    wp.onlySymbols = !pattern.empty() &&
                     std::all_of(pattern.begin(), pattern.end(), [sym](char c) { return c == sym; });
    if (wp.doubleSymbol || wp.onlySymbols) return wp;
    std::string p = pattern;
    if (!p.empty() && p[0] == sym) {
        wp.leading = true;
        p.erase(0, 1);
    }
    if (p.empty() || p.back() == sym) {
        wp.trailing = true;
        if (!p.empty()) p.pop_back();
    }
    auto cardIndex = [&](const std::string& name) -> int {
        for (std::size_t i = 0; i < manager.TypeCards.size(); ++i)
            if (manager.TypeCards[i].Name == name) return static_cast<int>(i);
        return -1;
    };
    std::size_t i = 0;
    while (i <= p.size()) {
        std::size_t k = p.find(sym, i);
        if (k == std::string::npos) k = p.size();
        std::string piece = p.substr(i, k - i);
        i = k + 1;
        if (piece.empty()) continue;
        std::vector<WildToken> tokens;
        std::string lit;
        auto flush = [&]() {
            if (lit.empty()) return;
            WildToken t;
            t.lit = lit;
            t.litLower = ToLowerText(lit);
            tokens.push_back(std::move(t));
            lit.clear();
        };
        for (std::size_t j = 0; j < piece.size(); ++j) {
            if (piece[j] == '^' && j + 1 < piece.size()) {
                int ci = cardIndex(piece.substr(j, 2));
                if (ci >= 0) {
                    flush();
                    WildToken t;
                    t.card = ci;
                    tokens.push_back(std::move(t));
                    ++j;
                    continue;
                }
            }
            lit += piece[j];
        }
        flush();
        wp.pieces.push_back(std::move(tokens));
    }
    if (wp.pieces.empty()) wp.onlySymbols = true;
    return wp;
}

WildPattern ReverseWildPattern(const WildPattern& pattern) {
    WildPattern r = pattern;
    std::swap(r.leading, r.trailing);
    std::reverse(r.pieces.begin(), r.pieces.end());
    for (auto& piece : r.pieces) {
        std::reverse(piece.begin(), piece.end());
        for (WildToken& t : piece) {
            if (t.card >= 0) continue;
            t.lit = ReverseKeepingLineBreaks(t.lit);
            t.litLower = ReverseKeepingLineBreaks(t.litLower);
        }
    }
    ResetWildCaches(r);
    return r;
}

void ResetWildCaches(WildPattern& pattern) {
    for (auto& piece : pattern.pieces)
        for (WildToken& t : piece) t.cacheFrom = t.cacheHit = std::string::npos;
}

bool MatchWildPattern(WildPattern& wp, CWildTypeManager& mgr, CMacro& macro,
                      const std::string& text, const std::string& shadow, std::size_t& position,
                      const WildContext& ctx) {
    const bool matchCase = macro.IsMatchCase != 0;
    const std::size_t n = text.size();
    const std::size_t floor = ctx.floor;
    std::size_t p = std::max(position, floor);
    const bool startsAtZero = ctx.atTextStart && p == floor;
    thread_local std::vector<Capture> caps;  // reused from match to match

    for (;;) {  // one attempt; only the per-line rule tries again
        mgr.ClearCaptures();
        if (p > n) return false;
        if (wp.doubleSymbol) {
            // The whole text, from its start, wherever the search stands (a
            // pass applies it once, as its only match).
            macro.Find = text;
            mgr.WildCaptures.push_back(macro.Find);
            position = 0;
            return true;
        }
        if (wp.onlySymbols) {
            std::size_t ls, le;
            if (startsAtZero) {
                ls = p;
            } else {
                std::size_t k = text.find("\r\n", p);
                if (k == std::string::npos) return false;
                ls = k + 2;
            }
            le = text.find("\r\n", ls);
            if (le == std::string::npos) le = n;
            macro.Find = text.substr(ls, le - ls);
            mgr.WildCaptures.push_back(macro.Find);
            position = ls;
            return true;
        }
        const std::size_t searchStart = p;
        std::size_t matchStart = 0;
        std::size_t prevEnd = 0;
        const std::size_t count = wp.pieces.size();
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t s = 0, e = 0;
            if (i == 0) {
                if (wp.leading) {
                    bool lfBefore = p > floor ? text[p - 1] == '\n' : ctx.lfBefore;
                    if (!startsAtZero && !lfBefore && !wp.trailing) {
                        std::size_t lf = text.find('\n', p);
                        if (lf == std::string::npos) return false;
                        p = lf + 1;
                    }
                    if (!MatchPiece(wp, wp.pieces[0], text, shadow, p, matchCase, s, e, caps))
                        return false;
                    if (wp.trailing && !startsAtZero && text.compare(p, 2, "\r\n") == 0) {
                        p += 2;
                        if (s < p) {  // the piece stood in the skipped line break
                            if (!MatchPiece(wp, wp.pieces[0], text, shadow, p, matchCase, s, e,
                                            caps))
                                return false;
                        }
                    }
                    // The leading wild-card reaches back to the line start, but
                    // never in front of where this search began.
                    std::size_t lf = LastLfIn(text, searchStart, s);
                    std::size_t ls = lf == std::string::npos ? searchStart : lf + 1;
                    if (ls > s) ls = s;
                    mgr.WildCaptures.push_back(text.substr(ls, s - ls));
                    matchStart = ls;
                } else {
                    if (!MatchPiece(wp, wp.pieces[0], text, shadow, p, matchCase, s, e, caps))
                        return false;
                    matchStart = s;
                }
            } else {
                if (!MatchPiece(wp, wp.pieces[i], text, shadow, prevEnd, matchCase, s, e, caps))
                    return false;
                mgr.WildCaptures.push_back(text.substr(prevEnd, s - prevEnd));
            }
            AddCaptures(mgr, text, caps);
            prevEnd = e;
            if (i > 0 && g_bTrace) mgr.TraceCaptures(std::string(39, '_'));
        }
        std::size_t matchEnd = prevEnd;
        if (wp.trailing) {
            std::size_t k = text.find("\r\n", prevEnd);
            matchEnd = k == std::string::npos ? n : k;
            mgr.WildCaptures.push_back(text.substr(prevEnd, matchEnd - prevEnd));
        }
        if (macro.IsPerLine) {
            bool spans = false;
            for (const std::string& w : mgr.WildCaptures)
                if (w.find("\r\n") != std::string::npos) spans = true;
            if (spans) {
                std::size_t lf = LastLfIn(text, floor, matchEnd + 1 > n ? n : matchEnd + 1);
                std::size_t np = lf == std::string::npos ? floor : lf;
                if (np <= searchStart) np = searchStart + 1;
                p = np;
                continue;
            }
        }
        macro.Find = text.substr(matchStart, matchEnd - matchStart);
        position = matchStart;
        return true;
    }
}

bool FindMinimalSpan(WildPattern& reversed, CWildTypeManager& mgr, CMacro& macro,
                     const std::string& text, std::size_t& start, std::size_t end) {
    if (end <= start || end > text.size()) return false;
    std::vector<std::string> keepWild = mgr.WildCaptures;
    std::vector<std::vector<std::string>> keepCards;
    for (const CTypeCard& c : mgr.TypeCards) keepCards.push_back(c.Captures);

    std::string rev = ReverseKeepingLineBreaks(text.substr(start, end - start));
    std::string revShadow = macro.IsMatchCase ? std::string() : ToLowerText(rev);
    ResetWildCaches(reversed);
    CMacro m = macro;
    std::size_t pos = 0;
    WildContext ctx;
    if (MatchWildPattern(reversed, mgr, m, rev, revShadow, pos, ctx)) {
        std::string found = ReverseKeepingLineBreaks(m.Find);
        start = end - (pos + m.Find.size());
        macro.Find = found;
        mgr.ReverseCaptures();
        ResetWildCaches(reversed);
        return true;
    }
    ResetWildCaches(reversed);
    mgr.WildCaptures = keepWild;
    for (std::size_t i = 0; i < mgr.TypeCards.size() && i < keepCards.size(); ++i)
        mgr.TypeCards[i].Captures = keepCards[i];
    return false;
}
