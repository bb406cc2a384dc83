// XML and HTML: text from their opening declaration to the tag that closes the root element (the
// first element's name for XML, "html" for HTML), with the line break after it; the last such tag
// in the run of text counts. Bytes after a file that happen to be text do not stretch it, and a
// file without its closing tag is given up. An XML file whose root is an SVG drawing is named so.

#include "libs/carve/formats/text.h"

#include <array>
#include <cctype>
#include <string>

namespace tarn {

namespace {

constexpr std::uint64_t shortest = 32;
constexpr std::size_t longest_name = 64;
constexpr std::size_t longest_pattern = 16; // what the reader's search takes

// Past the last whole occurrence of text (any length) between from and to; 0 when none.
std::uint64_t past_last(carve_reader_c& in, std::uint64_t from, std::uint64_t to, std::string_view text)
{
    const std::string_view head = text.substr(0, std::min(text.size(), longest_pattern));
    std::array<char, longest_name + 4> rest{};
    std::uint64_t last = 0;
    for (std::uint64_t at = from; (at = in.find(at, to, head)) != to; ++at) {
        const std::size_t more = text.size() - head.size();
        if (at + text.size() <= to
            && (more == 0 || (in.read(at + head.size(), std::as_writable_bytes(std::span<char>(rest.data(), more)))
                              && std::string_view(rest.data(), more) == text.substr(head.size()))))
            last = at + text.size();
    }
    return last;
}

// The closing tag's end with the line break after it, as the file's size; 0 when there is none.
carve_found_s closed_by(carve_reader_c& in, std::uint64_t start, const text_run_s& run, std::string_view tag)
{
    std::uint64_t end = past_last(in, start, run.end, tag);
    if (end == 0 || end < start + shortest)
        return 0;
    if (end < run.end && in.byte_at(end) == '\r')
        ++end;
    if (end < run.end && in.byte_at(end) == '\n')
        ++end;
    return end - start;
}

// The name of the first element after the prolog (declaration, comments, document type); empty
// when there is none within the first 4 KiB.
std::string root_name(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    byte_cursor_c c(in, start, std::min(stop, start + 4096));
    for (int c0 = c.next(); c0 >= 0; c0 = c.next()) {
        if (c0 != '<')
            continue;
        const int first = c.peek();
        if (first == '?' || first == '!')
            continue;
        std::string name;
        for (int ch = c.next(); ch >= 0 && name.size() <= longest_name; ch = c.next()) {
            if (!(std::isalnum(ch) || ch == '_' || ch == '-' || ch == '.' || ch == ':'))
                return ch == '>' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' ? name : std::string();
            name += static_cast<char>(ch);
        }
        return {};
    }
    return {};
}

carve_found_s measure_xml(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const text_run_s run = text_run(in, start, start + limit);
    const std::string name = root_name(in, start, run.end);
    return name.empty() ? carve_found_s{} : closed_by(in, start, run, "</" + name + ">");
}

carve_found_s measure_html(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const text_run_s run = text_run(in, start, start + limit);
    const carve_found_s lower = closed_by(in, start, run, "</html>");
    return lower.size != 0 ? lower : closed_by(in, start, run, "</HTML>");
}

const char* name_xml(carve_reader_c& in, std::uint64_t start, std::uint64_t size)
{
    return root_name(in, start, start + size) == "svg" ? "svg" : nullptr;
}

} // namespace

const carve_format_s carve_xml{"xml", {"<?xml ", "\xEF\xBB\xBF<?xml "}, 64ull << 20, measure_xml, name_xml};
const carve_format_s carve_html{"html",
                                {"<!DOCTYPE html", "<!DOCTYPE HTML", "<!doctype html", "<html", "<HTML",
                                 "\xEF\xBB\xBF<!DOCTYPE htm"},
                                64ull << 20,
                                measure_html};

} // namespace tarn
