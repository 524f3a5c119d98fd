#include "convert/PassOutput.h"

#include <algorithm>
#include <cstring>

CPassOutput::CPassOutput(std::string buffer) : m_buf(std::move(buffer)) { m_buf.clear(); }

std::string CPassOutput::Substr(std::size_t from, std::size_t n) const {
    const std::size_t to = n > size() - from ? size() : from + n;
    std::string s;
    s.reserve(to - from);
    ForEachSpan(from, to, [&](const char* p, std::size_t len, std::size_t) { s.append(p, len); });
    return s;
}

std::size_t CPassOutput::Find(std::string_view what, std::size_t from) const {
    const std::string_view all(m_buf);
    if (from >= m_gap) {
        const std::size_t r = all.find(what, from + m_gapLen);
        return r == std::string_view::npos ? std::string::npos : r - m_gapLen;
    }
    // In front of the gap, across it, then behind it.
    const std::size_t r = all.substr(0, m_gap).find(what, from);
    if (r != std::string_view::npos) return r;
    const std::size_t n = size();
    for (std::size_t s = std::max(from, m_gap >= what.size() ? m_gap - what.size() + 1 : 0); s < m_gap; ++s) {
        if (s + what.size() > n) break;
        std::size_t k = 0;
        while (k < what.size() && (*this)[s + k] == what[k]) ++k;
        if (k == what.size()) return s;
    }
    const std::size_t t = all.find(what, m_gap + m_gapLen);
    return t == std::string_view::npos ? std::string::npos : t - m_gapLen;
}

void CPassOutput::MoveGap(std::size_t to) {
    if (m_gapLen == 0) {  // no gap yet: nothing to move
        m_gap = to;
        return;
    }
    char* b = m_buf.data();
    if (to < m_gap)
        std::memmove(b + to + m_gapLen, b + to, m_gap - to);
    else if (to > m_gap)
        std::memmove(b + m_gap, b + m_gap + m_gapLen, to - m_gap);
    m_gap = to;
}

void CPassOutput::Insert(std::size_t at, std::size_t n, char c) {
    if (n == 0) return;
    const std::size_t total = size();
    // Close to the end, behind the gap: straight in, moving only what follows.
    if (at >= m_gap && total - at <= at - m_gap) {
        m_buf.insert(at + m_gapLen, n, c);
        return;
    }
    MoveGap(at);
    if (m_gapLen < n) {
        // Room for this fill and for many more, so that the text behind the
        // gap is seldom moved to widen it.
        const std::size_t more = std::max(n - m_gapLen, total / 8 + 256);
        m_buf.insert(m_gap + m_gapLen, more, '\0');
        m_gapLen += more;
    }
    std::memset(m_buf.data() + m_gap, c, n);
    m_gap += n;
    m_gapLen -= n;
}

void CPassOutput::Erase(std::size_t at, std::size_t n) {
    if (n == 0) return;
    if (at >= m_gap) {
        m_buf.erase(at + m_gapLen, n);
        return;
    }
    MoveGap(at);
    m_gapLen += n;
}

std::string CPassOutput::Take() {
    const std::size_t n = size();
    MoveGap(n);
    m_buf.resize(n);
    m_gap = m_gapLen = 0;
    std::string s;
    s.swap(m_buf);
    return s;
}
