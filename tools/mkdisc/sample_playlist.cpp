#include "tools/mkdisc/sample_playlist.h"

namespace kavrel::mkdisc {

std::string samplePlaylist() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Playlist displayName=\"Sample\">\n"
           "</Playlist>\n";
}

}  // namespace kavrel::mkdisc
