// The table of control requests the substitute driver answers: each code with its exact
// input and output size and the function that serves it from the simulated state.
#pragma once

#include <cstdint>

#include "simdriver/core/SimState.h"

namespace simdriver {

// What serving a request did: its status, and the notification code to queue when it
// changed the configuration (0: nothing changed).
struct RequestOutcome {
    std::uint32_t status = 0;
    std::int32_t event = 0;
};

// `out` points to outSize zeroed bytes; `in` to inSize bytes.
using RequestHandler = RequestOutcome (*)(SimState& state, const std::uint8_t* in,
                                          std::uint8_t* out);

struct RequestSpec {
    std::uint32_t code;
    std::uint32_t inSize;
    std::uint32_t outSize;
    RequestHandler handler;  // null for the two notification requests, which need the connection
};

// The entry for `code`, or null for a code the driver does not know.
const RequestSpec* FindRequest(std::uint32_t code);

}  // namespace simdriver
