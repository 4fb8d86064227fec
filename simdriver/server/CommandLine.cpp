#include "simdriver/server/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace simdriver {

const char* const kUsage =
    "usage: zel-usb-simdriver COMMAND [ARGS]\n"
    "  serve [--state FILE]          run the substitute driver\n"
    "  plug [--serial S] [--name N] [--inputs N] [--outputs N] [--sources N]\n"
    "  unplug SERIAL\n"
    "  stream on|off\n"
    "  notify CODE\n"
    "  fail CODE STATUS [--count N]  fail the next N requests with CODE (0: until cleared)\n"
    "  fail --clear                  clear every injected failure, answer and delay\n"
    "  answer CODE HEX [--count N]   answer the next N requests with CODE with these bytes\n"
    "  delay CODE MS [--count N]     answer the next N requests with CODE MS late\n"
    "  version MAJOR MINOR [--driver MAJOR.MINOR.BUILD]\n"
    "  dropouts N\n"
    "  dump\n"
    "  log [--clear]\n"
    "  quit\n"
    "Codes and statuses are decimal or 0x-prefixed hex.\n";

namespace {

using nlohmann::json;
using Args = std::vector<std::string>;

constexpr long long kU32Max = 0xFFFFFFFFll;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

long long Number(const std::string& what, const std::string& text, long long minimum,
                 long long maximum) {
    long long value;
    if (!ParseNumber(text, minimum, maximum, &value))
        throw UsageError(what + " must be a number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not '" + text + "'");
    return value;
}

// Splits ARGS into positional arguments and --options; `options` lists the allowed ones
// (all take a value except those in `flags`).
std::map<std::string, std::string> Split(const Args& args, std::size_t first,
                                         const std::vector<std::string>& options,
                                         const std::vector<std::string>& flags, Args* positional) {
    std::map<std::string, std::string> values;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            positional->push_back(arg);
            continue;
        }
        if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            values[arg] = "";
        } else if (std::find(options.begin(), options.end(), arg) != options.end()) {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            values[arg] = args[++i];
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    return values;
}

void ExpectPositional(const Args& positional, std::size_t count, const std::string& shape) {
    if (positional.size() != count) throw UsageError("usage: zel-usb-simdriver " + shape);
}

