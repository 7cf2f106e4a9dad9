#pragma once
// Track languages as Matroska writes them: the ISO 639-2 (bibliographic) code that mkvmerge
// takes with --language, from the two-letter ISO 639-1 codes an HD DVD playlist uses.
#include <string>
#include <string_view>

namespace kavrel::mux {

struct Language {
    std::string code;  // ISO 639-2/B: "eng", "ger"; "und" when unknown
    std::string name;  // English name: "German"; empty when unknown
};

// The language of a playlist code: a two-letter ISO 639-1 code ("de", also the withdrawn "iw",
// "in", "ji"), a three-letter ISO 639-2 code in its bibliographic or terminology form ("ger",
// "deu"), any case, with the region or variant after "-", "_" or ":" ignored ("en:00",
// "pt-BR"). Anything else is "und".
Language matroskaLanguage(std::string_view code);

}  // namespace kavrel::mux
