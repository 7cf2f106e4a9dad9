#include "engine/read_ahead.h"

namespace kavrel {

ReadAhead::ReadAhead(InputFile& input, std::size_t chunkSize, std::size_t blockChunks)
    : input_(input), chunkSize_(chunkSize), blockChunks_(blockChunks < 1 ? 1 : blockChunks) {
    for (Block& block : blocks_)
        block.data = pageAlignedBlock(block.buffer, chunkSize_ * blockChunks_);
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

// The block is the reader's alone until it is marked full. It ends with an empty piece at the
// end of the input, or with the error of a read.
void ReadAhead::fill(Block& block) {
    block.pieces.clear();
    block.error = nullptr;
    uint8_t* at = block.data;
    while (block.pieces.size() < blockChunks_) {
        Piece piece;
        try {
            if (input_.position() < input_.size()) piece.size = input_.read(at, chunkSize_);
        } catch (...) {
            block.error = std::current_exception();
            return;
        }
        piece.end = input_.position();
        piece.file = input_.path();
        at += piece.size;
        block.pieces.push_back(std::move(piece));
        if (block.pieces.back().size == 0) return;
    }
}

// The blocks are filled in turn, 0, 1, 0 …; the reader waits while the next one is still full.
// After the end or an error it fills no more.
void ReadAhead::readLoop() {
    for (std::size_t next = 0;; next ^= 1) {
        Block& block = blocks_[next];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !block.full; });
            if (stopping_) return;
        }
        fill(block);
        const bool last = block.error || block.pieces.back().size == 0;
        {
            std::lock_guard lock(mutex_);
            block.full = true;
        }
        changed_.notify_all();
        if (last) return;
    }
}

ReadAhead::Chunk ReadAhead::next() {
    Block* block = &blocks_[block_];
    {
        std::unique_lock lock(mutex_);
        if (block->full && piece_ == block->pieces.size() && !block->error) {
            // Every chunk of the block was handed out: the reader may fill it again.
            block->full = false;
            block_ ^= 1;
            piece_ = 0;
            block = &blocks_[block_];
            changed_.notify_all();
        }
        changed_.wait(lock, [&] { return block->full; });
    }
    if (piece_ == block->pieces.size()) std::rethrow_exception(block->error);
    const Piece& piece = block->pieces[piece_];
    std::size_t offset = 0;
    for (std::size_t i = 0; i < piece_; ++i) offset += block->pieces[i].size;
    // The end stays: every call after it hands out the empty chunk again.
    if (piece.size != 0) ++piece_;
    return {{block->data + offset, piece.size}, piece.end, &piece.file};
}

}  // namespace kavrel
