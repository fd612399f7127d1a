// The worker thread that walks the grid pages and fills the programme list.
#pragma once

#include <cstdint>

extern char CurrentAddress[260];
extern char CurrentHost[256];
extern char CurrentPath[256];
extern int32_t EmptyPageCount;

// Thread procedure; the argument is the RequestList.
void __cdecl RetrievalWorker(void* requestList);
