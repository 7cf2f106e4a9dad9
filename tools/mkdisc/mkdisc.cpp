#include "tools/mkdisc/mkdisc.h"

#include <stdexcept>

namespace kavrel::mkdisc {

Layout writeSampleDisc(const std::filesystem::path&, const Options&) {
    throw std::runtime_error("the sample-disc generator is not written yet");
}

}  // namespace kavrel::mkdisc
