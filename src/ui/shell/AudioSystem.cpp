#include "ui/shell/AudioSystem.h"

#include "stream/AudioLayer.h"

namespace qm {

std::uint32_t StreamAudioSystem::Version() { return audio::GetVersion(); }

bool StreamAudioSystem::Init(int device, int rateHz) { return audio::Init(device, rateHz); }

bool StreamAudioSystem::HasSoundCard() { return audio::HasSoundCard(); }

void StreamAudioSystem::SetVerifyLength(int byteCount) { audio::SetVerifyLength(byteCount); }

void StreamAudioSystem::Free() { audio::Free(); }

}  // namespace qm
