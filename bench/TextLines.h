// Generated lyrics text for the conversion benchmarks.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

namespace zvek::bench {

// Typical lyrics lines: kana and kanji, some ASCII, blanks and full-width
// spaces at the ends, an empty line now and then, an occasional list.
inline std::vector<std::string> TextLines(std::size_t count) {
    static const std::string samples[] = {
        "\x92\xa9\x82\xcc\x91\x8b\x82\xf0\x82\xa0\x82\xaf\x82\xc4",
        "\x81\x40\x82\xd0\x82\xa9\x82\xe8\x82\xaa\x95\x94\x89\xae\x82\xc9\x82\xb1\x82\xbc\x82\xea\x82\xe9\x81\x40",
        "",
        "  Walking down the morning street  ",
        "\"one\", \"two\"",
    };
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) lines.push_back(samples[i % std::size(samples)]);
    return lines;
}

}  // namespace zvek::bench
