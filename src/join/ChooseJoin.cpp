#include "join/ChooseJoin.h"

#include <algorithm>

#include "join/PcmSource.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3FrameReader.h"
#include "stream/MpegHeader.h"

namespace qm {

namespace {

// Stereo and joint stereo are one kind; dual channel and mono are each their own.
ChannelMode ChannelKind(ChannelMode mode) { return mode == ChannelMode::JointStereo ? ChannelMode::Stereo : mode; }

bool SameStream(const JoinFileFacts& a, const JoinFileFacts& b) {
    return a.channelMode && b.channelMode &&
           CanShareStream(a.version, a.layer, a.sampleRateHz, *a.channelMode, b.version, b.layer, b.sampleRateHz,
                          *b.channelMode);
}

// Folds one file into the running parameters: the larger rate and bit rate; joint stereo
// always wins, stereo only over mono; dual channel and mono change nothing.
void Fold(const JoinFileFacts& file, EncoderParams* params) {
    params->sampleRateHz = std::max(params->sampleRateHz, file.sampleRateHz);
    params->bitRateKbps = std::max(params->bitRateKbps, file.averageKbps);
    if (file.channelMode == ChannelMode::JointStereo) {
        params->channelMode = ChannelMode::JointStereo;
    } else if (file.channelMode == ChannelMode::Stereo && params->channelMode == ChannelMode::Mono) {
        params->channelMode = ChannelMode::Stereo;
    }
}

}  // namespace

bool CanShareStream(MpegVersion versionA, int layerA, int rateHzA, ChannelMode modeA, MpegVersion versionB, int layerB,
                    int rateHzB, ChannelMode modeB) {
    return versionA == versionB && layerA == layerB && rateHzA == rateHzB && ChannelKind(modeA) == ChannelKind(modeB);
}

bool CanShareStream(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
    return CanShareStream(a.version, a.layer, a.sampleRateHz, a.channelMode, b.version, b.layer, b.sampleRateHz,
                          b.channelMode);
}

bool AnalyseJoinFile(const std::filesystem::path& path, JoinFileFacts* facts, Mp3FrameReader::Measure measure) {
    Mp3FrameReader reader;
    if (reader.Open(path, measure)) {
        facts->sampleRateHz = reader.SampleRateHz();
        facts->averageKbps = reader.BitRateKbps();
        facts->hasInfoFrame = !reader.InfoFrame().empty();
        facts->isMpeg = true;
        // Open leaves the frame at the audio start as the last one read.
        facts->channelMode = reader.LastHeader().channelMode;
        facts->version = reader.LastHeader().version;
        facts->layer = reader.LastHeader().layer;
        return true;
    }
    AudioLayerSource source;
    if (!source.Open(path, 0)) return false;
    facts->sampleRateHz = source.GetSampleRate();
    facts->averageKbps = source.GetAverageBitrate();
    facts->channelMode = source.GetOutputChannels() == 1 ? ChannelMode::Mono : ChannelMode::Stereo;
    facts->hasInfoFrame = false;
    facts->isMpeg = false;
    return true;
}

JoinChoice ChooseJoin(const JoinFileFacts& reference, std::span<const JoinFileFacts> others,
                      const JoinerOptions& options, JoinStart start, int minimumFiles) {
    if (!options.AutoMP3EncodingParam) {
        return {JoinMethod::Reencode, {options.MP3SampleRate, options.MP3BitRate, options.MP3ChannelMode}};
    }

    const bool enoughFiles = static_cast<int>(others.size()) + 1 >= minimumFiles;
    const bool allMatch = reference.isMpeg && std::all_of(others.begin(), others.end(), [&](const JoinFileFacts& f) {
                              return f.isMpeg && SameStream(f, reference);
                          });
    if (enoughFiles && allMatch) return {JoinMethod::Direct, {}};
    return {JoinMethod::Reencode, AutomaticEncoderParams(reference, others, start)};
}

EncoderParams AutomaticEncoderParams(const JoinFileFacts& reference, std::span<const JoinFileFacts> others,
                                     JoinStart start) {
    EncoderParams params{0, 0, ChannelMode::Mono};
    if (start == JoinStart::ReferenceValues) {
        // An unknown mode is encoded as stereo.
        params = {reference.sampleRateHz, reference.averageKbps, reference.channelMode.value_or(ChannelMode::Stereo)};
    } else {
        Fold(reference, &params);
    }
    for (const JoinFileFacts& file : others) Fold(file, &params);
    params.bitRateKbps = SnapBitRate(params.bitRateKbps);
    return params;
}

bool ChooseJoinOfFiles(std::span<const std::filesystem::path> files, const JoinerOptions& options, bool forceReencode,
                       JoinChoice* choice, std::string* error) {
    std::vector<JoinFileFacts> facts(std::max<std::size_t>(files.size(), 1));
    // Without the automatic parameters nothing about the files matters to the choice.
    const auto analyse = [&](Mp3FrameReader::Measure measure) {
        if (!options.AutoMP3EncodingParam) return true;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!AnalyseJoinFile(files[i], &facts[i], measure)) {
                *error = FailedToOpenMessage(files[i]);
                return false;
            }
        }
        return true;
    };
    if (!analyse(Mp3FrameReader::Measure::FormatOnly)) return false;
    *choice = ChooseJoin(facts.front(), std::span(facts).subspan(1), options, JoinStart::Nothing);
    if (choice->method == JoinMethod::Direct && !forceReencode) return true;
    if (!analyse(Mp3FrameReader::Measure::Length)) return false;
    const JoinChoice measured = ChooseJoin(facts.front(), std::span(facts).subspan(1), options, JoinStart::Nothing);
    *choice = {JoinMethod::Reencode,
               measured.method == JoinMethod::Reencode
                   ? measured.params
                   : AutomaticEncoderParams(facts.front(), std::span(facts).subspan(1), JoinStart::Nothing)};
    return true;
}

}  // namespace qm
