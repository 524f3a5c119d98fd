#include "compare/DiffOptions.h"

#include "model/DiffLine.h"

int CompareDiffLines(const CDiffLine& line, const CDiffLine& other, const CDiffOptions& options) {
    int r;
    if (options.IsPlain()) {
        r = line.text.compare(other.text);
    } else {
        r = NormalizeDiffText(line.text, options).compare(NormalizeDiffText(other.text, options));
    }
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
