// qm-fuzz-seeds DIR: writes the seed inputs of every fuzz target into DIR/<target>/, made with
// the test kit: short MP3 files of each MPEG version and channel layout, with and without a
// Xing/Info frame, decorated with every kind of tag and damage the kit knows; template texts;
// settings files.

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"

namespace {

namespace fx = qm::fixtures;
using fx::Bytes;

constexpr double kSeedSeconds = 0.2;  // a handful of frames: small seeds mutate faster

fx::EncodeSpec Spec(int rateHz, int kbps, fx::Channels channels, fx::XingFrame xing, bool vbr = false) {
    fx::EncodeSpec spec = fx::StreamSpec(kSeedSeconds, fx::Signal::Tone, rateHz, kbps, channels);
    spec.xing = xing;
    spec.vbr = vbr;
    return spec;
}

fx::Id3v2Spec Tag(int majorVersion) {
    fx::Id3v2Spec tag;
    tag.majorVersion = majorVersion;
    tag.title = "Seed title";
    tag.artist = "Seed artist";
    tag.album = "Seed album";
    tag.year = "2026";
    tag.genre = "Rock";
    tag.comment = "a comment\nof two lines";
    tag.track = "07/15";
    return tag;
}

// Plain streams: each MPEG version, mono and stereo, CBR and VBR, with and without the Info or
// Xing frame.
std::vector<std::pair<std::string, Bytes>> Streams() {
    using fx::Channels;
    using fx::XingFrame;
    return {
        {"mpeg1-cbr-info", fx::EncodeMp3(Spec(44100, 128, Channels::JointStereo, XingFrame::Yes))},
        {"mpeg1-cbr-plain", fx::EncodeMp3(Spec(48000, 320, Channels::Stereo, XingFrame::No))},
        {"mpeg1-vbr-xing", fx::EncodeMp3(Spec(44100, 128, Channels::JointStereo, XingFrame::Yes, true))},
        {"mpeg2-mono-info", fx::EncodeMp3(Spec(22050, 64, Channels::Mono, XingFrame::Yes))},
        {"mpeg25-vbr-xing", fx::EncodeMp3(Spec(8000, 16, Channels::Mono, XingFrame::Yes, true))},
    };
}

// The streams with the decorations and the damage of real files.
std::vector<std::pair<std::string, Bytes>> DecoratedFiles(const Bytes& stream) {
    fx::Id3v2Spec footer = Tag(4);
    footer.footer = true;
    footer.paddingBytes = 64;
    fx::Id3v2Spec unsynchronised = Tag(3);
    unsynchronised.unsynchronised = true;
    unsynchronised.utf16 = true;
    const Bytes id3v1 = fx::MakeId3v1Tag("v1 title", "v1 artist", "v1 album", "1999", "v1 comment", 3, 17);
    const Bytes ape = fx::MakeApeTag({{"Title", "ape title"}, {"Artist", "ape artist"}});
    const Bytes half(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
    const Bytes firstFrames(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 3));
    const Bytes lastFrames(stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 3), stream.end());
    return {
        {"id3v23-padded", fx::Concat({fx::MakeId3v2Tag([] {
                                          fx::Id3v2Spec t = Tag(3);
                                          t.paddingBytes = 256;
                                          return t;
                                      }()),
                                      stream})},
        {"id3v24-footer", fx::Concat({fx::MakeId3v2Tag(footer), stream})},
        {"id3v22", fx::Concat({fx::MakeId3v2Tag(Tag(2)), stream})},
        {"id3v23-unsync-utf16", fx::Concat({fx::MakeId3v2Tag(unsynchronised), stream})},
        {"ape-id3v1", fx::Concat({stream, ape, id3v1})},
        {"junk-before", fx::Concat({fx::Junk(700), stream})},
        {"junk-between", fx::Concat({firstFrames, fx::Noise(300, 7), lastFrames})},
        {"cut-short", half},
        {"tag-only", fx::MakeId3v2Tag(Tag(4))},
    };
}

// Frames of the layers the encoder does not make.
Bytes RawLayerFrames(int layerBits, int versionBits) {
    std::vector<Bytes> frames;
    for (int i = 0; i < 6; ++i) frames.push_back(fx::MakeRawFrame(versionBits, layerBits, 1 + i, 0, i % 2, 0));
    return fx::Concat(frames);
}

std::vector<std::pair<std::string, Bytes>> Mp3Seeds() {
    std::vector<std::pair<std::string, Bytes>> seeds = Streams();
    for (auto& [name, bytes] : DecoratedFiles(seeds.front().second)) seeds.emplace_back(name, bytes);
    seeds.emplace_back("layer1", RawLayerFrames(3, 3));
    seeds.emplace_back("layer2", RawLayerFrames(2, 3));
    seeds.emplace_back("mpeg2-layer1", RawLayerFrames(3, 2));
    return seeds;
}