void ParseControl(const std::string& name, const Args& args, json& c) {
    Args pos;
    if (name == "plug") {
        auto o =
            Split(args, 1, {"--serial", "--name", "--inputs", "--outputs", "--sources"}, {}, &pos);
        ExpectPositional(pos, 0,
                         "plug [--serial S] [--name N] [--inputs N] [--outputs N] [--sources N]");
        if (o.count("--serial")) c["serial"] = o["--serial"];
        if (o.count("--name")) c["name"] = o["--name"];
        for (const char* key : {"inputs", "outputs", "sources"})
            if (o.count(std::string("--") + key))
                c[key] = Number(std::string("--") + key, o[std::string("--") + key], 0, 256);
    } else if (name == "unplug") {
        Split(args, 1, {}, {}, &pos);
        ExpectPositional(pos, 1, "unplug SERIAL");
        c["serial"] = pos[0];
    } else if (name == "stream") {
        Split(args, 1, {}, {}, &pos);
        ExpectPositional(pos, 1, "stream on|off");
        if (pos[0] != "on" && pos[0] != "off")
            throw UsageError("usage: zel-usb-simdriver stream on|off");
        c["on"] = pos[0] == "on";
    } else if (name == "notify") {
        Split(args, 1, {}, {}, &pos);
        ExpectPositional(pos, 1, "notify CODE");
        // The event code is a signed word; hex gives its bit pattern.
        c["code"] = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(Number("CODE", pos[0], -2147483648ll, kU32Max)));
    } else if (name == "fail") {
        auto o = Split(args, 1, {"--count"}, {"--clear"}, &pos);
        if (o.count("--clear")) {
            ExpectPositional(pos, 0, "fail --clear");
            c["clear"] = true;
            return;
        }
        ExpectPositional(pos, 2, "fail CODE STATUS [--count N]");
        c["code"] = Number("CODE", pos[0], 0, kU32Max);
        c["status"] = Number("STATUS", pos[1], 0, kU32Max);
        if (o.count("--count")) c["count"] = Number("--count", o["--count"], 0, kU32Max);
    } else if (name == "answer") {
        auto o = Split(args, 1, {"--count"}, {}, &pos);
        ExpectPositional(pos, 2, "answer CODE HEX [--count N]");
        c["code"] = Number("CODE", pos[0], 0, kU32Max);
        c["hex"] = pos[1];
        if (o.count("--count")) c["count"] = Number("--count", o["--count"], 0, kU32Max);
    } else if (name == "delay") {
        auto o = Split(args, 1, {"--count"}, {}, &pos);
        ExpectPositional(pos, 2, "delay CODE MS [--count N]");
        c["code"] = Number("CODE", pos[0], 0, kU32Max);
        c["ms"] = Number("MS", pos[1], 0, 3600000);
        if (o.count("--count")) c["count"] = Number("--count", o["--count"], 0, kU32Max);
    } else if (name == "version") {
        auto o = Split(args, 1, {"--driver"}, {}, &pos);
        ExpectPositional(pos, 2, "version MAJOR MINOR [--driver MAJOR.MINOR.BUILD]");
        c["major"] = Number("MAJOR", pos[0], 0, 255);
        c["minor"] = Number("MINOR", pos[1], 0, 255);
        if (o.count("--driver")) {
            const std::string& text = o["--driver"];
            std::size_t dot1 = text.find('.'), dot2 = text.find('.', dot1 + 1);
            if (dot1 == std::string::npos || dot2 == std::string::npos)
                throw UsageError("--driver takes MAJOR.MINOR.BUILD");
            c["driver_major"] = Number("driver major", text.substr(0, dot1), 0, 255);
            c["driver_minor"] =
                Number("driver minor", text.substr(dot1 + 1, dot2 - dot1 - 1), 0, 255);
            c["driver_build"] = Number("driver build", text.substr(dot2 + 1), 0, kU32Max);
        }
    } else if (name == "dropouts") {
        Split(args, 1, {}, {}, &pos);
        ExpectPositional(pos, 1, "dropouts N");
        c["count"] = Number("N", pos[0], 0, kU32Max);
    } else if (name == "log") {
        auto o = Split(args, 1, {}, {"--clear"}, &pos);
        ExpectPositional(pos, 0, "log [--clear]");
        if (o.count("--clear")) c["clear"] = true;
    } else if (name == "dump" || name == "quit") {
        Split(args, 1, {}, {}, &pos);
        ExpectPositional(pos, 0, name);
    } else {
        throw UsageError("unknown command '" + name + "'");
    }
}

}  // namespace

bool ParseNumber(const std::string& text, long long minimum, long long maximum, long long* value) {
    if (text.empty()) return false;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    if (*begin == '+' || *begin == ' ' || (hex && *begin == '-')) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(begin, &end, hex ? 16 : 10);
    if (errno != 0 || end == begin || *end != '\0' || parsed < minimum || parsed > maximum)
        return false;
    *value = parsed;
    return true;
}

bool ParseCommandLine(const Args& args, ParsedCommandLine* parsed, std::string* error) {
    *parsed = ParsedCommandLine{};
    try {
        if (args.empty()) throw UsageError("no command given");
        const std::string& name = args[0];
        if (name == "help" || name == "--help" || name == "-h") {
            parsed->help = true;
        } else if (name == "serve") {
            Args pos;
            auto o = Split(args, 1, {"--state"}, {}, &pos);
            ExpectPositional(pos, 0, "serve [--state FILE]");
            parsed->serve = true;
            if (o.count("--state")) parsed->statePath = o["--state"];
        } else {
            parsed->command = json{{"command", name}};
            ParseControl(name, args, parsed->command);
        }
        return true;
    } catch (const UsageError& e) {
        if (error) *error = e.what();
        return false;
    }
}

}  // namespace simdriver
