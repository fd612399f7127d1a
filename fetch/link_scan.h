// Finds the programme links of a grid page as it arrives, without converting it.
#pragma once

#include <cstddef>

#include "listing/programme.h"

// Called with each accepted candidate path ("/genre/detail.php3?<query>");
// returns false to stop the walk (abort, or no room for another record).
using LinkAcceptor = bool (*)(const char* candidatePath, void* context);

// Walks the page's links with the candidate rules: the query is at most 100
// bytes up to the first '"'; a candidate holding "<br>", a space or an
// ideographic space is rejected, as is one equal to the previous candidate.
// previousCandidate persists across the pages and passes of one retrieval.
// Returns how many candidates were accepted.
int ScanGridLinks(const char* page, size_t length, char (&previousCandidate)[DetailPathSize],
                             LinkAcceptor accept, void* context);
