#include "compare/TextAccess.h"

#include <mutex>

namespace {
std::mutex g_readersMutex;
TextWindowReader g_inputReader;
TextWindowReader g_outputReader;

std::string ReadWindow(const TextWindowReader& which) {
    TextWindowReader reader;
    {
        std::lock_guard<std::mutex> lock(g_readersMutex);
        reader = which;
    }
    return reader ? ToCrLfText(reader()) : std::string();
}
}  // namespace

void SetTextWindowReaders(TextWindowReader input, TextWindowReader output) {
    std::lock_guard<std::mutex> lock(g_readersMutex);
    g_inputReader = std::move(input);
    g_outputReader = std::move(output);
}

std::string GetInputWindowText() { return ReadWindow(g_inputReader); }

std::string GetOutputWindowText() { return ReadWindow(g_outputReader); }

std::string ToCrLfText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n' && (k == 0 || text[k - 1] != '\r')) out += '\r';
        out += text[k];
    }
    return out;
}

std::vector<std::string> SplitTextIntoLines(std::string text) {
    std::vector<std::string> lines;
    for (std::string_view line : SplitTextIntoLineViews(text)) lines.emplace_back(line);
    return lines;
}

std::vector<std::string_view> SplitTextIntoLineViews(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    const size_t n = text.size();
    while (pos < n) {
        size_t cr = text.find('\r', pos);
        if (cr == std::string_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, cr - pos));
        pos = cr + 1;
        if (pos < n && text[pos] == '\n') ++pos;
        if (pos >= n) lines.push_back(text.substr(n));
    }
    return lines;
}
