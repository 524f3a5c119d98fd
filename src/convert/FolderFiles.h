// The plain files directly in a folder, and the folder walk of the
// command-line job.
#pragma once

#include <string>
#include <vector>

// Full paths of the files (not folders) directly in the folder, in the order
// the file system gives them; empty when there are none or the folder cannot
// be read.
std::vector<std::string> ListFilesInFolder(const std::string& folder);

// What the job's walk of an input folder found.
struct CJobFolderWalk {
    std::string root;                   // the input folder, links resolved, with "/"
    std::vector<std::string> files;     // files to convert, under root, sorted
    std::vector<std::string> problems;  // folders it could not read, paths past the limit
    std::vector<std::string> skipped;   // what it left out on purpose, and why
};

// Walks the input folder and its subfolders for the job:
// - folder links are not followed; a file link is taken only when the file
//   it names lies inside the input folder;
// - a file reached twice (two links, a link and its target) is taken once
//   (the real name rather than a link); so are hard links when the output
//   folder is the input folder, while into another folder every real name
//   of the file is taken;
// - the output folder, when it lies inside the input folder, is left out;
// - pipes, devices and sockets are left out, and so are the temporary files
//   of replacing writes ("NAME.qvl-part-XXXXXX");
// - a folder that cannot be read, or a path past the system's limit, is a
//   problem.
// Files pass the include and exclude filters by name.
CJobFolderWalk WalkJobFolder(const std::string& inputDir, const std::string& outputDir,
                             const std::string& include, const std::string& exclude);
