#include "options/OptionParser.h"

#include <charconv>

namespace tvqtools {

bool ParseInt(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool ParseSize(std::string_view text, int maxSide, int& width, int& height) {
    const size_t x = text.find('x');
    return x != std::string_view::npos && ParseInt(text.substr(0, x), 1, maxSide, width) &&
           ParseInt(text.substr(x + 1), 1, maxSide, height);
}

OptionParser::ValueHandler Int(int low, int high, int& out) {
    return [low, high, &out](std::string_view v) { return ParseInt(v, low, high, out); };
}

void OptionParser::AddValue(std::string name, ValueHandler handler, std::string what) {
    values_.push_back({std::move(name), std::move(handler), std::move(what)});
}

void OptionParser::AddFlag(std::string name, std::function<void()> set) {
    flags_.push_back({std::move(name), std::move(set)});
}

const OptionParser::ValueOption* OptionParser::FindValue(std::string_view name) const {
    for (const ValueOption& o : values_) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}

const OptionParser::FlagOption* OptionParser::FindFlag(std::string_view name) const {
    for (const FlagOption& o : flags_) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}

bool OptionParser::Parse(int argc, char** argv, std::vector<std::string>& positionals,
                         std::string& error) const {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (const FlagOption* flag = FindFlag(arg)) {
            flag->set();
            continue;
        }
        const ValueOption* option = FindValue(arg);
        if (!option && !arg.starts_with("--")) {
            positionals.emplace_back(arg);
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing " + (option ? option->what : std::string("value")) + " for " +
                    std::string(arg);
            return false;
        }
        const std::string_view value = argv[++i];
        if (!option || !option->handler(value)) {
            error = "bad option " + std::string(arg) + " " + std::string(value);
            return false;
        }
    }
    return true;
}

}  // namespace tvqtools
