// Files that ffmpeg writes once, at the bench's start, into a scratch folder: real frames for
// the frame checkers and real clips for the batch check. A file that ffmpeg cannot make (it
// is missing, or lacks the encoder) is left out, and stderr says so.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace plovik::bench {

struct MediaFiles {
    MediaFiles();

    plovik::test::TempDir dir;
    std::vector<std::string> codecFiles;  // a second of 720x576 pictures or ten of sound each
    std::vector<std::string> clips;       // a second of 160x120 pictures with sound each
};

// Made on the first call.
const MediaFiles& Media();

}  // namespace plovik::bench
