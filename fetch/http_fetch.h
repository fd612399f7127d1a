// One HTTP GET of a page of the listings site into a fixed page buffer.
#pragma once

#include <cstddef>

constexpr size_t PageBufferSize = 1000002;
constexpr size_t MostPageBytes = PageBufferSize - 1;

// host is "name" or "name:port" (80 when none). On success *page is a zeroed
// block of PageBufferSize bytes holding *length bytes of the answer, always
// followed by a zero byte; the caller releases it with ReleasePage. On failure
// nothing stays allocated. An answer with a server-error status or cut short
// before its announced length is a failure.
bool FetchPage(const char* host, const char* path, char** page, size_t* length);
void ReleasePage(char* page);
// Page buffers allocated and not yet released.
int LivePageCount();
