#pragma once
// The table of sample aspect ratios that H.264 (aspect_ratio_idc) and VC-1 (ASPECT_RATIO) share:
// codes 1-13 mean the same in both; H.264 adds 14-16, where VC-1 has a reserved code and the
// explicit escape. Code 0 is unspecified.
#include <array>

namespace kavrel::analysers {

struct SampleAspect {
    int width;
    int height;
};

inline constexpr std::array<SampleAspect, 17> kSampleAspects = {{{0, 0},
                                                                 {1, 1},
                                                                 {12, 11},
                                                                 {10, 11},
                                                                 {16, 11},
                                                                 {40, 33},
                                                                 {24, 11},
                                                                 {20, 11},
                                                                 {32, 11},
                                                                 {80, 33},
                                                                 {18, 11},
                                                                 {15, 11},
                                                                 {64, 33},
                                                                 {160, 99},
                                                                 {4, 3},
                                                                 {3, 2},
                                                                 {2, 1}}};

// The last code whose ratio VC-1 takes from the table.
inline constexpr int kLastVc1SampleAspectCode = 13;

}  // namespace kavrel::analysers
