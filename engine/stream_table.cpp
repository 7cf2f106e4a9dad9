#include "engine/stream_table.h"

#include <algorithm>
#include <cmath>

#include "engine/names.h"
#include "engine/run_state.h"

namespace kavrel {

namespace {

constexpr int64_t kPtsPerMillisecond = 90;

}  // namespace

int StreamInfo::slot() const {
    if (!selectable()) return -1;
    switch (kind) {
        case StreamKind::Video:
            return videoSlot(number);
        case StreamKind::Audio:
            return audioSlot(number);
        case StreamKind::Subpicture:
            break;
    }
    return subSlot(number);
}

int StreamTable::add(const IdFamily& family, uint8_t id, const std::filesystem::path& file) {
    const StreamKind kind = family.kind;
    auto& numbers = byNumber_[slotOfKind(kind)];
    const int announced = announcedNumbers(kind);
    const int selectable = selectableNumbers(kind);
    const int own = family.number(id);
    int number = -1;
    if (own < announced && numbers[static_cast<std::size_t>(own)] < 0) {
        number = own;
    } else {
        // The next free number after its own, those with a check box first.
        for (int pass = 0; pass < 2 && number < 0; ++pass) {
            for (int step = 1; step < announced; ++step) {
                const int n = (own + step) % announced;
                if ((n < selectable) == (pass == 0) && numbers[static_cast<std::size_t>(n)] < 0) {
                    number = n;
                    break;
                }
            }
        }
    }

    StreamInfo info;
    info.kind = kind;
    info.id = id;
    info.space = family.space;
    info.ownNumber = own;
    info.number = number;
    info.label = family.label ? family.label : "";
    info.firstSeenIn = file;
    if (info.selectable()) info.caption = slotCaption(info.slot(), info.label);
    const auto index = static_cast<int16_t>(streams_.size());
    streams_.push_back(std::move(info));
    index_[static_cast<std::size_t>(family.space)][id] = index;
    if (number >= 0) numbers[static_cast<std::size_t>(number)] = index;
    return index;
}

int32_t StreamTable::keyOf(StreamKind kind, int number) const {
    if (number < 0 || number >= announcedNumbers(kind)) return -1;
    const int16_t index = byNumber_[slotOfKind(kind)][static_cast<std::size_t>(number)];
    return index < 0 ? -1 : streams_[static_cast<std::size_t>(index)].key();
}

std::vector<const StreamInfo*> StreamTable::ordered() const {
    std::vector<const StreamInfo*> result;
    for (const StreamInfo& info : streams_) result.push_back(&info);
    auto key = [](const StreamInfo* info) {
        return std::pair(static_cast<int>(info->kind), info->number < 0 ? 1000 : info->number);
    };
    std::stable_sort(result.begin(), result.end(),
                     [&key](const StreamInfo* a, const StreamInfo* b) { return key(a) < key(b); });
    return result;
}

int64_t ptsDifferenceMs(uint32_t later, uint32_t earlier) {
    const auto ticks = static_cast<int32_t>(later - earlier);
    return std::llround(static_cast<double>(ticks) / kPtsPerMillisecond);
}

const StreamInfo* StreamTable::referenceVideo() const {
    const StreamInfo* video = nullptr;
    for (const StreamInfo& info : streams_) {
        if (info.kind != StreamKind::Video || info.number < 0 || !info.firstPts) continue;
        if (!video || info.number < video->number) video = &info;
    }
    return video;
}

void StreamTable::updateDelays() {
    const StreamInfo* video = referenceVideo();
    for (StreamInfo& info : streams_) {
        info.delayMs.reset();
        if (info.kind == StreamKind::Video || !video || !info.firstPts) continue;
        // Time stamps of another file are on another clock.
        if (info.firstSeenIn != video->firstSeenIn) continue;
        info.delayMs = ptsDifferenceMs(*info.firstPts, *video->firstPts);
    }
}

void StreamTable::clear() {
    streams_.clear();
    for (auto& ids : index_) ids.fill(-1);
    for (auto& numbers : byNumber_) numbers.fill(-1);
}

}  // namespace kavrel
