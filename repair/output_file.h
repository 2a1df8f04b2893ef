// The platform's side of writing the copy: a temporary file beside the output that becomes
// the output only when it is whole and on the disk, and is removed otherwise.
#pragma once

#include <memory>
#include <string>

#include "repair_core.h"

namespace plovik {

class TempOutput : public RepairSink {
  public:
    // A new file in the folder of finalPath (UTF-8); null, with why, when it cannot be made.
    static std::unique_ptr<TempOutput> CreateBeside(const std::string& finalPath, std::string& why);
    // Removes the file unless it was renamed.
    ~TempOutput() override = default;

    const std::string& Path() const { return m_path; }
    // Flushes the bytes to the disk and closes the file; false, with Error(), when it fails.
    virtual bool Sync() = 0;
    // After Sync: the file takes finalPath's name, replacing what is there.
    virtual bool RenameTo(const std::string& finalPath) = 0;

  protected:
    std::string m_path;
};

// Whether a file (or a link, dangling or not) is at path.
bool PathExists(const std::string& path);

}  // namespace plovik
