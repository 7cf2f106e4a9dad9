#include "mux/languages.h"

#include <algorithm>
#include <array>

namespace kavrel::mux {

namespace {

struct LanguageRow {
    const char* iso1;  // ISO 639-1
    const char* iso2;  // ISO 639-2/B
    const char* name;
};

// Every ISO 639-1 code with its ISO 639-2 bibliographic code and English name, sorted by the
// ISO 639-1 code.
constexpr LanguageRow kLanguages[] = {
    {"aa", "aar", "Afar"},
    {"ab", "abk", "Abkhazian"},
    {"ae", "ave", "Avestan"},
    {"af", "afr", "Afrikaans"},
    {"ak", "aka", "Akan"},
    {"am", "amh", "Amharic"},
    {"an", "arg", "Aragonese"},
    {"ar", "ara", "Arabic"},
    {"as", "asm", "Assamese"},
    {"av", "ava", "Avaric"},
    {"ay", "aym", "Aymara"},
    {"az", "aze", "Azerbaijani"},
    {"ba", "bak", "Bashkir"},
    {"be", "bel", "Belarusian"},
    {"bg", "bul", "Bulgarian"},
    {"bh", "bih", "Bihari languages"},
    {"bi", "bis", "Bislama"},
    {"bm", "bam", "Bambara"},
    {"bn", "ben", "Bengali"},
    {"bo", "tib", "Tibetan"},
    {"br", "bre", "Breton"},
    {"bs", "bos", "Bosnian"},
    {"ca", "cat", "Catalan"},
    {"ce", "che", "Chechen"},
    {"ch", "cha", "Chamorro"},
    {"co", "cos", "Corsican"},
    {"cr", "cre", "Cree"},
    {"cs", "cze", "Czech"},
    {"cu", "chu", "Church Slavic"},
    {"cv", "chv", "Chuvash"},
    {"cy", "wel", "Welsh"},
    {"da", "dan", "Danish"},
    {"de", "ger", "German"},
    {"dv", "div", "Dhivehi"},
    {"dz", "dzo", "Dzongkha"},
    {"ee", "ewe", "Ewe"},
    {"el", "gre", "Greek"},
    {"en", "eng", "English"},
    {"eo", "epo", "Esperanto"},
    {"es", "spa", "Spanish"},
    {"et", "est", "Estonian"},
    {"eu", "baq", "Basque"},
    {"fa", "per", "Persian"},
    {"ff", "ful", "Fulah"},
    {"fi", "fin", "Finnish"},
    {"fj", "fij", "Fijian"},
    {"fo", "fao", "Faroese"},
    {"fr", "fre", "French"},
    {"fy", "fry", "Western Frisian"},
    {"ga", "gle", "Irish"},
    {"gd", "gla", "Scottish Gaelic"},
    {"gl", "glg", "Galician"},
    {"gn", "grn", "Guarani"},
    {"gu", "guj", "Gujarati"},
    {"gv", "glv", "Manx"},
    {"ha", "hau", "Hausa"},
    {"he", "heb", "Hebrew"},
    {"hi", "hin", "Hindi"},
    {"ho", "hmo", "Hiri Motu"},
    {"hr", "hrv", "Croatian"},
    {"ht", "hat", "Haitian"},
    {"hu", "hun", "Hungarian"},
    {"hy", "arm", "Armenian"},
    {"hz", "her", "Herero"},
    {"ia", "ina", "Interlingua"},
    {"id", "ind", "Indonesian"},
    {"ie", "ile", "Interlingue"},
    {"ig", "ibo", "Igbo"},
    {"ii", "iii", "Sichuan Yi"},
    {"ik", "ipk", "Inupiaq"},
    {"io", "ido", "Ido"},
    {"is", "ice", "Icelandic"},
    {"it", "ita", "Italian"},
    {"iu", "iku", "Inuktitut"},
    {"ja", "jpn", "Japanese"},
    {"jv", "jav", "Javanese"},
    {"ka", "geo", "Georgian"},
    {"kg", "kon", "Kongo"},
    {"ki", "kik", "Kikuyu"},
    {"kj", "kua", "Kuanyama"},
    {"kk", "kaz", "Kazakh"},
    {"kl", "kal", "Kalaallisut"},
    {"km", "khm", "Khmer"},
    {"kn", "kan", "Kannada"},
    {"ko", "kor", "Korean"},
    {"kr", "kau", "Kanuri"},
    {"ks", "kas", "Kashmiri"},
    {"ku", "kur", "Kurdish"},
    {"kv", "kom", "Komi"},
    {"kw", "cor", "Cornish"},
    {"ky", "kir", "Kirghiz"},
    {"la", "lat", "Latin"},
    {"lb", "ltz", "Luxembourgish"},
    {"lg", "lug", "Ganda"},
    {"li", "lim", "Limburgan"},
    {"ln", "lin", "Lingala"},
    {"lo", "lao", "Lao"},
    {"lt", "lit", "Lithuanian"},
    {"lu", "lub", "Luba-Katanga"},
    {"lv", "lav", "Latvian"},
    {"mg", "mlg", "Malagasy"},
    {"mh", "mah", "Marshallese"},
    {"mi", "mao", "Maori"},
    {"mk", "mac", "Macedonian"},
    {"ml", "mal", "Malayalam"},
    {"mn", "mon", "Mongolian"},
    {"mr", "mar", "Marathi"},
    {"ms", "may", "Malay"},
    {"mt", "mlt", "Maltese"},
    {"my", "bur", "Burmese"},
    {"na", "nau", "Nauru"},
    {"nb", "nob", "Norwegian Bokmål"},
    {"nd", "nde", "North Ndebele"},
    {"ne", "nep", "Nepali"},
    {"ng", "ndo", "Ndonga"},
    {"nl", "dut", "Dutch"},
    {"nn", "nno", "Norwegian Nynorsk"},
    {"no", "nor", "Norwegian"},
    {"nr", "nbl", "South Ndebele"},
    {"nv", "nav", "Navajo"},
    {"ny", "nya", "Nyanja"},
    {"oc", "oci", "Occitan"},
    {"oj", "oji", "Ojibwa"},
    {"om", "orm", "Oromo"},
    {"or", "ori", "Oriya"},
    {"os", "oss", "Ossetian"},
    {"pa", "pan", "Panjabi"},
    {"pi", "pli", "Pali"},
    {"pl", "pol", "Polish"},
    {"ps", "pus", "Pushto"},
    {"pt", "por", "Portuguese"},
    {"qu", "que", "Quechua"},
    {"rm", "roh", "Romansh"},
    {"rn", "run", "Rundi"},
    {"ro", "rum", "Romanian"},
    {"ru", "rus", "Russian"},
    {"rw", "kin", "Kinyarwanda"},
    {"sa", "san", "Sanskrit"},
    {"sc", "srd", "Sardinian"},
    {"sd", "snd", "Sindhi"},
    {"se", "sme", "Northern Sami"},
    {"sg", "sag", "Sango"},
    {"si", "sin", "Sinhala"},
    {"sk", "slo", "Slovak"},
    {"sl", "slv", "Slovenian"},
    {"sm", "smo", "Samoan"},
    {"sn", "sna", "Shona"},
    {"so", "som", "Somali"},
    {"sq", "alb", "Albanian"},
    {"sr", "srp", "Serbian"},
    {"ss", "ssw", "Swati"},
    {"st", "sot", "Southern Sotho"},
    {"su", "sun", "Sundanese"},
    {"sv", "swe", "Swedish"},
    {"sw", "swa", "Swahili"},
    {"ta", "tam", "Tamil"},
    {"te", "tel", "Telugu"},
    {"tg", "tgk", "Tajik"},
    {"th", "tha", "Thai"},
    {"ti", "tir", "Tigrinya"},
    {"tk", "tuk", "Turkmen"},
    {"tl", "tgl", "Tagalog"},
    {"tn", "tsn", "Tswana"},
    {"to", "ton", "Tonga (Tonga Islands)"},
    {"tr", "tur", "Turkish"},
    {"ts", "tso", "Tsonga"},
    {"tt", "tat", "Tatar"},
    {"tw", "twi", "Twi"},
    {"ty", "tah", "Tahitian"},
    {"ug", "uig", "Uighur"},
    {"uk", "ukr", "Ukrainian"},
    {"ur", "urd", "Urdu"},
    {"uz", "uzb", "Uzbek"},
    {"ve", "ven", "Venda"},
    {"vi", "vie", "Vietnamese"},
    {"vo", "vol", "Volapük"},
    {"wa", "wln", "Walloon"},
    {"wo", "wol", "Wolof"},
    {"xh", "xho", "Xhosa"},
    {"yi", "yid", "Yiddish"},
    {"yo", "yor", "Yoruba"},
    {"za", "zha", "Zhuang"},
    {"zh", "chi", "Chinese"},
    {"zu", "zul", "Zulu"},
};

// Codes of ISO 639-1 that were withdrawn but still turn up on discs.
constexpr std::array<std::pair<const char*, const char*>, 3> kWithdrawn = {{
    {"in", "id"},
    {"iw", "he"},
    {"ji", "yi"},
}};

// The ISO 639-2 terminology codes that differ from the bibliographic ones mkvmerge lists.
constexpr std::array<std::pair<const char*, const char*>, 20> kTerminology = {{
    {"bod", "tib"}, {"ces", "cze"}, {"cym", "wel"}, {"deu", "ger"}, {"ell", "gre"},
    {"eus", "baq"}, {"fas", "per"}, {"fra", "fre"}, {"hye", "arm"}, {"isl", "ice"},
    {"kat", "geo"}, {"mkd", "mac"}, {"mri", "mao"}, {"msa", "may"}, {"mya", "bur"},
    {"nld", "dut"}, {"ron", "rum"}, {"slk", "slo"}, {"sqi", "alb"}, {"zho", "chi"},
}};

Language known(const LanguageRow& row) {
    return {row.iso2, row.name};
}

}  // namespace

Language matroskaLanguage(std::string_view code) {
    // The language part only: "en:00", "pt-BR", "zh_TW".
    code = code.substr(0, std::min(code.find_first_of("-_:"), code.size()));
    std::string lower;
    for (char c : code) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c < 'a' || c > 'z') return {"und", ""};
        lower += c;
    }
    if (lower.size() == 2) {
        for (const auto& [old, now] : kWithdrawn)
            if (lower == old) lower = now;
        const auto* end = std::end(kLanguages);
        const auto* row = std::lower_bound(std::begin(kLanguages), end, lower,
                                           [](const LanguageRow& r, const std::string& key) {
                                               return std::string_view(r.iso1) < key;
                                           });
        if (row != end && lower == row->iso1) return known(*row);
    } else if (lower.size() == 3) {
        for (const auto& [terminology, bibliographic] : kTerminology)
            if (lower == terminology) lower = bibliographic;
        for (const LanguageRow& row : kLanguages)
            if (lower == row.iso2) return known(row);
    }
    return {"und", ""};
}

}  // namespace kavrel::mux
