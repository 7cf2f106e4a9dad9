// A DVD-Audio title set's track table (ATS_0N_0.IFO), the audio manager's groups (AUDIO_TS.IFO)
// and the audio packets of its packs, over arbitrary bytes.
#include <span>

#include "dvdaudio/aob_packets.h"
#include "dvdaudio/audio_manager.h"
#include "dvdaudio/track_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const auto table = kavrel::dvdaudio::readTrackTable(bytes);
    for (const auto& title : table.titles)
        for (const auto& track : title.tracks) (void)track.format.channelNames();
    (void)kavrel::dvdaudio::readTitleGroups(bytes).of(1, 1);
    for (std::size_t at = 0; at < size; at += 2048)
        kavrel::dvdaudio::forEachAudioPacket(bytes.subspan(at),
                                             [](const auto& packet) { (void)packet.audio.size(); });
    return 0;
}
