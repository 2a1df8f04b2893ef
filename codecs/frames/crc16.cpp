#include "crc16.h"

#include "crc_fold.h"

namespace plovik::frames {

std::uint16_t Crc16(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
#if defined(PLOVIK_CRC_CLMUL)
    if (bytes.size() >= 64 && HasClmul()) {
        std::uint8_t block[16];
        FoldMsb<0x10000u | crc16_detail::kPolynomial, 16>(bytes.data(), bytes.size(), crc, block);
        const std::size_t tail = bytes.size() % 16;
        return Crc16Tables(Crc16Tables(0, block), bytes.last(tail));
    }
#endif
    return Crc16Tables(crc, bytes);
}

}  // namespace plovik::frames
