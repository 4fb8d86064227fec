#include "simdriver/core/SimCommands.h"

#include <functional>
#include <limits>
#include <map>

#include "simdriver/core/StateJson.h"

namespace simdriver {
namespace {

using nlohmann::json;

struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <typename T>
T Field(const json& command, const char* name) {
    if (!command.contains(name)) throw CommandError(std::string("missing \"") + name + "\"");
    const json& value = command.at(name);
    if constexpr (std::is_same_v<T, std::string>) {
        if (!value.is_string()) throw CommandError(std::string("\"") + name + "\" must be text");
        return value.get<std::string>();
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!value.is_boolean())
            throw CommandError(std::string("\"") + name + "\" must be true or false");
        return value.get<bool>();
    } else {
        if (!value.is_number_integer())
            throw CommandError(std::string("\"") + name + "\" must be an integer");
        auto number = value.get<std::int64_t>();
        if (number < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
            number > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
            throw CommandError(std::string("\"") + name + "\" is out of range");
        return static_cast<T>(number);
    }
}

template <typename T>
T Field(const json& command, const char* name, T fallback) {
    return command.contains(name) ? Field<T>(command, name) : fallback;
}

json Plug(SimDriverCore& core, const json& c) {
    PlugOptions options;
    options.serial = Field<std::string>(c, "serial", "");
    options.name = Field<std::string>(c, "name", "");
    options.inputs = Field<int>(c, "inputs", options.inputs);
    options.outputs = Field<int>(c, "outputs", options.outputs);
    options.sources = Field<int>(c, "sources", options.sources);
    std::string serial, error;
    if (!core.Plug(options, &serial, &error)) throw CommandError(error);
    const SimDevice* device = nullptr;
    for (const SimDevice& d : core.State().devices)
        if (d.serial == serial) device = &d;
    return {{"serial", serial}, {"id", device ? device->id : 0}};
}

json Unplug(SimDriverCore& core, const json& c) {
    std::string error;
    if (!core.Unplug(Field<std::string>(c, "serial"), &error)) throw CommandError(error);
    return nullptr;
}

json Fail(SimDriverCore& core, const json& c) {
    if (Field<bool>(c, "clear", false)) {
        core.ClearFaults();
        return nullptr;
    }
    core.Fail(Field<std::uint32_t>(c, "code"), Field<std::uint32_t>(c, "status"),
              Field<std::uint32_t>(c, "count", 1));
    return nullptr;
}

json Answer(SimDriverCore& core, const json& c) {
    std::vector<std::uint8_t> bytes;
    if (!FromHex(Field<std::string>(c, "hex"), &bytes))
        throw CommandError("\"hex\" must be an even number of hex digits");
    core.Answer(Field<std::uint32_t>(c, "code"), std::move(bytes),
                Field<std::uint32_t>(c, "count", 1));
    return nullptr;
}

json Version(SimDriverCore& core, const json& c) {
    core.SetVersion(Field<std::uint8_t>(c, "major"), Field<std::uint8_t>(c, "minor"));
    if (c.contains("driver_major")) {
        core.SetDriverVersion(Field<std::uint8_t>(c, "driver_major"),
                              Field<std::uint8_t>(c, "driver_minor"),
                              Field<std::uint32_t>(c, "driver_build"));
    }
    return nullptr;
}

json Log(SimDriverCore& core, const json& c) {
    json log = LogToJson(core.Log());
    if (Field<bool>(c, "clear", false)) core.ClearLog();
    return log;
}

using Handler = std::function<json(SimDriverCore&, const json&)>;

const std::map<std::string, Handler>& Commands() {
    static const std::map<std::string, Handler> commands{
        {"plug", Plug},
        {"unplug", Unplug},
        {"stream",
         [](SimDriverCore& core, const json& c) {
             core.SetStreaming(Field<bool>(c, "on"));
             return json(nullptr);
         }},
        {"notify",
         [](SimDriverCore& core, const json& c) {
             core.Notify(Field<std::int32_t>(c, "code"));
             return json(nullptr);
         }},
        {"fail", Fail},
        {"answer", Answer},
        {"delay",
         [](SimDriverCore& core, const json& c) {
             core.Delay(Field<std::uint32_t>(c, "code"), Field<std::uint32_t>(c, "ms"),
                        Field<std::uint32_t>(c, "count", 1));
             return json(nullptr);
         }},
        {"version", Version},
        {"dropouts",
         [](SimDriverCore& core, const json& c) {
             core.SetDropouts(Field<std::uint32_t>(c, "count"));
             return json(nullptr);
         }},
        {"dump", [](SimDriverCore& core, const json&) { return StateToJson(core.State()); }},
        {"log", Log},
    };
    return commands;
}

}  // namespace

json ExecuteCommand(SimDriverCore& core, const json& command, bool* quit) {
    try {
        if (!command.is_object()) throw CommandError("a command is a JSON object");
        std::string name = Field<std::string>(command, "command");
        if (name == "quit") {
            if (quit) *quit = true;
            return {{"ok", true}, {"result", nullptr}};
        }
        auto it = Commands().find(name);
        if (it == Commands().end()) throw CommandError("unknown command \"" + name + "\"");
        return {{"ok", true}, {"result", it->second(core, command)}};
    } catch (const std::exception& e) {
        return {{"ok", false}, {"error", e.what()}};
    }
}

json LogToJson(const std::deque<LogEntry>& log) {
    json list = json::array();
    for (const LogEntry& entry : log)
        list.push_back(
            {{"connection", entry.connection}, {"code", entry.code}, {"status", entry.status}});
    return list;
}

}  // namespace simdriver
