#pragma once
// A small writer of JSON text: objects, arrays, strings, numbers, booleans and null, with the
// commas between members placed for the caller.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrel::formats {

class JsonWriter {
  public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);  // the next value is this member's

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(int64_t number);
    JsonWriter& value(int number) { return value(int64_t{number}); }
    JsonWriter& value(uint32_t number) { return value(int64_t{number}); }
    JsonWriter& value(double number);  // NaN and infinities become null
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out_; }
    // Hands over the text written so far and goes on from there, so that a long document can
    // be printed piece by piece instead of whole.
    std::string take() { return std::exchange(out_, std::string()); }

  private:
    void separate();

    std::string out_;
    std::vector<bool> first_;  // per open container: no member written yet
    bool afterKey_ = false;
};

// The text as a JSON string literal with its quotes. Control characters are escaped; valid UTF-8
// passes through; bytes that are not valid UTF-8 (a file name in another encoding) become
// U+FFFD so the document stays valid.
std::string jsonString(std::string_view text);

}  // namespace kavrel::formats
