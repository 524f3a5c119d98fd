// One line of a UNIX-style listing read into its name, its kind and its
// date: "ls -l" in any of its date forms (English, German, French and
// Japanese month names, long-iso and full-iso) and the DOS-style lines of
// Windows servers.
#pragma once

#include <string>

struct CListingLine {
    std::string name;    // "" when the line names nothing
    bool isDir = false;  // "d" in front, or "<DIR>" in a DOS-style line
    bool dated = false;  // a date was found; the fields below hold it
    int year = 0;        // 0: the listing showed the time of day instead
    int month = 0;       // 1 to 12
    int day = 0;
    bool clock = false;  // the time of day was shown
    int hour = 0, minute = 0, second = 0;
    long long size = -1;  // the size before the date; -1 when the line shows none
    // The kind of entry as the line shows it: the first letter of an ls
    // mode ('-' a plain file, 'd', 'l', ...), '-' or 'd' for a DOS-style
    // line; 0 where the line shows no kind.
    char kind = 0;
};

CListingLine ReadUnixListingLine(const std::string& line);

// Whether a listing line may be a plain file's own, in every form the
// reader reads: "-" in front of the mode of "ls -l", a size instead of
// "<DIR>" in a DOS-style line, and a dated line that shows no kind and no
// folder. Links, folders and devices are not.
bool IsPlainFileLine(const std::string& line);

// The first line of "ls -l" in any language ("total 8", "insgesamt 8",
// "合計 8"): a word and the number of blocks.
bool IsListingTotalLine(const std::string& line);
