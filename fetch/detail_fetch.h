// A programme's detail page, with up to three attempts.
#pragma once

#include <cstddef>

#include "fetch/http_fetch.h"

// Fetches the detail page at path; on success the caller releases *page with
// ReleasePage. An answer of no bytes counts as a failed attempt.
bool FetchDetails(const char* host, const char* path, char** page, size_t* length, RequestGate* gate);
