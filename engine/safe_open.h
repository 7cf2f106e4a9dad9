#pragma once
// Opening the files of a run safely. An input must be a regular file: a FIFO, pipe, socket or
// device has no size to scan to and may block or never end. An output name is never followed
// when it is a symbolic link and never opened when it is not a regular file, and each output
// is locked for as long as it is open, so two runs cannot write one file at the same time.
// Failures throw IoError with a message that names the file.
#include <cstdint>
#include <filesystem>

namespace kavrel {

struct OpenedInput {
    int fd = -1;
    uint64_t size = 0;
};

// Opens path for reading; the descriptor blocks as usual once it is open.
OpenedInput openRegularInput(const std::filesystem::path& path);

// Opens path for writing, creating it when absent: locked, then emptied. The lock goes with the
// descriptor's last close.
int openLockedOutput(const std::filesystem::path& path);

}  // namespace kavrel
