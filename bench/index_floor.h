// The floor of an index scan: the index bytes read with pread in 64 KiB blocks, each
// block handed to a counting loop.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace plovik::bench {

// Reads bytes from position on in blocks and calls eachBlock(data, size) for each.
template <class EachBlock>
void ReadInBlocks(int fd, std::uint64_t position, std::uint64_t bytes, EachBlock eachBlock) {
    static char block[64 * 1024];
    while (bytes > 0) {
        const std::size_t want =
            bytes < sizeof block ? static_cast<std::size_t>(bytes) : sizeof block;
        const ssize_t got = ::pread(fd, block, want, static_cast<off_t>(position));
        if (got <= 0) return;
        eachBlock(static_cast<const char*>(block), static_cast<std::size_t>(got));
        bytes -= static_cast<std::uint64_t>(got);
        position += static_cast<std::uint64_t>(got);
    }
}

}  // namespace plovik::bench
