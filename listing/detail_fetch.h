#pragma once

#include <cstddef>

// Up to three attempts at a detail page of the listings site.
bool FetchDetailPage(const char* path, char** page, size_t* length);
