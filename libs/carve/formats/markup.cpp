// XML and HTML: text from their opening declaration to the last '>' of the run of text (with the
// line break after it). An XML file whose root is an SVG drawing is named so.

#include "libs/carve/formats/text.h"

namespace tarn {

namespace {

constexpr std::uint64_t shortest = 32;

carve_found_s measure_markup(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const text_run_s run = text_run(in, start, start + limit);
    if (run.end < start + shortest)
        return 0;
    const std::uint64_t end = markup_end(in, start, run);
    return end >= start + shortest ? end - start : 0;
}

const char* name_xml(carve_reader_c& in, std::uint64_t start, std::uint64_t size)
{
    const std::uint64_t stop = start + std::min<std::uint64_t>(size, 4096);
    return in.find(start, stop, "<svg") != stop ? "svg" : nullptr;
}

} // namespace

const carve_format_s carve_xml{"xml", {"<?xml ", "\xEF\xBB\xBF<?xml "}, 64ull << 20, measure_markup, name_xml};
const carve_format_s carve_html{"html",
                                {"<!DOCTYPE html", "<!DOCTYPE HTML", "<!doctype html", "<html", "<HTML",
                                 "\xEF\xBB\xBF<!DOCTYPE htm"},
                                64ull << 20,
                                measure_markup};

} // namespace tarn
