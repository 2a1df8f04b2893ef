// The process's edge for the command-line tools: their arguments as UTF-8, standard
// streams that pass bytes as they are, and whether a stream is a terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace plovik {

// The arguments after the program name; on Windows from the UTF-16 command line, so that
// names outside the ANSI code page survive.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// "\n" reaches the output as it is, not as "\r\n", and input is read as it is.
void UseBinaryStandardStreams();
bool IsTerminal(std::FILE* stream);
// Past a file-size limit a write then fails (EFBIG) instead of the signal (SIGXFSZ) ending
// the process: the tool gives the error of a failed write. Nothing on Windows, which has
// no such signal.
void FailWritesPastFileSizeLimit();

}  // namespace plovik
