#include "model/DiffLine.h"

#include "compare/DiffOptions.h"

int CDiffLine::Compare(const CDiffLine& other, const CDiffOptions& options) const {
    int r;
    if (options.IsPlain()) {
        r = text.compare(other.text);
    } else {
        r = NormalizeDiffText(text, options).compare(NormalizeDiffText(other.text, options));
    }
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