// Texts in the order the templates target reads them, each ended by a backslash and a letter.
Bytes TemplateSeed(const std::vector<std::string>& texts, const std::string& numbers) {
    std::string seed;
    for (const std::string& text : texts) seed += text + "\\x";
    seed += numbers;
    return Bytes(seed.begin(), seed.end());
}

std::vector<std::pair<std::string, Bytes>> TemplateSeeds() {
    const std::string numbers = "\x01\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x07\x00\x00\x00\x02\x00\x01";
    return {
        {"default", TemplateSeed({"%F%-%P%.mp3", "song", "Title", "Artist", "Album", "2026", "Rock"}, numbers)},
        {"all-tags",
         TemplateSeed({"%S% %A% - %L% (%Y%) %I% [%G%] %N% %P% of %T%", "a/b", "T/../x", "..", "A\\B", "\n", "\x7f"},
                      numbers)},
        {"title", TemplateSeed({"%I% - %P%/%T%", "file", "", "", "", "", ""}, numbers)},
    };
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A cue sheet (first byte even) and a label file (odd) of each kind the readers take.
std::vector<std::pair<std::string, Bytes>> MarksSeeds() {
    return {
        {"cue", Text(std::string(1, '\0') +
                     "REM GENRE Rock\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\nFILE \"a.wav\" WAVE\r\n"
                     "  TRACK 01 AUDIO\r\n    TITLE \"Caf\xE9\"\r\n    INDEX 01 00:00:00\r\n"
                     "  TRACK 02 AUDIO\r\n    TITLE Two\r\n    INDEX 00 00:20:00\r\n    INDEX 01 00:23:12\r\n")},
        {"labels", Text("\x01"
                        "0.000000\t2.500000\tOne\n4.25\t4.25\tPoint\n\\\t100\t200\n6,5\t9\tThree\n")},
    };
}

// Settings files as the desktop program writes them, and with values out of range.
std::vector<std::pair<std::string, Bytes>> SettingsSeeds() {
    return {
        {"stored", Text("[Options]\nStartPage=3\nWndMaximized=0\n"
                        "WndPosition=@ByteArray(\\x1\\0\\0\\0\\x2\\0\\0\\0\\x90\\x1\\0\\0\\x2c\\x1\\0\\0)\n"
                        "\n[Options/Split]\nReencodePieces=1\nMP3BitRate=192\nMP3SampleRate=48000\nMP3ChannelMode=3\n"
                        "FadeInLen=20\nOutputFileName=%F%-%P%.mp3\nID3TitleFormat=%I% - %P%/%T%\n"
                        "FilenameDigitNumber=3\nTargetExistsOpt=22\nSplitType=2\nSplitTimeMin=4\n"
                        "\n[Options/BatchSplit]\nFolder=/music\nSplitFileUnit=401\nSplitCustomFromSec=1.5\n"
                        "\n[Options/Join]\nID3Title=\"a, b\"\nID3TrackNo=7\nOutputFolderOpt=299\n"
                        "\n[Options/BatchJoin]\nJoinType=1\n")},
        {"out-of-range", Text("[Options]\nStartPage=99\nWndPosition=@ByteArray(xyz)\n"
                              "[Options/Split]\nMP3ChannelMode=2\nFadeOutLen=-5\nFirstPiecesNumber=0\n"
                              "TitleDigitNumber=4294967295\nOutputFileName=\nID3TrackNumType=9\n"
                              "[Options/BatchSplit]\nSplitType=-1\nSplitFileAmount=0\nSplitFileUnit=7\n"
                              "[Options/BatchJoin]\nJoinType=5\n")},
    };
}

bool WriteAll(const std::filesystem::path& folder, const std::vector<std::pair<std::string, Bytes>>& seeds,
              const Bytes& prefix = {}) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "qm-fuzz-seeds: cannot create \"" << folder.string() << "\"\n";
        return false;
    }
    for (const auto& [name, bytes] : seeds) fx::WriteFileBytes(folder / name, fx::Concat({prefix, bytes}));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qm-fuzz-seeds DIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const std::vector<std::pair<std::string, Bytes>> mp3 = Mp3Seeds();
    // The Xing/Info target reads two bytes of options first: keep the encoder delay and not
    // the padding, and no repeats.
    const Bytes xingOptions = {0x01, 0x00};
    const bool ok = WriteAll(dir / "frames", mp3) && WriteAll(dir / "analysis", mp3) && WriteAll(dir / "tags", mp3) &&
                    WriteAll(dir / "xing", Streams(), xingOptions) && WriteAll(dir / "templates", TemplateSeeds()) &&
                    WriteAll(dir / "marks", MarksSeeds()) && WriteAll(dir / "settings", SettingsSeeds());
    return ok ? 0 : 1;
}
