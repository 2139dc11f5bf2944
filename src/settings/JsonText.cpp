#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace qv {

namespace {

using Json = nlohmann::json;

// Builds the document like the library's own reader, but refuses to open a
// level beyond the limit and records failures instead of throwing them.
class LimitedReader : public nlohmann::detail::json_sax_dom_parser<Json> {
  public:
    explicit LimitedReader(Json& root) : json_sax_dom_parser(root, /*allow_exceptions_=*/false) {}

    bool start_object(std::size_t length) { return enter() && json_sax_dom_parser::start_object(length); }
    bool start_array(std::size_t length) { return enter() && json_sax_dom_parser::start_array(length); }
    bool end_object() {
        --depth_;
        return json_sax_dom_parser::end_object();
    }
    bool end_array() {
        --depth_;
        return json_sax_dom_parser::end_array();
    }

    template <class Exception>
    bool parse_error(std::size_t position, const std::string& lastToken, const Exception& ex) {
        failed_ = true;
        failurePosition_ = position;
        return json_sax_dom_parser::parse_error(position, lastToken, ex);
    }

    // The library tells its reader the position of parse errors only; the
    // place of a bracket that went too deep is found by counting again.
    bool tooDeep() const { return tooDeep_; }
    bool failed() const { return failed_; }
    size_t failurePosition() const { return failurePosition_; }

  private:
    bool enter() {
        if (++depth_ > kMaxJsonDepth) {
            tooDeep_ = true;
            return false;
        }
        return true;
    }

    int depth_ = 0;
    bool tooDeep_ = false;
    bool failed_ = false;
    size_t failurePosition_ = 0;
};

// The offset of the bracket that opens level kMaxJsonDepth + 1, found by
// the same count over the text (brackets inside strings do not count).
size_t deepBracketOffset(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth)
                return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return text.size();
}

}  // namespace

std::string jsonTextPlace(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lineStart = before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

bool parseJsonText(std::string_view text, Json& out, std::string* error, JsonTrailingText trailing) {
    out = Json();
    LimitedReader reader(out);
    const bool strict = trailing == JsonTrailingText::kRefused;
    const bool ok = Json::sax_parse(text.begin(), text.end(), &reader, Json::input_format_t::json, strict);
    if (ok && !reader.failed())
        return true;
    if (error) {
        if (reader.tooDeep()) {
            *error = "JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels at " +
                     jsonTextPlace(text, deepBracketOffset(text));
        } else {
            // The reader's position counts the character it stopped at (or
            // the end of the text) as read: the place is the one before it.
            const size_t position = reader.failurePosition();
            *error = "invalid JSON at " + jsonTextPlace(text, position > 0 ? position - 1 : 0);
        }
    }
    out = Json();
    return false;
}

}  // namespace qv
