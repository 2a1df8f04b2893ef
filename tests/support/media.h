// The files that real muxers wrote at test time (tests/media/make-corpus.sh).
#pragma once

#include <string>
#include <vector>

namespace plovik::test {

// The path of a corpus file ("ff_mjpeg_pcm.avi"), or empty when the corpus lacks it (its
// writer is not installed, or the test runs outside CTest): the caller skips then.
std::string MediaFile(const std::string& name);

// Every file of the corpus, sorted by name; empty without a corpus.
std::vector<std::string> MediaFiles();

}  // namespace plovik::test
