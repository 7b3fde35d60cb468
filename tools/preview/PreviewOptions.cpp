// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/preview/PreviewOptions.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace kalvio::preview {

const char* const kPreviewUsage =
    "usage: kalvio-preview --old OLD.jpg --new NEW.jpg --style N --progress P [--step S] [--seed K] --out OUT.png\n"
    "       kalvio-preview --old OLD.jpg --new NEW.jpg --sheet OUT.png [--step S] [--seed K]\n";

namespace {

template <typename T>
std::optional<T> ParseNumber(const std::string& text)
{
    T value {};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

}

std::variant<PreviewOptions, std::string> ParsePreviewOptions(const std::vector<std::string>& args)
{
    static const char* const known[] = { "--old", "--new", "--style", "--progress", "--step", "--seed", "--out", "--sheet" };
    std::map<std::string, std::string> given;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            return "unknown argument \"" + name + "\"";
        if (i + 1 >= args.size())
            return name + " needs a value";
        if (!given.emplace(name, args[++i]).second)
            return name + " given twice";
    }
    auto has = [&](const char* name) { return given.count(name) != 0; };

    PreviewOptions o;
    for (const char* required : { "--old", "--new" })
        if (!has(required))
            return std::string(required) + " is missing";
    o.oldPath = given["--old"];
    o.newPath = given["--new"];

    o.sheet = has("--sheet");
    if (o.sheet) {
        for (const char* single : { "--out", "--style", "--progress" })
            if (has(single))
                return std::string(single) + " cannot be used with --sheet";
        o.outPath = given["--sheet"];
    } else {
        for (const char* required : { "--style", "--progress", "--out" })
            if (!has(required))
                return std::string(required) + " is missing (or use --sheet)";
        o.outPath = given["--out"];
        auto style = ParseNumber<int>(given["--style"]);
        if (!style || *style < 0 || *style > 117)
            return "--style must be a whole number from 0 to 117, not \"" + given["--style"] + "\"";
        auto progress = ParseNumber<int>(given["--progress"]);
        if (!progress || *progress < 0 || *progress > 100)
            return "--progress must be a whole number from 0 to 100, not \"" + given["--progress"] + "\"";
        o.style = *style;
        o.progress = *progress;
    }
    if (o.outPath.empty())
        return "the output file name is empty";
    if (has("--step")) {
        auto step = ParseNumber<int>(given["--step"]);
        if (!step || *step < 1 || *step > 100)
            return "--step must be a whole number from 1 to 100, not \"" + given["--step"] + "\"";
        o.step = *step;
    }
    if (has("--seed")) {
        auto seed = ParseNumber<uint64_t>(given["--seed"]);
        if (!seed)
            return "--seed must be a whole number from 0 to 18446744073709551615, not \"" + given["--seed"] + "\"";
        o.seed = *seed;
    }
    return o;
}

}
