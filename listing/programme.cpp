#include "listing/programme.h"

#include <cstring>
#include <new>

ProgrammeStore ProgrammeList;
std::atomic<int32_t> ProgrammeCount{0};

ProgrammeStore::~ProgrammeStore()
{
    Clear();
}

void ProgrammeStore::Clear()
{
    Length.store(0, std::memory_order_release);
    for (auto& chunk : Chunks)
        delete[] chunk.exchange(nullptr);
}

TELOMI* ProgrammeStore::Append()
{
    size_t index = Length.load(std::memory_order_relaxed);
    if (index >= Capacity)
        return nullptr;
    auto& chunk = Chunks[index / ChunkSize];
    TELOMI* records = chunk.load(std::memory_order_acquire);
    if (!records) {
        records = new (std::nothrow) TELOMI[ChunkSize];
        if (!records)
            return nullptr;
        chunk.store(records, std::memory_order_release);
    }
    TELOMI* record = &records[index % ChunkSize];
    std::memset(record, 0, sizeof *record);
    Length.store(index + 1, std::memory_order_release);
    return record;
}

TELOMI& ProgrammeStore::operator[](size_t i)
{
    return Chunks[i / ChunkSize].load(std::memory_order_acquire)[i % ChunkSize];
}

const TELOMI& ProgrammeStore::operator[](size_t i) const
{
    return Chunks[i / ChunkSize].load(std::memory_order_acquire)[i % ChunkSize];
}
