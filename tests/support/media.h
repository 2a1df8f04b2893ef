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

namespace plovik::test {

// The stream's chunks of an AVI file, in file order: the data of every chunk whose id ends
// with kind ("dc", "wb") and whose stream number is stream, from every "movi" list (and the
// "rec " lists in them). Empty when the file cannot be read. For tests that hold a codec's
// frames from a real writer; not a parser of damaged files.
std::vector<std::string> StreamChunks(const std::string& path, int stream, const char* kind);

// The data of the stream's format chunk ("strf"), or empty.
std::string StreamFormat(const std::string& path, int stream);

}  // namespace plovik::test
