#include "plovik/codecs.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>

#include "plovik/codec_tables.h"

namespace plovik {
namespace detail {
namespace {

// One line per row, rows in ascending byte order of their first key, as the catalogue
// is kept. Keys are case-sensitive and a trailing blank belongs to the key.
// clang-format off
constexpr VideoCodecRow kVideoCodecRows[] = {
    {"3IV1", "XAnim's 3ivX Delta 3.5 plugin"},
    {"ANIM" "IAN " "RVX ", "Intel - RDX"},
    {"AP41", "AngelPotion (alleged to be a rip-off of Microsoft MPEG-4)"},
    {"AUR2", "AuraVision - Aura 2 Codec - YUV 422"},
    {"AURA", "AuraVision - Aura 1 Codec - YUV 411"},
    {"AVDJ" "AVRn" "IJPG" "ijpg", "Independent JPEG Group's codec"},
    {"BGR " "raw ", "RAW RGB32"},
    {"BLZ0" "DIV5" "DIV6" "DX50" "div5" "div6", "DivX MPEG-4"},
    {"BT20", "Brooktree - MediaStream codec"},
    {"BTCV", "Brooktree - Composite Video codec"},
    {"BW10", "Broadway I-Frame MPEG."},
    {"CC12" "YC12", "Intel - YUV12 codec"},
    {"CDVC", "Canopus - DV codec"},
    {"CHAM", "Winnov, Inc. - MM_WINNOV_CAVIARA_CHAMPAGNE"},
    {"CPLA", "Weitek - 4:2:0 YUV Planar"},
    {"CRAM" "MSVC" "WHAM" "cram" "msvc" "wham", "Microsoft Video 1 (native codec)"},
    {"CVID" "cvid", "Cinepak Video (native codec)"},
    {"CWLT" "DXT1" "DXT2" "DXT3" "DXT4" "DXT5" "GWLT", "reserved"},
    {"CYUV" "cyuv", "Creative Labs, Inc - Creative Labs YUV"},
    {"DIB ", "MS Bitmap"},
    {"DIV1" "div1", "DivX MPEG-4 V1"},
    {"DIV2" "div2", "DivX MPEG-4 V2"},
    {"DIV3" "div3", "DivX MPEG-4 V3.xx Low motion codec"},
    {"DIV4" "div4", "DivX MPEG-4 V3.2x Fast-Motion"},
    {"DIVX" "divx", "DivX MPEG-4 V4.x"},
    {"DMB1", "Motion JPEG"},
    {"DUCK", "Duck Corp. - TrueMotion 1.0"},
    {"DVCS" "DVSD" "dvc " "dvcp" "dvcs" "dvsd", "Raw DV decoder using libdv"},
    {"DVE2", "InSoft - DVE-2 Videoconferencing codec"},
    {"DXTC", "DirectX Texture Compression"},
    {"FLIC" "MPNG", "Autodesk FLI/FLC Animation"},
    {"FLJP", "D-Vision - Field Encoded Motion JPEG With LSI Bitstream Format"},
    {"FVF1", "Iterated Systems, Inc. - Fractal Video Frame"},
    {"H260" "H261" "H262" "H263" "H264" "H265" "H266" "H267" "H268" "H269" "h263", "Intel - Conferencing codec"},
    {"HFYU", "HuffYUV (native codec)"},
    {"I263" "i263", "Intel - I263"},
    {"I420", "Intel - Indeo 4 codec"},
    {"ICLB", "InSoft - CellB Videoconferencing codec"},
    {"IF09", "Intel - Intel Intermediate YUV9"},
    {"ILVC", "Intel - Layered Video"},
    {"ILVR", "ITU-T - H.263+ compression standard"},
    {"IRAW", "Intel - YUV uncompressed"},
    {"IV30", "Intel - Indeo Video 3.0 codec"},
    {"IV31", "Intel - Indeo Video 3.1 codec"},
    {"IV32", "Intel - Indeo Video 3.2 codec"},
    {"IV33", "Intel - Indeo Video 3.3 codec"},
    {"IV34", "Intel - Indeo Video 3.4 codec"},
    {"IV35", "Intel - Indeo Video 3.5 codec"},
    {"IV36", "Intel - Indeo Video 3.6 codec"},
    {"IV37", "Intel - Indeo Video 3.7 codec"},
    {"IV38", "Intel - Indeo Video 3.8 codec"},
    {"IV39", "Intel - Indeo Video 3.9 codec"},
    {"IV40", "Intel - Indeo Video 4.0 codec"},
    {"IV41", "Intel - Indeo Video 4.1 codec"},
    {"IV42", "Intel - Indeo Video 4.2 codec"},
    {"IV43", "Intel - Indeo Video 4.3 codec"},
    {"IV44", "Intel - Indeo Video 4.4 codec"},
    {"IV45", "Intel - Indeo Video 4.5 codec"},
    {"IV46", "Intel - Indeo Video 4.6 codec"},
    {"IV47", "Intel - Indeo Video 4.7 codec"},
    {"IV48", "Intel - Indeo Video 4.8 codec"},
    {"IV49", "Intel - Indeo Video 4.9 codec"},
    {"IV50", "Intel - Indeo 5.x"},
    {"IYUV" "iyuv", "RAW I420"},
    {"JPEG" "jpeg", "Microsoft - Still Image JPEG DIB"},
    {"M261", "Microsoft H.261"},
    {"M263", "Microsoft H.263"},
    {"M4S2" "MP4S" "m4s2" "mp4s" "mp4v", "FFmpeg MPEG-4"},
    {"MJPG" "mjpg", "Microsoft - Motion JPEG DIB Format"},
    {"MP41", "Microsoft MPEG-4 V1"},
    {"MP42" "mp42", "Microsoft MPEG-4 V2"},
    {"MP43" "MPG3" "mp43" "mpg3", "Microsoft MPEG-4 V3"},
    {"MP44", "Microsoft MPEG-4 V4"},
    {"MPEG", "Chromatic MPEG 1 Video I Frame"},
    {"MPG4" "mpg4", "MicroSoft MPEG-4 v1"},
    {"MPGI", "Editable MPEG (Sigma Designs)"},
    {"MRCA", "FAST Multimedia - Mrcodec"},
    {"MRLE", "Microsoft - Run Length Encoding(RLE)"},
    {"MVI1", "Motion Pixels"},
    {"MWV1", "Aware Motion Wavelets Video Codec "},
    {"NTN1", "Nogatech - Video Compression 1"},
    {"NUV1", "NuppelVideo"},
    {"PGVV", "Radius Video Vision"},
    {"PHMO", "IBM - Photomotion"},
    {"PIM1" "mpg1" "mpg2", "FFmpeg MPEG 1/2"},
    {"QPEG", "Q-Team Dr.Brask 's QPEG video compressor"},
    {"QPEQ", "Q-Team - QPEG 1.1 Format video codec"},
    {"RAW " "RGB ", "Uncompressed"},
    {"RGBT", "Computer Concepts - 32 bit support"},
    {"RLE " "RLE8", "Microsoft - Run Length Encoding"},
    {"RPZA", "Apple Video 16 Bit"},
    {"RT21", "Intel - Indeo 2.1 codec"},
    {"RV10" "RV13" "rv10" "rv13", "FFmpeg RV10 decoder"},
    {"RV20" "rv20", "Linux RealPlayer 8 RV20 decoder"},
    {"RV30" "rv30", "Linux RealPlayer 8 RV30 decoder"},
    {"RV40" "rv40", "Linux RealPlayer 9 RV40 decoder"},
    {"SDCC", "Sun Communications - Digital Camera Codec"},
    {"SFMC", "Crystal Net - SFM Codec"},
    {"SMSC" "SMSD", "Radius - proprietary"},
    {"SPIG", "Radius Spigot"},
    {"SPLC", "Splash Studios - ACM audio codec"},
    {"SQZ2", "Microsoft - VXtreme Video Codec V2"},
    {"SV10", "Sorenson - Video R1"},
    {"SVQ1", "Sorenson v1 (native codec)"},
    {"TLMS" "TLST" "TMIC", "TeraLogic - Motion Intraframe Codec"},
    {"TM20", "Duck Corp. - TrueMotion 2.0"},
    {"TMOT", "Horizons Technology - TrueMotion Video Compression Algorithm"},
    {"TR20", "Duck Corp. - TrueMotion RT 2.0"},
    {"U263" "viv1", "FFmpeg H263+ decoder"},
    {"UCOD", "ClearVideo (Iterated Systems)"},
    {"ULTI", "IBM - Ultimotion"},
    {"UYVY" "uyvy", "RAW UYVY"},
    {"V422", "Vitec Multimedia - 24 bit YUV 4:2:2 format (CCIR 601)."},
    {"V655", "Vitec Multimedia - 16 bit YUV 4:2:2 format."},
    {"VCR1", "ATI - VCR 1.0"},
    {"VDCT", "Vitec Multimedia - Video Maker Pro DIB"},
    {"VDOM", "VDOnet VDOWave "},
    {"VDOW", "VDOWave (VDONet)"},
    {"VIDS", "Vitec Multimedia - YUV 4:2:2 CCIR 601 for V422"},
    {"VIVO" "vivo", "XAnim's CCITT H.263"},
    {"VIXL", "Miro Computer Products AG - for use with the Miro line of capture cards."},
    {"VLV1", "Videologic - VLCAP.DRV"},
    {"WBVC", "Winbond Electronics - W9960"},
    {"WMV1" "wmv1", "MicroSoft WMV1/WMV7"},
    {"X263", "Xirlink H.263 Video Codec"},
    {"XLV0", "NetXL, Inc. - XL Video Decoder"},
    {"XMPG", "Editable (I frames only) MPEG  (Xing)"},
    {"XVID" "XviD" "xvid", "Xvid (MPEG-4)"},
    {"YU92", "Intel - YUV"},
    {"YUV8", "Winnov, Inc. - MM_WINNOV_CAVIAR_YUV8"},
    {"YUV9", "Intel - Indeo Raw YUV9"},
    {"YUY2" "yuy2", "RAW YUY2"},
    {"YUYV", "Canopus - YUYV compressor"},
    {"YV12" "yv12", "RAW YV12"},
    {"YVU9" "yvu9", "RAW YVU9"},
    {"ZPEG", "Metheus - Video Zipper"},
    {"azpr" "rpza", "Quicktime Apple Video"},
    {"mpng", "PNG images decoder"},
    {"rle ", "Quicktime Animation (RLE)"},
    {"smc ", "Apple Graphics (SMC) codec"},
};

// The registered WAVE format tags we name. PCM (0x0001) is left out on purpose: it
// reads as an unknown tag with its code.
constexpr AudioFormatEntry kAudioFormats[] = {
    {0x0000, "UNKNOWN (Microsoft Corporation)"},
    {0x0002, "ADPCM (Microsoft Corporation)"},
    {0x0003, "IEEE_FLOAT (Microsoft Corporation)"},
    {0x0004, "VSELP (Compaq Computer Corp.)"},
    {0x0005, "IBM_CVSD (IBM Corporation)"},
    {0x0006, "ALAW (Microsoft Corporation)"},
    {0x0007, "MULAW (Microsoft Corporation)"},
    {0x0008, "DTS (Microsoft Corporation)"},
    {0x0009, "DRM (Microsoft Corporation)"},
    {0x0010, "OKI_ADPCM (OKI)"},
    {0x0011, "DVI_ADPCM (Intel Corporation)"},
    {0x0012, "MEDIASPACE_ADPCM (Videologic)"},
    {0x0013, "SIERRA_ADPCM (Sierra Semiconductor Corp)"},
    {0x0014, "G723_ADPCM (Antex Electronics Corporation)"},
    {0x0015, "DIGISTD (DSP Solutions, Inc.)"},
    {0x0016, "DIGIFIX (DSP Solutions, Inc.)"},
    {0x0017, "DIALOGIC_OKI_ADPCM (Dialogic Corporation)"},
    {0x0018, "MEDIAVISION_ADPCM (Media Vision, Inc.)"},
    {0x0019, "CU_CODEC (Hewlett-Packard Company)"},
    {0x0020, "YAMAHA_ADPCM (Yamaha Corporation of America)"},
    {0x0021, "SONARC (Speech Compression)"},
    {0x0022, "DSPGROUP_TRUESPEECH (DSP Group, Inc)"},
    {0x0023, "ECHOSC1 (Echo Speech Corporation)"},
    {0x0024, "AUDIOFILE_AF36 (Virtual Music, Inc.)"},
    {0x0025, "APTX (Audio Processing Technology)"},
    {0x0026, "AUDIOFILE_AF10 (Virtual Music, Inc.)"},
    {0x0027, "PROSODY_1612 (Aculab plc)"},
    {0x0028, "LRC (Merging Technologies S.A.)"},
    {0x0030, "DOLBY_AC2 (Dolby Laboratories)"},
    {0x0031, "GSM610 (Microsoft Corporation)"},
    {0x0032, "MSNAUDIO (Microsoft Corporation)"},
    {0x0033, "ANTEX_ADPCME (Antex Electronics Corporation)"},
    {0x0034, "CONTROL_RES_VQLPC (Control Resources Limited)"},
    {0x0035, "DIGIREAL (DSP Solutions, Inc.)"},
    {0x0036, "DIGIADPCM (DSP Solutions, Inc.)"},
    {0x0037, "CONTROL_RES_CR10 (Control Resources Limited)"},
    {0x0038, "NMS_VBXADPCM (Natural MicroSystems)"},
    {0x0039, "CS_IMAADPCM (Crystal Semiconductor IMA ADPCM)"},
    {0x003A, "ECHOSC3 (Echo Speech Corporation)"},
    {0x003B, "ROCKWELL_ADPCM (Rockwell International)"},
    {0x003C, "ROCKWELL_DIGITALK (Rockwell International)"},
    {0x003D, "XEBEC (Xebec Multimedia Solutions Limited)"},
    {0x0040, "G721_ADPCM (Antex Electronics Corporation)"},
    {0x0041, "G728_CELP (Antex Electronics Corporation)"},
    {0x0042, "MSG723 (Microsoft Corporation)"},
    {0x0050, "MPEG (Microsoft Corporation)"},
    {0x0052, "RT24 (InSoft, Inc.)"},
    {0x0053, "PAC (InSoft, Inc.)"},
    {0x0055, "MPEG Layer-3 (ISO/MPEG Layer3 Format Tag)"},
    {0x0059, "LUCENT_G723 (Lucent Technologies)"},
    {0x0060, "CIRRUS (Cirrus Logic)"},
    {0x0061, "ESPCM (ESS Technology)"},
    {0x0062, "VOXWARE (Voxware Inc)"},
    {0x0063, "CANOPUS_ATRAC (Canopus, co., Ltd.)"},
    {0x0064, "G726_ADPCM (APICOM)"},
    {0x0065, "G722_ADPCM (APICOM)"},
    {0x0067, "DSAT_DISPLAY (Microsoft Corporation)"},
    {0x0069, "VOXWARE_BYTE_ALIGNED (Voxware Inc)"},
    {0x0070, "VOXWARE_AC8 (Voxware Inc)"},
    {0x0071, "VOXWARE_AC10 (Voxware Inc)"},
    {0x0072, "VOXWARE_AC16 (Voxware Inc)"},
    {0x0073, "VOXWARE_AC20 (Voxware Inc)"},
    {0x0074, "VOXWARE_RT24 (Voxware Inc)"},
    {0x0075, "VOXWARE_RT29 (Voxware Inc)"},
    {0x0076, "VOXWARE_RT29HW (Voxware Inc)"},
    {0x0077, "VOXWARE_VR12 (Voxware Inc)"},
    {0x0078, "VOXWARE_VR18 (Voxware Inc)"},
    {0x0079, "VOXWARE_TQ40 (Voxware Inc)"},
    {0x0080, "SOFTSOUND (Softsound, Ltd.)"},
    {0x0081, "VOXWARE_TQ60 (Voxware Inc)"},
    {0x0082, "MSRT24 (Microsoft Corporation)"},
    {0x0083, "G729A (AT&T Labs, Inc.)"},
    {0x0084, "MVI_MVI2 (Motion Pixels)"},
    {0x0085, "DF_G726 (DataFusion Systems (Pty) (Ltd))"},
    {0x0086, "DF_GSM610 (DataFusion Systems (Pty) (Ltd))"},
    {0x0088, "ISIAUDIO (Iterated Systems, Inc.)"},
    {0x0089, "ONLIVE (OnLive! Technologies, Inc.)"},
    {0x0091, "SBC24 (Siemens Business Communications Sys)"},
    {0x0092, "DOLBY_AC3_SPDIF (Sonic Foundry)"},
    {0x0093, "MEDIASONIC_G723 (MediaSonic)"},
    {0x0094, "PROSODY_8KBPS (Aculab plc)"},
    {0x0097, "ZYXEL_ADPCM (ZyXEL Communications, Inc.)"},
    {0x0098, "PHILIPS_LPCBB (Philips Speech Processing)"},
    {0x0099, "PACKED (Studer Professional Audio AG)"},
    {0x00A0, "MALDEN_PHONYTALK (Malden Electronics Ltd.)"},
    {0x0100, "RHETOREX_ADPCM (Rhetorex Inc.)"},
    {0x0101, "IRAT (BeCubed Software Inc.)"},
    {0x0111, "VIVO_G723 (Vivo Software)"},
    {0x0112, "VIVO_SIREN (Vivo Software)"},
    {0x0123, "DIGITAL_G723 (Digital Equipment Corporation)"},
    {0x0125, "SANYO_LD_ADPCM (Sanyo Electric Co., Ltd.)"},
    {0x0130, "SIPROLAB_ACEPLNET (Sipro Lab Telecom Inc.)"},
    {0x0131, "SIPROLAB_ACELP4800 (Sipro Lab Telecom Inc.)"},
    {0x0132, "SIPROLAB_ACELP8V3 (Sipro Lab Telecom Inc.)"},
    {0x0133, "SIPROLAB_G729 (Sipro Lab Telecom Inc.)"},
    {0x0134, "SIPROLAB_G729A (Sipro Lab Telecom Inc.)"},
    {0x0135, "SIPROLAB_KELVIN (Sipro Lab Telecom Inc.)"},
    {0x0140, "G726ADPCM (Dictaphone Corporation)"},
    {0x0150, "QUALCOMM_PUREVOICE (Qualcomm, Inc.)"},
    {0x0151, "QUALCOMM_HALFRATE (Qualcomm, Inc.)"},
    {0x0155, "TUBGSM (Ring Zero Systems, Inc.)"},
    {0x0160, "MSAUDIO1 (Microsoft Corporation)"},
    {0x0161, "MSAUDIO2 / DivX Audio Compressor"},
    {0x0170, "UNISYS_NAP_ADPCM (Unisys Corp.)"},
    {0x0171, "UNISYS_NAP_ULAW (Unisys Corp.)"},
    {0x0172, "UNISYS_NAP_ALAW (Unisys Corp.)"},
    {0x0173, "UNISYS_NAP_16K (Unisys Corp.)"},
    {0x0200, "CREATIVE_ADPCM (Creative Labs, Inc)"},
    {0x0202, "CREATIVE_FASTSPEECH8 (Creative Labs, Inc)"},
    {0x0203, "CREATIVE_FASTSPEECH10 (Creative Labs, Inc)"},
    {0x0210, "UHER_ADPCM (UHER informatic GmbH)"},
    {0x0220, "QUARTERDECK (Quarterdeck Corporation)"},
    {0x0230, "ILINK_VC (I-link Worldwide)"},
    {0x0240, "RAW_SPORT (Aureal Semiconductor)"},
    {0x0241, "ESST_AC3 (ESS Technology, Inc.)"},
    {0x0250, "IPI_HSX (Interactive Products, Inc.)"},
    {0x0251, "IPI_RPELP (Interactive Products, Inc.)"},
    {0x0260, "CS2 (Consistent Software)"},
    {0x0270, "SONY_SCX (Sony Corp.)"},
    {0x0300, "FM_TOWNS_SND (Fujitsu Corp.)"},
    {0x0400, "BTV_DIGITAL (Brooktree Corporation)"},
    {0x0450, "QDESIGN_MUSIC (QDesign Corporation)"},
    {0x0680, "VME_VMPCM (AT&T Labs, Inc.)"},
    {0x0681, "TPC (AT&T Labs, Inc.)"},
    {0x1000, "OLIGSM (Ing C. Olivetti & C., S.p.A.)"},
    {0x1001, "OLIADPCM (Ing C. Olivetti & C., S.p.A.)"},
    {0x1002, "OLICELP (Ing C. Olivetti & C., S.p.A.)"},
    {0x1003, "OLISBC (Ing C. Olivetti & C., S.p.A.)"},
    {0x1004, "OLIOPR (Ing C. Olivetti & C., S.p.A.)"},
    {0x1100, "LH_CODEC (Lernout & Hauspie)"},
    {0x1400, "NORRIS (Norris Communications, Inc.)"},
    {0x1500, "SOUNDSPACE_MUSICOMPRESS (AT&T Labs, Inc.)"},
    {0x2000, "AC3(DVM - FAST Multimedia AG)"},
};
// clang-format on

constexpr bool AllKeysHaveFourCharacters() {
    return std::all_of(
        std::begin(kVideoCodecRows), std::end(kVideoCodecRows),
        [](const VideoCodecRow& row) { return !row.keys.empty() && row.keys.size() % 4 == 0; });
}
static_assert(AllKeysHaveFourCharacters());

constexpr std::size_t CountVideoCodecKeys() {
    std::size_t count = 0;
    for (const VideoCodecRow& row : kVideoCodecRows) count += row.keys.size() / 4;
    return count;
}

constexpr bool ByFourCC(const VideoCodecKey& a, const VideoCodecKey& b) {
    return a.fourcc < b.fourcc;
}

// Flattens the rows into one key list sorted for binary search.
constexpr auto BuildVideoCodecKeys() {
    std::array<VideoCodecKey, CountVideoCodecKeys()> keys{};
    std::size_t next = 0;
    for (std::size_t row = 0; row < std::size(kVideoCodecRows); ++row) {
        const std::string_view rowKeys = kVideoCodecRows[row].keys;
        for (std::size_t pos = 0; pos < rowKeys.size(); pos += 4) {
            keys[next++] = {MakeFourCC(rowKeys.substr(pos, 4)), static_cast<std::uint16_t>(row)};
        }
    }
    std::sort(keys.begin(), keys.end(), ByFourCC);
    return keys;
}

constexpr auto kVideoCodecKeys = BuildVideoCodecKeys();

constexpr bool NoDuplicateKeys() {
    return std::adjacent_find(kVideoCodecKeys.begin(), kVideoCodecKeys.end(),
                              [](const VideoCodecKey& a, const VideoCodecKey& b) {
                                  return a.fourcc == b.fourcc;
                              }) == kVideoCodecKeys.end();
}
static_assert(NoDuplicateKeys());

constexpr bool TagsStrictlyAscending() {
    return std::adjacent_find(std::begin(kAudioFormats), std::end(kAudioFormats),
                              [](const AudioFormatEntry& a, const AudioFormatEntry& b) {
                                  return a.tag >= b.tag;
                              }) == std::end(kAudioFormats);
}
static_assert(TagsStrictlyAscending());

}  // namespace

std::span<const VideoCodecRow> VideoCodecRows() { return kVideoCodecRows; }
std::span<const VideoCodecKey> VideoCodecKeys() { return kVideoCodecKeys; }
std::span<const AudioFormatEntry> AudioFormatEntries() { return kAudioFormats; }

}  // namespace detail

namespace {

using detail::MakeFourCC;

// "알수없음" (unknown), written as UTF-8 bytes so that every compiler reads it alike.
constexpr std::string_view kUnknown = "\xEC\x95\x8C\xEC\x88\x98\xEC\x97\x86\xEC\x9D\x8C";

// The row index of a video key, or -1 when the key is not in the catalogue.
int FindVideoCodecRow(std::uint32_t fourcc) {
    const auto keys = detail::VideoCodecKeys();
    const auto it = std::lower_bound(
        keys.begin(), keys.end(), fourcc,
        [](const detail::VideoCodecKey& key, std::uint32_t value) { return key.fourcc < value; });
    if (it == keys.end() || it->fourcc != fourcc) return -1;
    return it->row;
}

// "DIVX" names two different codecs: only a DivX 4 (or 5) format chunk makes it DivX;
// anything else under that handler is taken for the older MPEG-4 v1 codec.
bool IsDivX4Stream(std::uint32_t biCompression) {
    return biCompression == MakeFourCC("DIVX") || biCompression == MakeFourCC("DX50");
}

}  // namespace

std::optional<std::string_view> FindVideoCodecName(std::uint32_t fccHandler,
                                                   std::uint32_t biCompression) {
    std::uint32_t key = fccHandler;
    const bool divxHandler = key == MakeFourCC("DIVX") || key == MakeFourCC("divx");
    if (divxHandler && !IsDivX4Stream(biCompression)) key = MakeFourCC("MPG4");
    const int row = FindVideoCodecRow(key);
    if (row < 0) return std::nullopt;
    return detail::VideoCodecRows()[static_cast<std::size_t>(row)].description;
}

std::optional<std::string_view> FindAudioFormatName(std::uint16_t wFormatTag) {
    const auto entries = detail::AudioFormatEntries();
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), wFormatTag,
        [](const detail::AudioFormatEntry& entry, std::uint16_t tag) { return entry.tag < tag; });
    if (it != entries.end() && it->tag == wFormatTag) return it->description;
    return std::nullopt;
}

std::string GetVideoCodecName(std::uint32_t fccHandler, std::uint32_t biCompression) {
    return std::string(FindVideoCodecName(fccHandler, biCompression).value_or(kUnknown));
}

std::string GetAudioFormatName(std::uint16_t wFormatTag) {
    if (const auto name = FindAudioFormatName(wFormatTag)) return std::string(*name);
    char code[32];
    std::snprintf(code, sizeof code, "(code:0x%x)", static_cast<unsigned>(wFormatTag));
    return std::string(kUnknown) + code;
}

}  // namespace plovik
