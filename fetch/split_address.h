// Splitting page addresses and host names.
#pragma once

#include <cstddef>
#include <cstdint>

// Splits "http://host/path" into host and path. An address that does not
// begin with "http://" leaves both untouched. Results are cut to their buffers.
void SplitAddress(const char* address, char* host, size_t hostSize, char* path, size_t pathSize);

// Splits "name" or "name:port" into the name and the port (80 when none).
// False for an empty name or a port outside 1..65535.
bool SplitHostPort(const char* host, char* name, size_t nameSize, uint16_t& port);
