#pragma once
// The report made from the first navigation packet (private stream 2, sub-stream 0x01) of an
// input: VOB number, stream counts, the presentation times of the first and last video frame.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kavrel {

// Bytes after the sub-stream id that the report reads at most: the 32-entry subpicture list ends
// there. DVD-Video packets keep the two stream lists 128 bytes nearer the start.
inline constexpr std::size_t kNavigationBytesMax = 546 + 32 * 4;
constexpr std::size_t navigationBytesRead(bool vob) {
    return kNavigationBytesMax - (vob ? 128 : 0);
}
// A packet with fewer bytes after its id lacks even the VOB number and times: it is no report.
inline constexpr std::size_t kNavigationMinBytes = 52;

// Builds the report's log lines from the bytes after the sub-stream id (missing list bytes read
// as zero) and adds the packet's last-minus-first time to measuredDuration. videoCount and
// audioCount come from the system header; an audio count of 0 is taken from the packet.
std::vector<std::string> navigationReport(std::span<const uint8_t> data, bool vob, int videoCount,
                                          int audioCount, double& measuredDuration);

}  // namespace kavrel
