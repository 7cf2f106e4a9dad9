#pragma once
// Large-file input and output with 64-bit positions. Failures throw IoError with a message
// that names the file and the system's reason.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/disc_title.h"

namespace kavrel {

struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A read-only input file read sequentially in large blocks. Only a regular file opens (see
// engine/safe_open.h).
class InputFile {
  public:
    explicit InputFile(const std::filesystem::path& path);  // throws IoError
    // Adopts an open stream (for in-memory inputs of tests and fuzzing); name is for messages.
    InputFile(std::FILE* file, uint64_t size, std::filesystem::path name);
    // Reads the ranges one after the other as one input (a disc title); each file opens when
    // its first range is reached. A range that runs past its file's end is a read error.
    explicit InputFile(std::vector<ByteRange> ranges);  // throws IoError
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads up to size bytes; returns the count read (0 only at the end). Throws on a read error
    // and when the file ends before the size it had when it was opened.
    std::size_t read(uint8_t* data, std::size_t size);
    uint64_t position() const { return position_; }
    uint64_t size() const { return size_; }
    // The file being read (of a title: the file of the current range).
    const std::filesystem::path& path() const { return path_; }

  private:
    std::size_t readFile(uint8_t* data, std::size_t size);
    void openRange(std::size_t index);

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    std::vector<ByteRange> ranges_;  // empty: one whole file
    std::size_t range_ = 0;          // the range being read
    uint64_t rangeLeft_ = 0;         // its bytes not read yet
};

// A new output file, created (replacing the regular file of that name) and written
// sequentially. A symbolic link or special file of that name is refused, and so is a file that
// another run holds open for writing (see engine/safe_open.h).
class OutputFile {
  public:
    explicit OutputFile(const std::filesystem::path& path);  // throws IoError
    ~OutputFile();                                           // closes quietly
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const uint8_t* data, std::size_t size);  // throws IoError (disk full …)
    // Replaces bytes written earlier, `offset` bytes from the start (a file header patched
    // once the data is known). Throws IoError.
    void writeAt(uint64_t offset, const uint8_t* data, std::size_t size);
    // The bytes the file really holds, after writing out what can be written of the buffer:
    // after a failed write, less than written() counts. Never throws.
    uint64_t lengthOnDisk();
    // Cuts the file to its first `size` bytes; what the buffer could not write out is dropped.
    // Throws IoError.
    void truncate(uint64_t size);
    void close();  // flushes; throws IoError
    uint64_t written() const { return written_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    uint64_t written_ = 0;
    // The stream's buffer; 256 KiB keeps 34 open outputs well under 10 MiB.
    static constexpr std::size_t kWriteBufferSize = 256 * 1024;
    std::unique_ptr<char[]> buffer_;
};

// A block of `size` bytes inside `buffer` (grown as needed) that starts on a page boundary, for
// reading into: the kernel copies from the page cache into a misaligned buffer several times
// slower, and a heap block of a few hundred KiB is 16 bytes off a page.
uint8_t* pageAlignedBlock(std::vector<uint8_t>& buffer, std::size_t size);

// Up to `size` bytes from the input's current position: fewer only where it ends. Throws IoError.
std::vector<uint8_t> readUpTo(InputFile& input, std::size_t size);

// True when both paths name the same existing file (an output must never replace its input).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Whether writing output would replace one of the files a run reads (the same name, or another
// name of the same file). Every run that writes asks it of each output before creating it.
bool isRunInput(const std::filesystem::path& output,
                const std::vector<std::filesystem::path>& inputs);

}  // namespace kavrel
