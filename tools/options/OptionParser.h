#pragma once
// The command-line walk the tools share: options that take a value ("--fps 25", "-o DIR"),
// options without one ("--progress"), and everything else as positional arguments. Each tool
// keeps its own option names, checks and usage text.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvqtools {

// Reads a whole decimal number in [low, high]; `out` is left alone when it does not fit.
bool ParseInt(std::string_view text, int low, int high, int& out);
// Reads "WxH" with each side in [1, maxSide].
bool ParseSize(std::string_view text, int maxSide, int& width, int& height);

class OptionParser {
public:
    // Accepts the value given after `name`, or refuses it by returning false.
    using ValueHandler = std::function<bool(std::string_view value)>;

    // `what` names the value in the message of a command line that ends before it.
    void AddValue(std::string name, ValueHandler handler, std::string what = "value");
    void AddFlag(std::string name, std::function<void()> set);

    // Walks argv[1..]. An unknown "--name" is taken with its value and refused, so that a
    // misspelt option is reported rather than read as a file. On a bad command line returns
    // false with a one-line reason in `error`.
    bool Parse(int argc, char** argv, std::vector<std::string>& positionals,
               std::string& error) const;

private:
    struct ValueOption {
        std::string name;
        ValueHandler handler;
        std::string what;
    };
    struct FlagOption {
        std::string name;
        std::function<void()> set;
    };

    const ValueOption* FindValue(std::string_view name) const;
    const FlagOption* FindFlag(std::string_view name) const;

    std::vector<ValueOption> values_;
    std::vector<FlagOption> flags_;
};

// A handler that reads a whole number in [low, high] into `out`.
OptionParser::ValueHandler Int(int low, int high, int& out);

// A handler that accepts one of two words, setting `out` to the matching value.
template <typename T>
OptionParser::ValueHandler Choice(std::string_view a, T valueA, std::string_view b, T valueB,
                                  T& out) {
    return [=, &out](std::string_view v) {
        if (v != a && v != b)
            return false;
        out = v == a ? valueA : valueB;
        return true;
    };
}

}  // namespace tvqtools
