#include "widgets/TextRules.h"

#include <algorithm>
#include <cstdio>

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

std::string FromCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

std::string GetFirstLineOf(const std::string& text) {
    auto cr = text.find('\r');
    return cr == std::string::npos ? text : text.substr(0, cr);
}

std::string GetSecondLineOf(const std::string& text) {
    auto cr = text.find('\r');
    if (cr == std::string::npos) return std::string();
    std::size_t start = std::min(cr + 2, text.size());
    auto end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string CaretPositionText(const std::string& text, std::size_t offset) {
    offset = std::min(offset, text.size());
    int line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    std::size_t col = offset - lineStart + 1;
    char buf[64];
    std::snprintf(buf, sizeof buf, " Ln %d, Col %d", line, int(col));
    return buf;
}
