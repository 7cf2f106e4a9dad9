#include "engine/read_ahead.h"

namespace kavrel {

ReadAhead::ReadAhead(InputFile& input, std::size_t chunkSize)
    : input_(input), chunkSize_(chunkSize) {
    for (Slot& slot : slots_) slot.data = pageAlignedBlock(slot.buffer, chunkSize_);
    reader_ = std::thread([this] { readLoop(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

// The slots are filled in turn, 0, 1, 0 …; the reader waits while the next one is still full
// or handed out. After the end or an error it fills no more.
void ReadAhead::readLoop() {
    for (std::size_t next = 0;; next ^= 1) {
        Slot& slot = slots_[next];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !slot.full; });
            if (stopping_) return;
        }
        // The slot is the reader's alone until it is marked full.
        slot.size = 0;
        slot.error = nullptr;
        try {
            if (input_.position() < input_.size()) slot.size = input_.read(slot.data, chunkSize_);
        } catch (...) {
            slot.error = std::current_exception();
        }
        slot.end = input_.position();
        if (slot.file != input_.path()) slot.file = input_.path();
        const bool last = slot.size == 0 || slot.error;
        {
            std::lock_guard lock(mutex_);
            slot.full = true;
        }
        changed_.notify_all();
        if (last) return;
    }
}

ReadAhead::Chunk ReadAhead::next() {
    std::unique_lock lock(mutex_);
    if (handedOut_) {
        Slot& done = slots_[taken_];
        // The end and an error are handed out again: the reader stopped there.
        if (done.size != 0 && !done.error) {
            done.full = false;
            taken_ ^= 1;
            changed_.notify_all();
        }
    }
    Slot& slot = slots_[taken_];
    changed_.wait(lock, [&] { return slot.full; });
    handedOut_ = true;
    if (slot.error) std::rethrow_exception(slot.error);
    return {{slot.data, slot.size}, slot.end, &slot.file};
}

}  // namespace kavrel
