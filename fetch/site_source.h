// The listings site as a source: five passes over the grid pages, their
// programme links, and the detail page of each.
#pragma once

#include <cstdint>
#include <memory>

#include "fetch/request_builder.h"
#include "fetch/retrieval.h"

// Copied when a retrieval starts, so the settings dialog may change the
// settings while the walk runs.
struct SiteSettings {
    char Host[256];          // "name" or "name:port"
    int Connections;         // detail pages fetched at once, 1 to 8
    bool ReceiveBS;
    bool ReceiveCS;
    int Year;                // of the broadcast day, for starts after midnight
    char Requests[3][RequestAddressSize];  // terrestrial, BS and CS grid
};

// Grid pages in a row that added nothing; it carries over between addresses
// and retrievals. Worker thread only (tests reset it between retrievals).
extern int32_t EmptyPageCount;

std::unique_ptr<RetrievalSource> MakeSiteSource(const SiteSettings& settings);
