// Writes seed AVI files for the fuzzer into the directory given as argument.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/avi_writer.h"

using namespace plovik::test;

namespace {

std::vector<Bytes> Seeds() {
    const Bytes hdrl =
        List("hdrl", {Avih({.totalFrames = 3}), List("strl", {Strh({}), VideoStrf()}),
                      List("strl", {Strh({.type = "auds"}), AudioStrf({}, 16)})});
    return {
        BuildSimpleAvi({}),
        BuildSimpleAvi({.frames = 6, .keyInterval = 2, .audio = false, .software = "Enc"}),
        BuildSimpleAvi({.frames = 4, .keyInterval = 1, .indexFirst = true}),
        Riff("AVI ", {hdrl, List("INFO", {Chunk("JUNK", Zeros(4)), Chunk("ISFT", "Tool")}),
                      List("movi", {Chunk("00dc", "x")}), Idx1({Video(kKey), Audio(kKey)})}),
        // Movie data with "rec " lists, passed chunks, damage and a second RIFF part.
        Riff("AVI ", {hdrl,
                      List("movi", {List("rec ", {Chunk("00dc", "abc"), Chunk("01wb", "xy")}),
                                    Chunk("JUNK", Zeros(3)), Chunk("ix00", Zeros(32)),
                                    Bytes("\x01garbage"), Chunk("00db", ""), Chunk("01wb", "z")}),
                      Idx1({{"rec ", 0, 4, 28}, Video(kKey, 16), Audio(0, 26)})}) +
            Riff("AVIX", {List("movi", {Chunk("00dc", "q"), Chunk("01wb", "")})}),
        Riff("AVI ", {List("hdrl", {Avih({}),
                                    List("strl", {Strh({}, 64), VideoStrf({}, 48),
                                                  Chunk("strd", "d"), Chunk("strn", "n")}),
                                    List("strl", {Strh({.type = "txts"}), Chunk("indx", Zeros(8))}),
                                    List("odml", {Chunk("dmlh", Zeros(4))})}),
                      Chunk("JUNQ", ""), Chunk("segm", "s")}) +
            RiffWithSize("AVIX", 12, {List("movi", {})}),
        // Headers lost: a zeroed RIFF header before the movie data, and data carved mid-chunk.
        Bytes(12, '\0') + List("movi", {Chunk("00dc", "abc"), Chunk("01wb", "xy")}) +
            Idx1({Video(kKey), Audio(kKey)}),
        Bytes("dc\x03\0\0\0abc") + Chunk("01wb", "xy") + List("rec ", {Chunk("00dc", "q")}),
        // OpenDML: three parts; audio, "00ix" chunks, one part without "idx1"; blocks of
        // entries and their tails.
        BuildOpenDmlAvi({}).file.Flat(),
        BuildOpenDmlAvi({.partFrames = {40, 33}, .keyInterval = 7, .audio = true}).file.Flat(),
        BuildOpenDmlAvi({.partFrames = {5}, .idx1 = false, .indexId = "00ix"}).file.Flat(),
        // With real chunk headers, for the scan's OpenDML index check.
        BuildOpenDmlAvi({.partFrames = {6, 5}, .audio = true, .chunkHeaders = true}).file.Flat(),
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plovik_fuzz_seeds DIRECTORY\n");
        return 2;
    }
    int n = 0;
    for (const Bytes& seed : Seeds()) {
        std::ofstream out(std::string(argv[1]) + "/seed" + std::to_string(n++) + ".avi",
                          std::ios::binary);
        out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
        if (!out) return 1;
    }
    return 0;
}
