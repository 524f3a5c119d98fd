// The result of a Find-Replace pass as it is built: text is appended at its
// end, and alignment tags put fills further back, in front of a word of the
// line. A fill goes into a gap kept where the last one went, so that a line
// whose fills all go near its start (a long line, or lines a macro joined)
// is not moved again for each of them; a fill close to the end goes in
// directly, as into a plain string.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

class CPassOutput {
public:
    // Takes the buffer (its contents are dropped) to build the text in.
    explicit CPassOutput(std::string buffer = std::string());

    std::size_t size() const { return m_buf.size() - m_gapLen; }
    bool empty() const { return size() == 0; }
    char operator[](std::size_t i) const { return i < m_gap ? m_buf[i] : m_buf[i + m_gapLen]; }
    char back() const { return (*this)[size() - 1]; }
    void reserve(std::size_t n) { m_buf.reserve(n + m_gapLen); }

    void push_back(char c) { m_buf.push_back(c); }
    void append(std::string_view s) { m_buf.append(s); }
    void append(const std::string& s, std::size_t from, std::size_t n) { m_buf.append(s, from, n); }

    // The text from..from+n (to the end by default).
    std::string Substr(std::size_t from, std::size_t n = std::string::npos) const;
    // Where what first stands at or after from; npos when nowhere.
    std::size_t Find(std::string_view what, std::size_t from) const;
    void Insert(std::size_t at, std::size_t n, char c);
    void Erase(std::size_t at, std::size_t n);
    // The text whole; the buffer is left empty.
    std::string Take();
    // The text of from..to in at most two stretches of memory, in order.
    template <typename F>
    void ForEachSpan(std::size_t from, std::size_t to, F f) const {
        if (from < m_gap && from < to) f(m_buf.data() + from, std::min(to, m_gap) - from, from);
        const std::size_t s = std::max(from, m_gap);
        if (s < to) f(m_buf.data() + s + m_gapLen, to - s, s);
    }

private:
    void MoveGap(std::size_t to);

    std::string m_buf;
    std::size_t m_gap = 0, m_gapLen = 0;  // the gap: m_gapLen unused bytes at m_gap
};
