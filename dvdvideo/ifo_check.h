#pragma once
// A look at an IFO file's own header before libdvdread reads it: libdvdread trusts the table
// addresses there, and some of its error paths free a table twice when one points at the
// file's end. A table address that leaves no room for its table is damage found here first.
#include <cstdint>
#include <span>
#include <string>

namespace kavrel::dvdvideo {

// Empty when every table the header names lies inside the file (whole 2048-byte sectors, the
// table's own length, last_byte, inside too), else what is wrong. `vmg`: VIDEO_TS.IFO, else a
// title set's VTS_nn_0.IFO.
std::string ifoDamage(std::span<const uint8_t> ifo, bool vmg);

}  // namespace kavrel::dvdvideo
