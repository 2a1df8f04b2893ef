#include "file_walk.h"

#include <algorithm>

#include "file_system.h"

namespace plovik {
namespace {

bool HasAviExtension(std::string_view name) {
    constexpr std::string_view kExtension = ".avi";
    if (name.size() < kExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - kExtension.size());
    return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// True when a name can follow directly: "dir/", and on Windows "C:" (the current folder of
// drive C, which a separator would turn into its root).
bool EndsInSeparator(const std::string& path) {
    if (path.empty()) return false;
    const char last = path.back();
#ifdef _WIN32
    if (last == ':') return true;
#endif
    return last == kPathSeparator || last == '/';
}

class FolderWalk {
  public:
    explicit FolderWalk(std::vector<WalkItem>& items) : m_items(items) {}

    // Depth first, entries by name: the items come out sorted by path.
    void Walk(const std::string& folder) {
        DirectoryListing listing = ListDirectory(folder);
        if (!listing.error.empty()) {
            m_items.push_back({folder, std::move(listing.error), false});
            return;
        }
        // A folder met again below itself (a mount or a link the system does not mark).
        if (listing.id != DirectoryId{} &&
            std::find(m_open.begin(), m_open.end(), listing.id) != m_open.end()) {
            return;
        }
        m_open.push_back(listing.id);
        std::sort(listing.entries.begin(), listing.entries.end(),
                  [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
        const std::string prefix = EndsInSeparator(folder) ? folder : folder + kPathSeparator;
        for (const DirectoryEntry& entry : listing.entries) {
            if (entry.kind == EntryKind::kDirectory) {
                Walk(prefix + entry.name);
            } else if (entry.kind == EntryKind::kOther && HasAviExtension(entry.name)) {
                m_items.push_back({prefix + entry.name, {}, false});
            }
        }
        m_open.pop_back();
    }

  private:
    std::vector<WalkItem>& m_items;
    std::vector<DirectoryId> m_open;  // the folders on the way down to the current one
};

}  // namespace

std::vector<WalkItem> ExpandNames(const std::vector<std::string>& names) {
    std::vector<WalkItem> items;
    items.reserve(names.size());
    for (const std::string& name : names) {
        if (IsDirectory(name)) {
            const std::size_t before = items.size();
            FolderWalk(items).Walk(name);
            if (items.size() == before) items.push_back({name, {}, true});
        } else {
            items.push_back({name, {}, false});
        }
    }
    return items;
}

std::vector<WalkItem> ShardOf(std::vector<WalkItem> items, Shard shard) {
    if (shard.count == 1) return items;
    std::vector<WalkItem> part;
    part.reserve(items.size() / shard.count + 1);
    for (std::size_t i = shard.index; i < items.size(); i += shard.count) {
        part.push_back(std::move(items[i]));
    }
    return part;
}

}  // namespace plovik
