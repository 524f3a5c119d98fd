#include "convert/DelimTokens.h"

namespace {
void AddToken(std::vector<CFindRepRecord>& tokens, const std::string& text, int kind,
              const std::string& begin = {}, const std::string& end = {}) {
    if (text.empty()) return;
    CFindRepRecord r;
    r.Text = text;
    r.Kind = kind;
    r.BeginDelim = begin;
    r.EndDelim = end;
    tokens.push_back(std::move(r));
}

// Where the end text stands that closes a block whose begin text ends just
// before `from`, counting begin texts nested inside; npos when it never closes.
std::size_t FindBlockClose(const std::string& text, std::size_t from, const std::string& begin,
                           const std::string& end) {
    if (end.empty()) return std::string::npos;
    std::size_t e = from, b = from;
    long opened = 1, closed = 0;
    std::size_t y = std::string::npos;
    bool yValid = false;
    for (;;) {
        std::size_t x = text.find(end, e);
        if (x == std::string::npos) return std::string::npos;
        if (!begin.empty() && (!yValid || (y != std::string::npos && y < b))) {
            y = text.find(begin, b);
            yValid = true;
        }
        if (!begin.empty() && y != std::string::npos && y < x) {
            ++opened;
            ++closed;
            b = y + 1;
            e = x + 1;
            continue;
        }
        ++closed;
        if (opened == closed) return x;
        e = x + 1;
    }
}
}  // namespace

long FindEarliestDelimiter(const std::string& text, const std::vector<CMacroTokenDelim>& delims,
                           std::size_t start, std::size_t& length, int& kind) {
    long best = -1;
    length = 0;
    kind = 0;
    for (const CMacroTokenDelim& d : delims) {
        const std::string& key = d.BeginDelim;
        if (key.empty()) continue;  // an empty delimiter would match everywhere
        std::size_t hit = text.find(key, start);
        if (hit == std::string::npos) continue;
        // A later delimiter wins only when it ends before the best one starts.
        if (best < 0 || static_cast<long>(hit + key.size()) <= best) {
            best = static_cast<long>(hit);
            length = key.size();
            kind = d.IsSingle ? 1 : 2;
        }
    }
    return best;
}

bool FindEarliestPairedBegin(const std::string& text, const std::vector<CMacroTokenDelim>& delims,
                             std::string& begin, std::string& end, std::size_t& position) {
    bool found = false;
    for (const CMacroTokenDelim& d : delims) {
        if (d.IsSingle || d.BeginDelim.empty()) continue;
        std::size_t hit = text.find(d.BeginDelim);
        if (hit == std::string::npos) continue;
        if (!found || hit < position) {
            found = true;
            position = hit;
            begin = d.BeginDelim;
            end = d.EndDelim;
            if (hit == 0) break;
        }
    }
    return found;
}

void ExtractPairedBlock(std::string& text, std::size_t p, const std::string& begin,
                        const std::string& end, std::vector<CFindRepRecord>& tokens,
                        bool keepDelims) {
    std::string w = text.substr(p + begin.size());
    const std::size_t closeAt = FindBlockClose(w, 0, begin, end);
    if (closeAt != std::string::npos) {
        std::string block = w.substr(0, closeAt);
        if (keepDelims) block = begin + block + end;
        AddToken(tokens, block, 2, begin, end);
        text = w.substr(closeAt + end.size());
    } else {
        std::string block = keepDelims ? begin + w : w;
        AddToken(tokens, block, 2, begin, end);
        text.erase(p);
    }
}

void FinishTokenList(const std::string& source, std::vector<CFindRepRecord>& tokens,
                     bool onlyDelimited) {
    std::vector<CFindRepRecord> kept;
    kept.reserve(tokens.size());
    long prev = -1;
    for (CFindRepRecord& t : tokens) {
        if (t.Text.empty() || (onlyDelimited && t.Kind == 0)) continue;
        std::size_t from = prev < 0 ? 0 : static_cast<std::size_t>(prev) + 1;
        std::size_t at = source.find(t.Text, from);
        t.Position = at == std::string::npos ? -1 : static_cast<int>(at);
        if (at != std::string::npos) prev = static_cast<long>(at);
        kept.push_back(std::move(t));
    }
    tokens.swap(kept);
}

namespace {
// Next occurrences of every delimiter, remembered so that a long text with
// many tokens is searched once per delimiter, not once per token.
class DelimCursor {
public:
    DelimCursor(const std::string& text, const std::vector<CMacroTokenDelim>& delims)
        : m_text(text), m_delims(delims), m_next(delims.size(), 0), m_valid(delims.size(), false) {}

