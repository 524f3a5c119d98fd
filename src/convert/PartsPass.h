// The part-by-part road of a batch row: a large file converted and written a
// few parts at a time, so that neither its text nor the converted copy is
// ever held whole. BatchConversion.cpp's rows try it first; the helpers it
// writes with are the batch's own (defined there).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <sys/stat.h>

#include "model/Library.h"
#include "model/SafeFile.h"

enum class PartsResult { Done, Failed, WholeText };

// Converts and writes a large file part by part (see PartsPass.cpp). Done or
// Failed (why, when a reason is given, and the log say which); WholeText
// when the file is small or the run cannot be split: the caller then
// converts the text as one.
PartsResult ConvertFileInParts(CLibraryList& list, CFindRepPreview& preview, bool& modified,
                               std::string& why);

namespace batchfile {
// Writes all the bytes, going on after an interrupted write.
bool WriteBytes(int fd, const char* p, std::size_t left);
// Turns every lone LF of the text into CR LF, in place. The text is taken to
// start a line.
void ExpandLoneLineFeeds(std::string& text);
// True when the text's first line ends in CR LF.
bool HasCrLfLineEnds(const char* text, std::size_t size);
// True when the text holds a CR that no LF follows.
bool HasLoneCr(const char* text, std::size_t size);
// Drops every CR that no LF follows, in place.
void DropLoneCrs(std::string& text);
// Drops, in place, the CR of every CR LF (ofLineBreaks) or every CR with
// no LF after it.
void DropCrs(std::string& text, bool ofLineBreaks);
// Gives a converted text (line breaks CR LF, as the engine has them) the
// line ends it is written with: every LF of it is a line break, CR LF in a
// file whose line ends were CR LF (crlf; the writer drops the CR of each
// CR LF for the others). A CR that no LF follows is what is left of a line
// break that the conversion took apart, and goes, unless the input (as
// read) held such CRs itself (inputHasLoneCr): they may be its text, and
// all stay.
void PutLineEndsBack(std::string& converted, bool inputHasLoneCr, bool crlf);
// The file as opened for reading, with the number of bytes read from it.
CFileStamp StampOf(const struct stat& st, std::size_t bytesRead);
// Opens the replacing writer of a target (links followed); the target's
// folder is created when it is missing. Null, with the reason, on a failure.
std::unique_ptr<CSafeWriter> OpenReplacingWriter(const std::string& target, std::string& reason);
// Puts a fully written file in place: now, or with the running batch's group.
bool FinishReplacingWriter(std::unique_ptr<CSafeWriter> writer, std::size_t bytes,
                           std::string& reason);
}  // namespace batchfile
