#pragma once

// The owners of LAME's two C handles: the encoder context (lame_init / lame_close), which
// the MP3 encoder and the ID3v2 tag writer use, and the frame decoder (hip_decode_init /
// hip_decode_exit) that Mp3FrameDecoder wraps. Every use of either handle goes through
// these owners.

#include <lame/lame.h>

#include <cstdarg>
#include <memory>

namespace qm {

struct LameCloser {
    void operator()(lame_global_flags* lame) const { lame_close(lame); }
};
using LameHandle = std::unique_ptr<lame_global_flags, LameCloser>;

struct HipCloser {
    void operator()(hip_global_flags* hip) const { hip_decode_exit(hip); }
};
using HipHandle = std::unique_ptr<hip_global_flags, HipCloser>;

// LAME reports damaged frames, missing bit reservoirs and its own settings on stderr; the
// engines have no console, so its reports are dropped.
inline void IgnoreLameReport(const char*, va_list) {}

// Points a handle's report functions at IgnoreLameReport; an empty handle stays empty.
template <typename Handle, typename... ReportSetters>
Handle Quietened(Handle handle, ReportSetters... setReport) {
    if (handle) (setReport(handle.get(), IgnoreLameReport), ...);
    return handle;
}

// A new encoder context that reports nothing; empty when LAME has no memory for one.
inline LameHandle MakeQuietLame() {
    return Quietened(LameHandle(lame_init()), lame_set_errorf, lame_set_debugf, lame_set_msgf);
}

// A new frame decoder that reports nothing; empty when LAME has no memory for one.
inline HipHandle MakeQuietHip() {
    return Quietened(HipHandle(hip_decode_init()), hip_set_errorf, hip_set_debugf, hip_set_msgf);
}

}  // namespace qm
