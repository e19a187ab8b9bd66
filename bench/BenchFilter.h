#pragma once

#include <regex>
#include <string>
#include <string_view>
#include <vector>

// Whether a --benchmark_filter among the arguments can select any of `names`, so a program whose
// set-up is costly (a 2.6-million-row database, a desktop with browsers) skips it when a short
// filtered run picks none of its benchmarks. Without a filter, or with one it cannot judge, yes.
inline bool BenchFilterSelectsAny(int argc, char** argv, const std::vector<std::string>& names)
{
    constexpr std::string_view option = "--benchmark_filter=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.substr(0, option.size()) != option)
            continue;
        const std::string filter(argument.substr(option.size()));
        if (filter.empty() || filter == "all" || filter.front() == '-')
            return true;
        try {
            const std::regex pattern(filter);
            for (const std::string& name : names) {
                if (std::regex_search(name, pattern))
                    return true;
            }
            return false;
        } catch (const std::regex_error&) {
            return true;
        }
    }
    return true;
}
