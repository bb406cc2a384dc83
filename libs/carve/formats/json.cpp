// JSON: an object or array parsed to its closing bracket (strings with their escapes, numbers,
// literals, nesting at most 256 deep), with the line break after it. The end is the structure's.

#include "libs/carve/formats/text.h"

#include <cctype>
#include <string_view>

namespace tarn {

namespace {

constexpr int deepest = 256;
// Smaller objects and arrays are everywhere in other data and in no file worth recovering.
constexpr std::uint64_t shortest = 32;

class json_parser_c {
public:
    json_parser_c(carve_reader_c& in, std::uint64_t at, std::uint64_t stop) : c_(in, at, stop) {}
    std::uint64_t at() const { return c_.at(); }
    byte_cursor_c& cursor() { return c_; }

    bool value(int depth)
    {
        space();
        const int c = c_.peek();
        if (c == '{' || c == '[')
            return depth < deepest && container(depth + 1);
        if (c == '"')
            return string();
        if (c == '-' || (c >= '0' && c <= '9'))
            return number();
        return literal("true") || literal("false") || literal("null");
    }

    void space()
    {
        for (int c = c_.peek(); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = c_.peek())
            c_.next();
    }

private:
    bool container(int depth)
    {
        const bool object = c_.next() == '{';
        const int close = object ? '}' : ']';
        space();
        if (c_.peek() == close) {
            c_.next();
            return true;
        }
        while (true) {
            if (object) {
                space();
                if (c_.peek() != '"' || !string())
                    return false;
                space();
                if (c_.next() != ':')
                    return false;
            }
            if (!value(depth))
                return false;
            space();
            const int c = c_.next();
            if (c == close)
                return true;
            if (c != ',')
                return false;
        }
    }

    bool string()
    {
        c_.next();
        for (int c = c_.next();; c = c_.next()) {
            if (c < 0x20)
                return false;
            if (c == '"')
                return true;
            if (c != '\\')
                continue;
            c = c_.next();
            if (c == 'u') {
                for (int i = 0; i < 4; ++i)
                    if (!std::isxdigit(c_.next()))
                        return false;
            } else if (std::string_view("\"\\/bfnrt").find(static_cast<char>(c)) == std::string_view::npos || c < 0) {
                return false;
            }
        }
    }

    bool digits()
    {
        bool any = false;
        for (int c = c_.peek(); c >= '0' && c <= '9'; c = c_.peek(), any = true)
            c_.next();
        return any;
    }

    bool number()
    {
        if (c_.peek() == '-')
            c_.next();
        if (c_.peek() == '0')
            c_.next();
        else if (!digits())
            return false;
        if (c_.peek() == '.' && (c_.next(), !digits()))
            return false;
        if (c_.peek() == 'e' || c_.peek() == 'E') {
            c_.next();
            if (c_.peek() == '+' || c_.peek() == '-')
                c_.next();
            return digits();
        }
        return true;
    }

    bool literal(std::string_view word)
    {
        if (c_.peek() != word[0])
            return false;
        for (const char w : word)
            if (c_.next() != w)
                return false;
        return true;
    }

    byte_cursor_c c_;
};

carve_found_s measure_json(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    json_parser_c parser(in, start, start + limit);
    if (!parser.value(0))
        return 0;
    byte_cursor_c& c = parser.cursor();
    if (c.peek() == '\r')
        c.next();
    if (c.peek() == '\n')
        c.next();
    const std::uint64_t size = with_copies(in, start, parser.at() - start, start + limit);
    return size >= shortest ? size : 0;
}

} // namespace

// An object or array and the first character inside it: a key, a nested value or white space.
const carve_format_s carve_json{"json", {"{\"", "{\n", "{\r\n", "[{", "[\n", "[\r\n", "[\""}, 64ull << 20, measure_json};

} // namespace tarn
