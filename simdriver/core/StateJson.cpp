#include "simdriver/core/StateJson.h"

#include <limits>
#include <set>

namespace simdriver {
namespace {

using nlohmann::json;

constexpr int kFormat = 1;

// nlohmann converts -1 to 4294967295 without a word; a state file with such a value is
// damaged, not a huge number.
template <typename T>
T Unsigned(const json& value) {
    if (!value.is_number_integer())
        throw std::runtime_error("expected a whole number, found " + value.dump());
    auto number = value.get<std::int64_t>();
    if (!value.is_number_unsigned() && number < 0)
        throw std::runtime_error("expected an unsigned number, found " + value.dump());
    if (value.get<std::uint64_t>() > std::numeric_limits<T>::max())
        throw std::runtime_error("number out of range: " + value.dump());
    return static_cast<T>(value.get<std::uint64_t>());
}

json NameToJson(const std::string& name) {
    try {
        (void)json(name).dump();  // throws for text that is not UTF-8
        return name;
    } catch (const json::exception&) {
        return json{
            {"hex", ToHex(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())}};
    }
}

std::string NameFromJson(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    std::vector<std::uint8_t> bytes;
    if (!FromHex(value.at("hex").get<std::string>(), &bytes))
        throw std::runtime_error("a name's hex bytes are not hex");
    return std::string(bytes.begin(), bytes.end());
}

template <std::size_t N>
std::string HexOf(const std::array<std::uint8_t, N>& bytes) {
    return ToHex(bytes.data(), N);
}

template <std::size_t N>
std::array<std::uint8_t, N> ArrayFromHex(const json& value) {
    std::vector<std::uint8_t> bytes;
    if (!FromHex(value.get<std::string>(), &bytes) || bytes.size() != N)
        throw std::runtime_error("reserved bytes must be " + std::to_string(N) + " bytes of hex");
    std::array<std::uint8_t, N> result{};
    std::copy(bytes.begin(), bytes.end(), result.begin());
    return result;
}

json ChannelsToJson(const std::vector<SimChannel>& channels) {
    json list = json::array();
    for (const SimChannel& c : channels)
        list.push_back({{"id", c.id},
                        {"hardware_name", NameToJson(c.hardwareName)},
                        {"name", NameToJson(c.name)}});
    return list;
}

std::vector<SimChannel> ChannelsFromJson(const json& list) {
    std::vector<SimChannel> channels;
    for (const json& c : list)
        channels.push_back({Unsigned<std::uint32_t>(c.at("id")),
                            NameFromJson(c.at("hardware_name")), NameFromJson(c.at("name"))});
    return channels;
}

json AudioBufferToJson(const SimAudioBuffer& b) {
    return {{"current_us", b.currentUs},
            {"reserved1", HexOf(b.reserved1)},
            {"sample_granularity", b.sampleGranularity},
            {"reserved2", HexOf(b.reserved2)}};
}

SimAudioBuffer AudioBufferFromJson(const json& j) {
    return {Unsigned<std::uint32_t>(j.at("current_us")), ArrayFromHex<4>(j.at("reserved1")),
            Unsigned<std::uint32_t>(j.at("sample_granularity")),
            ArrayFromHex<4>(j.at("reserved2"))};
}

SimState ParseState(const json& j) {
    SimState s;
    if (!j.is_object()) throw std::runtime_error("the state is not a JSON object");
    if (j.at("format").get<int>() != kFormat)
        throw std::runtime_error("unknown state format " + j.at("format").dump());
    for (const json& d : j.at("devices")) {
        SimDevice device;
        device.id = Unsigned<std::uint32_t>(d.at("id"));
        device.serial = d.at("serial").get<std::string>();
        device.name = NameFromJson(d.at("name"));
        device.ranking = Unsigned<std::uint32_t>(d.at("ranking"));
        device.inputs = ChannelsFromJson(d.at("inputs"));
        device.outputs = ChannelsFromJson(d.at("outputs"));
        for (const json& c : d.at("sources"))
            device.sources.push_back({Unsigned<std::uint32_t>(c.at("context")),
                                      Unsigned<std::uint32_t>(c.at("id")),
                                      NameFromJson(c.at("name"))});
        device.currentSource = Unsigned<std::uint32_t>(d.at("current_source"));
        s.devices.push_back(std::move(device));
    }
    s.rateSelectionMode = Unsigned<std::uint32_t>(j.at("mode"));
    s.rates.clear();
    for (const json& rate : j.at("rates")) s.rates.push_back(Unsigned<std::uint32_t>(rate));
    s.currentRate = Unsigned<std::uint32_t>(j.at("rate"));
    s.clockMaster = Unsigned<std::uint32_t>(j.at("clock_master"));
    s.clockMasterReserved1 = ArrayFromHex<4>(j.at("clock_master_reserved1"));
    s.clockMasterReserved2 = ArrayFromHex<4>(j.at("clock_master_reserved2"));
    const json& sb = j.at("stream_buffer");
    s.streamBuffer = {
        Unsigned<std::uint32_t>(sb.at("minimum_us")), Unsigned<std::uint32_t>(sb.at("maximum_us")),
        Unsigned<std::uint32_t>(sb.at("step_us")), Unsigned<std::uint32_t>(sb.at("current_us"))};
    s.asioBuffer = AudioBufferFromJson(j.at("asio_buffer"));
    s.wdmBuffer = AudioBufferFromJson(j.at("wdm_buffer"));
    s.includeDeviceName = Unsigned<std::uint32_t>(j.at("include_device_name"));
    s.dropouts = Unsigned<std::uint32_t>(j.at("dropouts"));
    s.streaming = j.at("streaming").get<bool>();
    const json& v = j.at("version");
    s.version = {Unsigned<std::uint8_t>(v.at("interface_major")),
                 Unsigned<std::uint8_t>(v.at("interface_minor")),
                 Unsigned<std::uint8_t>(v.at("driver_major")),
                 Unsigned<std::uint8_t>(v.at("driver_minor")),
                 Unsigned<std::uint32_t>(v.at("driver_build"))};
    s.nextDeviceId = Unsigned<std::uint32_t>(j.at("next_device_id"));
    s.nextChannelId = Unsigned<std::uint32_t>(j.at("next_channel_id"));
    s.nextSerial = Unsigned<std::uint32_t>(j.at("next_serial"));
    return s;
}

// Ids and serials must stay unique, or requests would reach the wrong item.
void CheckConsistency(SimState& s) {
    std::set<std::uint32_t> deviceIds, channelIds;
    std::set<std::string> serials;
    for (const SimDevice& d : s.devices) {
        if (!deviceIds.insert(d.id).second)
            throw std::runtime_error("device id " + std::to_string(d.id) + " appears twice");
        if (!serials.insert(d.serial).second)
            throw std::runtime_error("serial " + d.serial + " appears twice");
        if (d.currentSource >= d.sources.size() && !d.sources.empty())
            throw std::runtime_error("device " + d.serial + ": current_source out of range");
        for (const auto* list : {&d.inputs, &d.outputs})
            for (const SimChannel& c : *list)
                if (!channelIds.insert(c.id).second)
                    throw std::runtime_error("channel id " + std::to_string(c.id) +
                                             " appears twice");
        if (d.id >= s.nextDeviceId) s.nextDeviceId = d.id + 1;
    }
    if (!channelIds.empty() && *channelIds.rbegin() >= s.nextChannelId)
        s.nextChannelId = *channelIds.rbegin() + 1;
}

}  // namespace

json StateToJson(const SimState& s) {
    json devices = json::array();
    for (const SimDevice& d : s.devices) {
        json sources = json::array();
        for (const SimClockSource& c : d.sources)
            sources.push_back({{"context", c.context}, {"id", c.id}, {"name", NameToJson(c.name)}});
        devices.push_back({{"serial", d.serial},
                           {"name", NameToJson(d.name)},
                           {"ranking", d.ranking},
                           {"id", d.id},
                           {"inputs", ChannelsToJson(d.inputs)},
                           {"outputs", ChannelsToJson(d.outputs)},
                           {"sources", sources},
                           {"current_source", d.currentSource}});
    }
    const SimStreamBuffer& sb = s.streamBuffer;
    return {{"format", kFormat},
            {"devices", devices},
            {"mode", s.rateSelectionMode},
            {"rates", s.rates},
            {"rate", s.currentRate},
            {"clock_master", s.clockMaster},
            {"clock_master_reserved1", HexOf(s.clockMasterReserved1)},
            {"clock_master_reserved2", HexOf(s.clockMasterReserved2)},
            {"streaming", s.streaming},
            {"stream_buffer",
             {{"minimum_us", sb.minimumUs},
              {"maximum_us", sb.maximumUs},
              {"step_us", sb.stepUs},
              {"current_us", sb.currentUs}}},
            {"asio_buffer", AudioBufferToJson(s.asioBuffer)},
            {"wdm_buffer", AudioBufferToJson(s.wdmBuffer)},
            {"include_device_name", s.includeDeviceName},
            {"dropouts", s.dropouts},
            {"version",
             {{"interface_major", s.version.interfaceMajor},
              {"interface_minor", s.version.interfaceMinor},
              {"driver_major", s.version.driverMajor},
              {"driver_minor", s.version.driverMinor},
              {"driver_build", s.version.driverBuild}}},
            {"next_device_id", s.nextDeviceId},
            {"next_channel_id", s.nextChannelId},
            {"next_serial", s.nextSerial}};
}

bool StateFromJson(const json& j, SimState* state, std::string* error) {
    try {
        SimState parsed = ParseState(j);
        CheckConsistency(parsed);
        *state = std::move(parsed);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

std::string ToHex(const std::uint8_t* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

bool FromHex(const std::string& text, std::vector<std::uint8_t>* bytes) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> result;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        int value = nibble(c);
        if (value < 0) return false;
        if (high < 0) {
            high = value;
        } else {
            result.push_back(static_cast<std::uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0) return false;
    *bytes = std::move(result);
    return true;
}

}  // namespace simdriver
