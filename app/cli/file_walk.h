// Turns the names on the command line into the files to analyse: a folder stands for
// the .avi files under it.
#pragma once

#include <string>
#include <vector>

#include "plovik/cli_options.h"

namespace plovik {

struct WalkItem {
    std::string path;   // UTF-8, as given or as found (a folder's path joined with the name)
    std::string error;  // why a folder could not be read; empty for a file to analyse
    // A folder named on the command line that holds no AVI file: a failure, not a file.
    bool noFiles = false;
};

// Each name in order. A folder gives its files whose names end in ".avi" (any case), from
// all its subfolders, sorted by path component by component; links to folders are not
// followed, and no folder is entered twice. A folder that cannot be read gives an item
// with its error, in its place, and a folder named that gives no file an item that says
// so. Anything else is analysed as it is, whatever its name.
std::vector<WalkItem> ExpandNames(const std::vector<std::string>& names);

// The items whose place in items, counted from 0, is shard.index modulo shard.count.
std::vector<WalkItem> ShardOf(std::vector<WalkItem> items, Shard shard);

}  // namespace plovik
