#include "convert/ReplaceTags.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "model/KeyValue.h"

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Replaces every occurrence of from at or after start, never rescanning what
// was put in. Returns the position just after the last replacement (or start).
std::size_t ReplaceFrom(std::string& text, std::size_t start, const std::string& from,
                        const std::string& to) {
    std::size_t pos = start, last = start;
    if (from.empty()) return start;
    std::string out;
    std::size_t copied = 0;
    bool any = false;
    for (;;) {
        std::size_t hit = text.find(from, pos);
        if (hit == std::string::npos) break;
        if (!any) {
            out.reserve(text.size());
            any = true;
        }
        out.append(text, copied, hit - copied);
        out += to;
        copied = hit + from.size();
        pos = copied;
        last = out.size();
    }
    if (!any) return start;
    out.append(text, copied, std::string::npos);
    text.swap(out);
    return last;
}

long long Clamp(long long v, long long lo, long long hi) { return std::min(std::max(v, lo), hi); }
}  // namespace

int ParseSignedNumber(std::size_t start, std::string& text) {
    if (start >= text.size()) return 0;
    std::size_t end = start;
    while (end < text.size() && (IsDigit(text[end]) || text[end] == '-')) ++end;
    std::string run = text.substr(start, end - start);
    text.erase(start, end - start);
    std::size_t i = 0;
    bool neg = false;
    if (i < run.size() && run[i] == '-') {
        neg = true;
        ++i;
    }
    long long v = 0;
    for (; i < run.size() && IsDigit(run[i]); ++i) {
        v = v * 10 + (run[i] - '0');
        if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (neg) v = -v;
    return static_cast<int>(Clamp(v, INT_MIN, INT_MAX));
}

std::string ToLowerText(const std::string& text) {
    std::string s = text;
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ToUpperText(const std::string& text) {
    std::string s = text;
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ToProperText(const std::string& text) {
    std::string s = ToLowerText(text);
    if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    return s;
}

void ApplyPieceRange(std::string& piece, std::string& rest) {
    if (rest.empty() || rest[0] != ':') return;
    rest.erase(0, 1);
    const long long len = static_cast<long long>(piece.size());
    long long a = ParseSignedNumber(0, rest);
    long long count = a < 0 ? -a : a;
    long long start = a >= 0 ? 0 : len - (a < 0 ? -a : a);
    if (!rest.empty() && rest[0] == ':') {
        rest.erase(0, 1);
        long long b = ParseSignedNumber(0, rest);
        start = a >= 0 ? a - 1 : len + a;
        count = b < 0 ? len - start : b;
    }
    if (start < 0) start = 0;
    if (start >= len) start = len - 1;
    if (start < 0) start = 0;  // an empty piece
    if (count < 0) count = 0;
    if (count > len - start) count = len - start;
    piece = piece.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count));
}

std::string ApplyReplaceTags(const std::string& replace, const std::string& symbol,
                             const std::vector<std::string>& pieces, const CMacro& macro,
                             const MacroApplier& apply) {
    std::string w = replace;
    const std::string open = "<" + symbol;
    std::size_t from = 0;
    for (;;) {
        std::size_t p = w.find(open, from);
        if (p == std::string::npos) break;
        std::size_t q = w.find('>', p);
        if (q == std::string::npos) break;
        std::size_t tStart = p;
        // The candidate starts at the last "<" before its ">".
        std::size_t lastLt = w.rfind('<', q);
        if (lastLt != std::string::npos && lastLt > tStart) tStart = lastLt;
        const std::string t = w.substr(tStart, q - tStart + 1);
        std::string x = t.size() > open.size() ? t.substr(open.size()) : std::string();
        x.erase(std::remove(x.begin(), x.end(), '>'), x.end());
        long long num = ParseSignedNumber(0, x);
        long long index = (num < 0 ? -num : num) - 1;
        std::string piece;
        if (index >= 0 && index < static_cast<long long>(pieces.size())) {
            piece = pieces[static_cast<std::size_t>(index)];
            ApplyPieceRange(piece, x);
            std::string c = x, s;
            std::size_t h = x.find('?');
            if (h != std::string::npos) {
                c = x.substr(0, h);
                s = x.substr(h);
            }
            // Substitutions, left to right, each a macro application to the piece.
            std::size_t k = 0;
            while (k < s.size()) {
                std::size_t next = s.find('?', k + 1);
                std::string seg = s.substr(k + 1, next == std::string::npos ? std::string::npos
                                                                            : next - k - 1);
                k = next == std::string::npos ? s.size() : next;
                std::string a = seg, b;
                std::size_t eq = seg.find('=');
                if (eq != std::string::npos && eq > 0) {
                    a = seg.substr(0, eq);
                    b = seg.substr(eq + 1);
                }
                if (a == "^r") a = "\r";
                else if (a == "^n") a = "\n";
                CMacro sub = macro;
                sub.Find = a;
                sub.Replace = b;
                if (apply) apply(piece, sub);
            }
            if (!c.empty()) {
                if (c[0] == 'u') piece = ToUpperText(piece);
                else if (c[0] == 'l') piece = ToLowerText(piece);
                else if (c[0] == 'p') piece = ToProperText(piece);
            }
        }
        // Every later occurrence of the tag gets the piece; what was put in is
        // not searched again, so a piece holding a tag cannot loop.
        ReplaceFrom(w, tStart, t, piece);
        from = tStart + piece.size();
    }
    return w;
}

std::string FillWildSymbolsInOrder(const std::string& replace, const std::string& symbol,
                                   const std::vector<std::string>& pieces) {
    std::string w = replace;
    if (symbol.empty()) return w;
    std::size_t from = 0;
    for (const std::string& piece : pieces) {
        std::size_t p = w.find(symbol, from);
        if (p == std::string::npos) break;
        w.replace(p, symbol.size(), piece);
        from = p + piece.size();
    }
    return w;
}

std::string ExtractTagNumber(std::string& text, char marker) {
    std::size_t m = text.find(marker);
    if (m == std::string::npos) return "";
    std::size_t e = m + 1;
    if (e < text.size() && text[e] == '-') ++e;
    while (e < text.size() && IsDigit(text[e])) ++e;
    std::string num = text.substr(m + 1, e - m - 1);
    text.erase(m, e - m);
    return num;
}

// The text between a three-character tag opening at p ("<i=", "<a=") and its
// closing ">" at q; false when the tag never closes or holds another tag.
static bool TagInner(const std::string& text, std::size_t p, std::size_t& q, std::string& inner) {
    q = text.find('>', p);
    if (q == std::string::npos) return false;
    inner = text.substr(p + 3, q - p - 3);
    return inner.find('<') == std::string::npos;
}

namespace {
thread_local unsigned long t_countersExpanded = 0;
}

unsigned long CounterTagsExpandedOnThisThread() { return t_countersExpanded; }

long ExpandCounterTags(std::string& text, long n, std::size_t from, std::size_t to) {
    long total = 0;
    std::size_t pos = from;
    while (pos <= to) {
        std::size_t p = text.find("<i=", pos);
        if (p == std::string::npos || p > to) break;
        std::size_t q;
        std::string inner;
        if (!TagInner(text, p, q, inner)) {
            pos = p + 1;
            continue;
        }
        std::string stepText = ExtractTagNumber(inner, '?');
        std::string widthText = ExtractTagNumber(inner, '#');
        long long start = ParseInt(inner);
        if (start == 0 && !inner.empty() && inner[0] != '0') start = 1;
        long long step = ParseInt(stepText);
        if (step == 0) step = 1;
        long long value = step * static_cast<long long>(n) + start;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%lld", value);
        std::string digits = buf;
        long long width = Clamp(ParseInt(widthText), 0, kMaxTemplateWidth);
        if (width > static_cast<long long>(digits.size()))
            digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
        long change = static_cast<long>(digits.size()) - static_cast<long>(q - p + 1);
        text.replace(p, q - p + 1, digits);
        ++t_countersExpanded;
        total += change;
        to = static_cast<std::size_t>(std::max<long>(0, static_cast<long>(to) + change));
        pos = p + 1;
    }
    return total;
}

std::size_t FindAlignInsertPoint(std::string_view before, std::size_t lineStart) {
    std::size_t b = before.rfind(' ');
    if (b == std::string_view::npos || b < lineStart) return lineStart;
    if (b + 1 == before.size()) {
        std::size_t e = b;
        while (e > lineStart && before[e] == ' ') --e;  // skip the trailing blanks
        if (before[e] == ' ') return lineStart;
        std::size_t b2 = before.rfind(' ', e);
        if (b2 == std::string_view::npos || b2 < lineStart) return lineStart;
        return b2;
    }
    return b;
}

namespace {
// The text between a three-character tag opening at p and its closing ">"
// at q; false when the tag never closes or holds another tag.
bool TagInner(const CPassOutput& text, std::size_t p, std::size_t& q, std::string& inner) {
    q = text.Find(">", p);
    if (q == std::string::npos) return false;
    inner = text.Substr(p + 3, q - p - 3);
    return inner.find('<') == std::string::npos;
}

// Takes the line's state on over the text from where it was looked at to p.
void LookAhead(const CPassOutput& text, AlignLineState& st, std::size_t p) {
    text.ForEachSpan(st.scanned, p, [&](const char* s, std::size_t n, std::size_t at) {
        std::size_t i = 0;
        if (const void* lf = ::memrchr(s, '\n', n)) {
            i = static_cast<std::size_t>(static_cast<const char*>(lf) - s) + 1;
            st.lineStart = at + i;
            st.lastBlank = st.lastWordBlank = std::string::npos;
            st.endsInBlank = false;
        }
        for (; i < n; ++i) {
            if (s[i] == ' ') {
                st.lastBlank = at + i;
                st.endsInBlank = true;
            } else {
                if (st.endsInBlank) st.lastWordBlank = at + i - 1;
                st.endsInBlank = false;
            }
        }
    });
    st.scanned = p;
}

// The line's state up to p, looked at afresh from the line's start.
void LookFromLineStart(const CPassOutput& text, AlignLineState& st, std::size_t p) {
    std::size_t ls = p;
    while (ls > 0 && text[ls - 1] != '\n') --ls;
    st = AlignLineState();
    st.scanned = st.lineStart = ls;
    LookAhead(text, st, p);
}

// The line's state up to p + pad, once the tag at p is gone and pad fill
// characters went in at `at` (at most p): worked out from the state up to
// p, without looking at the line again. wasAt is the character that stood
// at `at` before (when at < p).
void TakeFillIntoAccount(const CPassOutput& text, AlignLineState& st, std::size_t at, std::size_t p,
                         std::size_t pad, char fill, char wasAt) {
    constexpr std::size_t npos = std::string::npos;
    if (fill == '\n') {
        st.lineStart = st.scanned = at + pad;
        st.lastBlank = st.lastWordBlank = npos;
        st.endsInBlank = false;
        return;  // the line after the fill is looked at again
    }
    if (at == p) {
        if (fill == ' ') {
            st.lastBlank = p + pad - 1;
            st.endsInBlank = true;
        } else {
            if (st.endsInBlank) st.lastWordBlank = p - 1;
            st.endsInBlank = false;
        }
        st.scanned = p + pad;
        return;
    }
    // In front of a word: what stood from `at` on moved on by pad.
    if (st.lastBlank != npos && st.lastBlank >= at)
        st.lastBlank += pad;
    else if (fill == ' ')
        st.lastBlank = at + pad - 1;
    // The last blank a word follows: one moved on with its word, else the
    // fill's last in front of the word, else one the fill now follows
    // (one further back keeps its word).
    if (st.lastWordBlank != npos && st.lastWordBlank >= at)
        st.lastWordBlank += pad;
    else if (fill == ' ' && wasAt != ' ')
        st.lastWordBlank = at + pad - 1;
    else if (fill != ' ' && at > st.lineStart && text[at - 1] == ' ')
        st.lastWordBlank = at - 1;
    st.scanned = p + pad;
}
}  // namespace

long ExpandAlignTags(CPassOutput& text, std::size_t from, std::size_t to, AlignLineState& line,
                     std::size_t* firstChange) {
    long total = 0;
    std::size_t pos = from;
    if (line.scanned > text.size()) line = AlignLineState();
    while (pos <= to) {
        std::size_t pa = text.Find("<a=", pos);
        std::size_t pA = text.Find("<A=", pos);
        std::size_t p = std::min(pa, pA);
        if (p == std::string::npos || p > to) break;
        bool right = (p == pA);
        std::size_t q;
        std::string inner;
        if (!TagInner(text, p, q, inner)) {
            pos = p + 1;
            continue;
        }
        std::string fill;
        std::size_t h = inner.find('?');
        if (h != std::string::npos && h > 0 && h + 1 < inner.size()) {
            fill = inner.substr(h + 1, 1);
            inner = inner.substr(0, h);
        }
        inner.erase(std::remove(inner.begin(), inner.end(), '?'), inner.end());
        fill.erase(std::remove(fill.begin(), fill.end(), '?'), fill.end());
        if (fill.empty()) fill = " ";
        long long col = Clamp(ParseInt(inner), -kMaxTemplateWidth, kMaxTemplateWidth);
        // The column counts from the line's start; a fill in front of a word
        // goes after the last blank before the tag that a non-blank follows.
        if (p >= line.scanned)
            LookAhead(text, line, p);
        else
            LookFromLineStart(text, line, p);  // a tag that a fill moved on
        const std::size_t lineStart = line.lineStart;
        long long c = static_cast<long long>(p - lineStart);
        long long pad;
        if (col >= 0) {
            pad = col - (c + 1);
        } else {
            long long s = -col;
            pad = s - (c % s);
        }
        if (pad < 0) pad = 0;
        std::size_t at = p;
        if (right) {
            const std::size_t b = line.lastBlank;
            if (b == std::string::npos)
                at = lineStart;
            else if (b + 1 != p)
                at = b;
            else  // blanks right before the tag: in front of the word before them
                at = line.lastWordBlank == std::string::npos ? lineStart : line.lastWordBlank;
        }
        const char wasAt = at < p ? text[at] : '\0';
        text.Erase(p, q - p + 1);
        text.Insert(at, static_cast<std::size_t>(pad), fill[0]);
        if (pad > 0) TakeFillIntoAccount(text, line, at, p, static_cast<std::size_t>(pad), fill[0], wasAt);
        if (firstChange) *firstChange = std::min(*firstChange, pad > 0 ? at : p);
        long change = static_cast<long>(pad) - static_cast<long>(q - p + 1);
        total += change;
        to = static_cast<std::size_t>(std::max<long>(0, static_cast<long>(to) + change));
        pos = p + 1;
    }
    return total;
}

bool CReplaceTemplate::Compile(const std::string& replace, char symbol,
                               const std::vector<CTypeCard>& cards) {
    m_parts.clear();
    m_compiled = false;
    if (replace.empty() || replace.find(symbol) != std::string::npos) return false;
    for (const CTypeCard& c : cards)
        if (c.Name.find_first_of("<>") != std::string::npos) return false;
    std::vector<Part> parts;
    std::string lit;
    auto flush = [&]() {
        if (lit.empty()) return;
        Part p;
        p.text.swap(lit);
        parts.push_back(std::move(p));
    };
    bool tagged = false;
    for (std::size_t i = 0; i < replace.size();) {
        const char ch = replace[i];
        if (ch == '>') return false;
        if (ch != '<') {
            lit += ch;
            ++i;
            continue;
        }
        const std::size_t q = replace.find('>', i);
        if (q == std::string::npos) return false;
        // The one card whose opening starts here (names hold no ">", so a
        // name that matches ends before q).
        int card = -1;
        std::size_t digits = 0;
        for (std::size_t k = 0; k < cards.size(); ++k) {
            const std::string& name = cards[k].Name;
            if (name.empty() || replace.compare(i + 1, name.size(), name) != 0) continue;
            if (card >= 0) return false;
            card = static_cast<int>(k);
            digits = i + 1 + name.size();
        }
        if (card < 0 || q == digits || q - digits > 9) return false;
        int number = 0;
        for (std::size_t j = digits; j < q; ++j) {
            if (!IsDigit(replace[j])) return false;
            number = number * 10 + (replace[j] - '0');
        }
        flush();
        Part p;
        p.card = card;
        p.index = number - 1;
        parts.push_back(std::move(p));
        tagged = true;
        i = q + 1;
    }
    flush();
    // Without tags, a card name in the text would be filled with captures in order.
    if (!tagged)
        for (const CTypeCard& c : cards)
            if (!c.Name.empty() && replace.find(c.Name) != std::string::npos) return false;
    m_parts = std::move(parts);
    m_compiled = true;
    return true;
}

bool CReplaceTemplate::Build(const std::vector<CTypeCard>& cards, std::string& out) const {
    out.clear();
    for (const Part& p : m_parts) {
        if (p.card < 0) {
            out += p.text;
            continue;
        }
        if (p.index < 0 || static_cast<std::size_t>(p.card) >= cards.size()) continue;
        const std::vector<std::string>& caps = cards[static_cast<std::size_t>(p.card)].Captures;
        if (static_cast<std::size_t>(p.index) >= caps.size()) continue;
        const std::string& piece = caps[static_cast<std::size_t>(p.index)];
        if (std::memchr(piece.data(), '<', piece.size())) return false;
        out += piece;
    }
    return true;
}