    // Earliest delimiter at or after start: position or npos, with its length and kind.
    std::size_t Earliest(std::size_t start, std::size_t& length, int& kind) {
        std::size_t best = std::string::npos;
        for (std::size_t i = 0; i < m_delims.size(); ++i) {
            const std::string& key = m_delims[i].BeginDelim;
            if (key.empty()) continue;
            if (!m_valid[i] || (m_next[i] != std::string::npos && m_next[i] < start)) {
                m_next[i] = m_text.find(key, start);
                m_valid[i] = true;
            }
            std::size_t hit = m_next[i];
            if (hit != std::string::npos &&
                (best == std::string::npos || hit + key.size() <= best)) {
                best = hit;
                length = key.size();
                kind = m_delims[i].IsSingle ? 1 : 2;
            }
        }
        return best;
    }

private:
    const std::string& m_text;
    const std::vector<CMacroTokenDelim>& m_delims;
    std::vector<std::size_t> m_next;
    std::vector<bool> m_valid;
};

// The block whose begin text stands at p in text; returns where the rest starts.
std::size_t TakeBlock(const std::string& text, std::size_t p, const std::string& begin,
                      const std::string& end, std::vector<CFindRepRecord>& tokens,
                      bool keepDelims) {
    std::size_t w = p + begin.size();
    const std::size_t closeAt = FindBlockClose(text, w, begin, end);
    if (closeAt != std::string::npos) {
        std::string block = text.substr(w, closeAt - w);
        if (keepDelims) block = begin + block + end;
        AddToken(tokens, block, 2, begin, end);
        return closeAt + end.size();
    }
    std::string block = text.substr(w);
    if (keepDelims) block = begin + block;
    AddToken(tokens, block, 2, begin, end);
    return text.size();
}
}  // namespace

void TokenizeByDelimiters(const std::string& source, const std::vector<CMacroTokenDelim>& delims,
                          std::vector<CFindRepRecord>& tokens, bool onlyDelimited, bool keepDelims) {
    tokens.clear();
    if (source.empty()) return;
    bool anyDelim = false;
    for (const CMacroTokenDelim& d : delims)
        if (!d.BeginDelim.empty()) anyDelim = true;
    if (!anyDelim) {
        if (!onlyDelimited) {
            CFindRepRecord r;
            r.Text = source;
            r.Position = 0;
            tokens.push_back(std::move(r));
        }
        return;
    }
    // The rest of the text to cut is source[o..]; it is consumed from the front.
    DelimCursor cursor(source, delims);
    std::size_t o = 0;
    const std::size_t n = source.size();
    while (o < n) {
        std::size_t len = 0;
        int kind = 0;
        std::size_t d = cursor.Earliest(o, len, kind);
        if (d == std::string::npos) {
            AddToken(tokens, source.substr(o), 0);
            break;
        }
        if (kind == 2) {
            if (d > o) AddToken(tokens, source.substr(o, d - o), 0);
            o = d;
            // The earliest pair begin at or after o (ties to the first in the list).
            std::size_t pos = std::string::npos;
            const CMacroTokenDelim* pair = nullptr;
            for (const CMacroTokenDelim& dl : delims) {
                if (dl.IsSingle || dl.BeginDelim.empty()) continue;
                std::size_t hit = source.compare(o, dl.BeginDelim.size(), dl.BeginDelim) == 0
                                      ? o
                                      : std::string::npos;
                if (hit != std::string::npos && (pos == std::string::npos || hit < pos)) {
                    pos = hit;
                    pair = &dl;
                    break;
                }
            }
            if (!pair) {
                o = n;
                break;
            }
            o = TakeBlock(source, pos, pair->BeginDelim, pair->EndDelim, tokens, keepDelims);
            continue;
        }
        if (d > o) {
            AddToken(tokens, source.substr(o, d - o), 1);
            o = d;
            continue;
        }
        std::size_t len2 = 0;
        int kind2 = 0;
        std::size_t e = cursor.Earliest(o + len, len2, kind2);
        if (e == std::string::npos) {
            AddToken(tokens, source.substr(o + len), 0);
            break;
        }
        if (kind2 == 1) {
            AddToken(tokens, source.substr(o + len, e - o - len), 1);
            o = e;
        } else {
            o += len;
        }
    }
    FinishTokenList(source, tokens, onlyDelimited);
}
